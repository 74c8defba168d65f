# Sourced by scripts/test, scripts/demo and scripts/bench: claims the checkout, installs what is
# missing on a Debian 12 machine and builds a preset. Only 64-bit packages: 32-bit programs cannot
# run on these kernels, so the 32-bit deliverable is built and checked but never run.

FNKEY_PACKAGES="cmake make mingw-w64 wine wine64 xvfb xdotool imagemagick doctest-dev osslsigncode openssl python3 wixl msitools"
# The WoW64 tier's guest: built with debootstrap and e2fsprogs, run by QEMU (scripts/test only).
FNKEY_GUEST_PACKAGES="qemu-system-x86 debootstrap e2fsprogs"

# claim_checkout <script> [args...]: runs the calling script again while it holds the checkout's
# lock, so that two runs never build into the same tree or share a test prefix; a second run waits
# for the first, saying so. The lock is held by flock itself, not by the script: nothing the script
# starts (a wineserver that lingers, say) can keep it after the script has ended.
claim_checkout() {
  [ -z "${FNKEY_CHECKOUT_CLAIMED:-}" ] || return 0
  mkdir -p build
  export FNKEY_CHECKOUT_CLAIMED=1
  if ! flock -n build/.checkout.lock true; then
    echo "== another run holds this checkout ($(cat build/.checkout.owner 2>/dev/null || echo unknown));" \
      "waiting for it to end (at most 60 minutes)"
  fi
  exec flock -o -w 3600 -E 75 build/.checkout.lock "$@"
}

# Called by a script once it holds the lock: says who holds it, for a run that has to wait.
record_checkout_owner() {
  echo "$(basename "$0"), pid $$, since $(date '+%H:%M:%S')" >build/.checkout.owner
}

# apt_get <args...>: apt-get that waits while another package manager holds its locks instead of
# failing at once (dpkg's lock through apt's own timeout; the package lists' lock, which that
# timeout does not cover, by trying again).
apt_get() {
  local sudo="" attempt=0 log
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  log=$(mktemp)
  while :; do
    if DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 "$@" 2> >(tee "$log" >&2); then
      rm -f "$log"
      return 0
    fi
    attempt=$((attempt + 1))
    if ! grep -q -i -E "could not get lock|unable to lock|unable to acquire" "$log" || [ $attempt -ge 60 ]; then
      rm -f "$log"
      return 1
    fi
    echo "== another package manager is busy; trying again in 10 s"
    sleep 10
  done
}

# ensure_tools [extra packages...]
ensure_tools() {
  local missing=""
  for package in $FNKEY_PACKAGES "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $package"
    fi
  done
  [ -z "$missing" ] && return 0
  echo "== installing:$missing"
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends $missing
}

build_preset() {
  echo "== configure and build: $1"
  # A build tree keeps the compilers it was first configured with: when a toolchain file changed
  # since, configure afresh.
  local cache=build/$1/CMakeCache.txt fresh=""
  if [ -f "$cache" ] && [ -n "$(find cmake -name 'toolchain-*.cmake' -newer "$cache")" ]; then fresh=--fresh; fi
  cmake --preset "$1" $fresh >/dev/null
  cmake --build --preset "$1"
}

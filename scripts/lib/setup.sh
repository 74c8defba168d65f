# Sourced by scripts/test, scripts/demo and scripts/bench: installs what is missing on a Debian 12
# machine and builds a preset. Only 64-bit packages: 32-bit programs cannot run on these kernels,
# so the 32-bit deliverable is built and checked but never run.

FNKEY_PACKAGES="cmake make mingw-w64 wine wine64 xvfb xdotool imagemagick doctest-dev osslsigncode openssl python3"

ensure_tools() {
  local missing=""
  for package in $FNKEY_PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $package"
    fi
  done
  [ -z "$missing" ] && return 0
  echo "== installing:$missing"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

build_preset() {
  echo "== configure and build: $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

# Sourced by the harness scripts: the wine environment of one test run. The caller sets
# FNKEY_TEST_STATE to the run's state directory in the build tree (prefix, Xvfb display, logs);
# a bash caller may pass it as the argument instead.
FNKEY_TEST_STATE=${FNKEY_TEST_STATE:-$1}
# Wine takes only an absolute prefix path (and refuses a relative one, wineserver -k included).
FNKEY_TEST_STATE=$(realpath -m "$FNKEY_TEST_STATE")
export WINEPREFIX="$FNKEY_TEST_STATE/prefix"
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG="${FNKEY_WINEDEBUG:--all}"
# The run's own overrides go after the caller's, so that a caller can add overrides but never
# turn these off: no Mono or Gecko installer prompts, no desktop menu entries on the host.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml=;winemenubuilder.exe=d"
# Windows appear only on the run's own Xvfb, never on a display the caller happens to have.
unset DISPLAY
if [ -f "$FNKEY_TEST_STATE/display" ]; then
  DISPLAY=$(cat "$FNKEY_TEST_STATE/display")
  export DISPLAY
fi

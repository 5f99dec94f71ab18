#!/bin/sh
# scripts/wine-env must fail loudly where it cannot go on: a prefix whose first
# wineboot failed is not marked ready (so the next run sets it up again), and
# a display that never came up is reported instead of handed to the tests.
# Runs wine-env against stand-ins for Xvfb, wineserver and wineboot.
#
#     wine_env_test.sh REPOSITORY_ROOT
set -u
ROOT=$1
work=$(mktemp -d)
trap 'BRUNVALD_WINDOWS_PRESET=win32 BRUNVALD_ROOT="$ROOT" BRUNVALD_WINEPREFIX="$work/prefix" PATH="$work/bin:$PATH" \
      sh -c ". \"$ROOT/scripts/wine-env\"; wine_down" >/dev/null 2>&1; rm -rf "$work"' EXIT
mkdir -p "$work/bin"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Stand-ins. FAKE_XVFB=dies exits at once; otherwise it makes the display's
# socket entry and lives until killed. FAKE_WINEBOOT=fails exits 1 without
# a Windows folder in a half-made prefix; otherwise it makes one.
cat >"$work/bin/Xvfb" <<'EOS'
#!/bin/sh
[ "${FAKE_XVFB:-}" = dies ] && exit 1
n=${1#:}
mkdir -p /tmp/.X11-unix
: >"/tmp/.X11-unix/X$n"
trap 'rm -f "/tmp/.X11-unix/X$n"; exit 0' TERM INT
while :; do sleep 1; done
EOS
cat >"$work/bin/wineserver" <<'EOS'
#!/bin/sh
exit 0
EOS
cat >"$work/bin/wineboot" <<'EOS'
#!/bin/sh
mkdir -p "$WINEPREFIX"
[ "${FAKE_WINEBOOT:-}" = fails ] && exit 1
mkdir -p "$WINEPREFIX/drive_c/windows/system32"
EOS
chmod +x "$work/bin/"*

# Runs wine_up in a fresh shell; prints its stderr; returns its status.
up() {
    env BRUNVALD_WINDOWS_PRESET=win32 BRUNVALD_ROOT="$ROOT" BRUNVALD_WINEPREFIX="$work/prefix" PATH="$work/bin:$PATH" "$@" \
        sh -c ". \"$ROOT/scripts/wine-env\"; wine_up" 2>"$work/err" >/dev/null
}
down() {
    BRUNVALD_WINDOWS_PRESET=win32 BRUNVALD_ROOT="$ROOT" BRUNVALD_WINEPREFIX="$work/prefix" PATH="$work/bin:$PATH" \
        sh -c ". \"$ROOT/scripts/wine-env\"; wine_down" >/dev/null 2>&1
}

# A failed first wineboot: reported, not marked ready; the next run sets up.
if up FAKE_WINEBOOT=fails; then fail "wine_up succeeded although wineboot -i failed"; fi
grep -q "wineboot" "$work/err" || fail "no report of the failed wineboot: $(cat "$work/err")"
[ -f "$work/prefix/.brunvald-ready" ] && fail "a prefix whose wineboot failed was marked ready"
down
up || fail "wine_up failed with a working wineboot: $(cat "$work/err")"
[ -f "$work/prefix/.brunvald-ready" ] || fail "the prefix was not marked ready after a good wineboot"
down

# A display that never comes up: reported, and no session left behind.
rm -rf "$work/prefix" "$work/prefix.session"
if up FAKE_XVFB=dies; then fail "wine_up succeeded although Xvfb died"; fi
grep -q "Xvfb did not come up" "$work/err" || fail "no report of the missing display: $(cat "$work/err")"
[ -f "$work/prefix.session" ] && fail "a session was recorded for a display that never came up"

# A newcomer's first run, and every later one, prints nothing: bash warns
# when LC_ALL names a locale it cannot load, and it sees the private copy of
# de_DE.UTF-8 only when LOCPATH was set at its start. What the scripts start
# gets the German locale all the same.
fresh="$work/fresh"
mkdir -p "$fresh/scripts"
cp "$ROOT/scripts/wine-env" "$fresh/scripts/"
for run in first second; do
    env -u LOCPATH -u LC_ALL -u LC_TIME LANG=C.UTF-8 BRUNVALD_WINDOWS_PRESET=win32 BRUNVALD_ROOT="$fresh" \
        bash -c '. "$BRUNVALD_ROOT/scripts/wine-env"; date -d 2024-01-01 +%A' >"$work/out" 2>"$work/err"
    [ -s "$work/err" ] && fail "the $run run printed: $(cat "$work/err")"
    [ "$(cat "$work/out")" = Montag ] || fail "the $run run gave its programs no German locale: $(cat "$work/out")"
done

[ $failures -eq 0 ] && echo "wine-env: all cases passed"
exit $((failures != 0))

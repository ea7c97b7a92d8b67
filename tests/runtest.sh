#!/usr/bin/env bash
# runtest.sh FOLDER PROGRAM [ARGS...]: run a test in a fresh private home.
set -eu
home=$1; shift
fresh() {
    cd /
    rm -rf "$home"
    mkdir -p "$home/config" "$home/tmp"
    # Sound goes nowhere unless a test points OpenAL at a configuration of
    # its own: a machine without a sound card would otherwise answer every
    # window's device restore with an error box.
    printf '[general]\ndrivers=null\n' > "$home/alsoft.conf"
    cd "$home"
}
export HOME="$home" XDG_CONFIG_HOME="$home/config" TMPDIR="$home/tmp" ALSOFT_CONF="$home/alsoft.conf"
fresh
# Every test has an X server of its own. Tests running side by side on one
# server cover each other's windows in screen grabs, and its one pointer
# sends the views of one test the enter and leave events that another's
# windows cause; a developer's own desktop is kept out the same way.
xserver=""
startx() {
    local pipe="$home.xready"
    rm -f "$pipe"
    mkfifo "$pipe"
    # The server picks a free display and writes its number once it takes
    # connections.
    # Its output goes to a file of its own: a server left behind by a killed
    # test must not hold the test's output open.
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp -noreset 3>"$pipe" </dev/null >"$home.xlog" 2>&1 &
    xserver=$!
    local number=""
    read -r -t 120 number <"$pipe" || true
    rm -f "$pipe"
    if [ -z "$number" ]; then
        echo "runtest.sh: the test's X server did not start: $(cat "$home.xlog")" >&2
        exit 1
    fi
    export DISPLAY=":$number"
}
stopx() {
    if [ -n "$xserver" ]; then
        kill "$xserver" 2>/dev/null || true
        wait "$xserver" 2>/dev/null || true
    fi
    rm -f "$home.xlog"
}
if command -v Xvfb >/dev/null; then
    trap stopx EXIT
    startx
elif [ -z "${DISPLAY:-}" ]; then
    exec "$@"
fi
# A run whose leak check crashed in the sanitizer's own thread tracer (seen,
# rarely, in window programs on a loaded machine) gave no verdict on leaks:
# it starts again once, in a fresh home. Any other failure stands as it is.
errors="$home.stderr"
for again in 1 0; do
    # Standard error goes on to ctest as it comes (a test killed at its
    # time limit keeps what it wrote) and into a file to look at after.
    set +e
    { "$@" 2>&1 1>&3 3>&- | tee "$errors" >&2 3>&-; } 3>&1
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -eq 0 ] || [ "$again" -eq 0 ] || ! grep -q "Tracer caught signal" "$errors"; then
        break
    fi
    echo "runtest.sh: the leak check's tracer crashed; starting the test again" >&2
    fresh
done
rm -f "$errors"
exit "$status"

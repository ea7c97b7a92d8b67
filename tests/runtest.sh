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
if [ -z "${DISPLAY:-}" ]; then
    exec "$@"
fi
# An X server started without -noreset resets itself whenever its last
# client goes and refuses the connections that come in meanwhile; with many
# tests starting and ending at once, a test can meet that moment and end
# before it has done anything. Such a run starts again in a fresh home after
# a growing pause, for up to about a minute. So does, once, a run whose leak
# check crashed in the sanitizer's own thread tracer (seen, rarely, in window
# programs on a loaded machine): that run gave no verdict on leaks. Any other
# failure stands as it is.
errors="$home.stderr"
tracercrashes=0
for pause in 1 2 4 8 16 32 0; do
    # Standard error goes on to ctest as it comes (a test killed at its
    # time limit keeps what it wrote) and into a file to look at after.
    set +e
    { "$@" 2>&1 1>&3 3>&- | tee "$errors" >&2 3>&-; } 3>&1
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -eq 0 ] || [ "$pause" -eq 0 ]; then
        break
    elif grep -q "could not connect to display" "$errors"; then
        echo "runtest.sh: no connection to display $DISPLAY; starting the test again in $pause s" >&2
    elif [ "$tracercrashes" -eq 0 ] && grep -q "Tracer caught signal" "$errors"; then
        tracercrashes=1
        echo "runtest.sh: the leak check's tracer crashed; starting the test again in $pause s" >&2
    else
        break
    fi
    sleep "$pause"
    fresh
done
rm -f "$errors"
exit "$status"

#!/usr/bin/env bash
# runtest.sh FOLDER PROGRAM [ARGS...]: run a test in a fresh private home.
set -eu
home=$1; shift
rm -rf "$home"
mkdir -p "$home/config" "$home/tmp"
export HOME="$home" XDG_CONFIG_HOME="$home/config" TMPDIR="$home/tmp"
# Sound goes nowhere unless a test points OpenAL at a configuration of its
# own: a machine without a sound card would otherwise answer every window's
# device restore with an error box.
printf '[general]\ndrivers=null\n' > "$home/alsoft.conf"
export ALSOFT_CONF="$home/alsoft.conf"
cd "$home"
exec "$@"

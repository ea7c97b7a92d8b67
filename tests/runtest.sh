#!/usr/bin/env bash
# runtest.sh FOLDER PROGRAM [ARGS...]: run a test in a fresh private home.
set -eu
home=$1; shift
rm -rf "$home"
mkdir -p "$home/config" "$home/tmp"
export HOME="$home" XDG_CONFIG_HOME="$home/config" TMPDIR="$home/tmp"
cd "$home"
exec "$@"

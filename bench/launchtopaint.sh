#!/usr/bin/env bash
# bench/launchtopaint.sh [BUILD_FOLDER]
# Time from launching the editor on a WAV file to the first paint that shows
# the whole layer on every channel, every frame covered. For a 10-minute and
# a 60-minute stereo 48 kHz file (made with sox), RUNS runs each (default 5)
# under a private Xvfb of 1920 x 1080, each in a fresh HOME; prints every run
# and the median. MINUTES="10" measures the 10-minute file alone.
#
# The anchor, timed in the same runs: ffmpeg alone converting the same file to
# raw float on the same file system (ffmpeg -i FILE -y -vn -f f32le OUT), the
# conversion that the import runs; the ratio of the medians is printed.
#
# The moment of the paint is read from the session log: a view writes
# "Spectrogram drawn: channel C, slot S, A s to B s, ..." (a verbose line,
# with the time of day) when a new result first reaches the screen.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/run}
program=$build/root/bin/Korvane
runs=${RUNS:-5}
limit=${LIMIT:-60}
[ -x "$program" ] || { echo "no program at $program (build with: cmake -S . -B build/run -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF)" >&2; exit 1; }

work=$(mktemp -d)
xvfb=""
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"

# Milliseconds since midnight of a time of day written HH.mm.ss.zzz (or HH:MM:SS.mmm).
ms() { awk -F'[.:]' '{ printf "%d\n", (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }' <<<"$1"; }

for minutes in ${MINUTES:-10 60}; do
    seconds=$((minutes * 60))
    wav="$work/stereo$minutes.wav"
    sox -n -r 48000 -c 2 -b 16 "$wav" synth "$seconds" sine 100-20000 sine 3000 vol 0.5
    results=()
    anchors=()
    for run in $(seq "$runs"); do
        rm -f "$work/anchor.f32"
        before=$(date +%s%N)
        ffmpeg -nostdin -loglevel error -i "$wav" -y -vn -f f32le "$work/anchor.f32"
        anchors+=($((($(date +%s%N) - before) / 1000000)))
        rm -f "$work/anchor.f32"
        home="$work/home$run"
        rm -rf "$home"
        mkdir -p "$home/config" "$home/tmp"
        printf '[general]\ndrivers=null\n' >"$home/alsoft.conf"
        started=$(date +%H:%M:%S.%3N)
        HOME="$home" XDG_CONFIG_HOME="$home/config" TMPDIR="$home/tmp" ALSOFT_CONF="$home/alsoft.conf" \
            "$program" "$wav" >/dev/null 2>&1 &
        app=$!
        drawn=""
        for _ in $(seq $((limit * 50))); do
            log=$(find "$home" -name '*.htm' 2>/dev/null | head -n 1)
            if [ -n "$log" ]; then
                # The latest time at which each channel had been drawn whole.
                drawn=$({ grep -ao '<i>[0-9.]*</i> <font color=blue>Spectrogram drawn: channel [0-9]*, slot [0-9], [-0-9.]* s to [0-9.]* s' "$log" || true; } |
                    sed -E 's/<i>([0-9.]*)<\/i>.*channel ([0-9]+), slot [0-9], ([-0-9.]+) s to ([0-9.]+) s/\1 \2 \3 \4/' |
                    awk -v end="$seconds" '$3 <= 0.001 && $4 >= end - 0.05 && !($2 in t) { t[$2] = $1 }
                        END { n = 0; for (c in t) { n++; if (t[c] > last) last = t[c] } if (n == 2) print last }')
                [ -n "$drawn" ] && break
            fi
            sleep 0.02
        done
        kill "$app" 2>/dev/null || true
        wait "$app" 2>/dev/null || true
        app=""
        rm -rf "$home" # its layer file is as large as the audio
        if [ -z "$drawn" ]; then
            echo "$minutes min run $run: no whole spectrogram within $limit s" >&2
            continue
        fi
        elapsed=$(($(ms "$drawn") - $(ms "$started")))
        results+=("$elapsed")
        echo "$minutes min run $run: $elapsed ms (ffmpeg alone ${anchors[-1]} ms)"
    done
    median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
    if [ ${#results[@]} -gt 0 ]; then
        painted=$(median "${results[@]}")
        anchor=$(median "${anchors[@]}")
        echo "$minutes min stereo 48 kHz: median $painted ms of ${#results[@]} runs; ffmpeg alone median $anchor ms;" \
            "ratio $(awk -v p="$painted" -v a="$anchor" 'BEGIN { printf "%.2f", p / a }')"
    fi
done

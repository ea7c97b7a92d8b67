#!/usr/bin/env bash
# bench/launchtopaint.sh [BUILD_FOLDER]
# Time from launching the editor on a file to the first paint that shows
# the whole layer on every channel, every frame covered. For a 10-minute and
# a 60-minute stereo 48 kHz WAV file and a 60-minute stereo 48 kHz FLAC file
# (made with sox), RUNS rounds each (default 5) under a private Xvfb of
# 1920 x 1080, each run in a fresh HOME; prints every run and the medians.
# MINUTES="10" measures the 10-minute WAV file alone, FLAC="" no FLAC file.
#
# The anchor, timed in the same rounds: ffmpeg alone converting the same file
# to raw float on the same file system (ffmpeg -i FILE -y -vn -f f32le OUT),
# the conversion that the import stands for; the ratio of the medians is
# printed.
#
# The moment of the paint is read from the session log: a view writes
# "Spectrogram drawn: channel C, slot S, A s to B s, ..." (a verbose line,
# with the time of day) when a new result first reaches the screen.
#
# A peer, where it is installed, in the same rounds on the same file and
# screen (PEERS="" for none): Audacity (Debian's audacity), started without
# its welcome window and showing new tracks as spectrograms. It writes no log
# of its drawing, so the screen is read (bench/screenwatch.py, ten times a
# second, the rectangle of its window): the moment it is fully drawn is the
# last change of the picture after its window showed (xdotool finds it), once
# the picture has then stayed the same for STILL seconds (default 10; its
# import dialog changes all the time, and so does a track being drawn). The
# same watch runs while the editor runs, so that both share the machine with
# it alike.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/run}
program=$build/root/bin/Korvane
runs=${RUNS:-5}
limit=${LIMIT:-60}
still=${STILL:-10}
[ -x "$program" ] || { echo "no program at $program (build with: cmake -S . -B build/run -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF)" >&2; exit 1; }
peers=()
for peer in ${PEERS-audacity}; do
    if command -v "$peer" >/dev/null && command -v xdotool >/dev/null; then
        peers+=("$peer")
    else
        echo "($peer, or xdotool to find its window, is not installed: not measured)" >&2
    fi
done

work=$(mktemp -d)
xvfb=""
app=""
watch=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$watch" ] && kill "$watch" 2>/dev/null || true
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
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v p="$1" -v a="$2" 'BEGIN { printf "%.2f", p / a }'; }

# A fresh HOME for one run, and the environment that points into it.
freshhome() {
    rm -rf "$1"
    mkdir -p "$1/config" "$1/tmp"
    printf '[general]\ndrivers=null\n' >"$1/alsoft.conf"
}
inhome() {
    local home=$1; shift
    HOME="$home" XDG_CONFIG_HOME="$home/config" TMPDIR="$home/tmp" ALSOFT_CONF="$home/alsoft.conf" "$@" >/dev/null 2>&1 &
    app=$!
}
startwatch() {
    python3 "$here/bench/screenwatch.py" 400 190 1120 700 >"$1" &
    watch=$!
}
stopall() {
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    app=""
    kill "$watch" 2>/dev/null || true
    wait "$watch" 2>/dev/null || true
    watch=""
}

# Milliseconds from `started` until the editor in `home` had drawn every channel whole.
editor() {
    local file=$1 seconds=$2 home=$3
    local started drawn="" log
    freshhome "$home"
    startwatch "$work/watch"
    started=$(date +%H:%M:%S.%3N)
    inhome "$home" "$program" "$file"
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
    stopall
    rm -rf "$home" # its layer file is as large as the audio
    [ -n "$drawn" ] && echo $(($(ms "$drawn") - $(ms "$started")))
}

# The same for Audacity, by the screen.
peer_audacity() {
    local file=$1 home=$2
    local started last="" since=0
    freshhome "$home"
    mkdir -p "$home/config/audacity"
    # Its preferences without their version are thrown away at the start.
    printf 'PrefsVersion=1.1.1r1\n[GUI]\nShowSplashScreen=0\nDefaultViewModeChoiceNew=Spectrogram\n[Version]\nMajor=3\nMinor=2\nMicro=4\n' \
        >"$home/config/audacity/audacity.cfg"
    startwatch "$work/watch"
    started=$(date +%H:%M:%S.%3N)
    inhome "$home" audacity "$file"
    local shown=""
    for _ in $(seq $((limit * 10))); do
        sleep 0.1
        # A still screen counts only from its own window on: before, the
        # screen is still while it starts, and another instance of the same
        # user would take the file and show it there.
        if [ -z "$shown" ]; then
            xdotool search --onlyvisible --pid "$app" >/dev/null 2>&1 && shown=$(ms "$(date +%H:%M:%S.%3N)")
            continue
        fi
        local now
        now=$(tail -n 1 "$work/watch" | cut -d' ' -f1)
        if [ -n "$now" ] && [ "$now" = "$last" ] && [ "$now" -ge "$shown" ]; then
            since=$((since + 1))
            [ "$since" -ge $((still * 10)) ] && break
        else
            last=$now
            since=0
        fi
    done
    stopall
    rm -rf "$home"
    [ "$since" -ge $((still * 10)) ] && echo $((last - $(ms "$started")))
}

cases=()
for minutes in ${MINUTES-10 60}; do cases+=("$minutes wav"); done
for minutes in ${FLAC-60}; do cases+=("$minutes flac"); done
for case in "${cases[@]}"; do
    read -r minutes format <<<"$case"
    seconds=$((minutes * 60))
    file="$work/stereo$minutes.$format"
    sox -n -r 48000 -c 2 -b 16 "$file" synth "$seconds" sine 100-20000 sine 3000 vol 0.5
    results=()
    anchors=()
    declare -A peertimes=()
    for run in $(seq "$runs"); do
        rm -f "$work/anchor.f32"
        before=$(date +%s%N)
        ffmpeg -nostdin -loglevel error -i "$file" -y -vn -f f32le "$work/anchor.f32"
        anchors+=($((($(date +%s%N) - before) / 1000000)))
        rm -f "$work/anchor.f32"
        line="$minutes min $format run $run:"
        elapsed=$(editor "$file" "$seconds" "$work/home$run" || true)
        if [ -n "$elapsed" ]; then
            results+=("$elapsed")
            line+=" $elapsed ms"
        else
            line+=" no whole spectrogram within $limit s"
        fi
        line+=" (ffmpeg alone ${anchors[-1]} ms"
        for peer in "${peers[@]}"; do
            taken=$("peer_$peer" "$file" "$work/home$run" || true)
            if [ -n "$taken" ]; then
                peertimes[$peer]+=" $taken"
                line+=", $peer $taken ms"
            else
                line+=", $peer not still within $limit s"
            fi
        done
        echo "$line)"
    done
    if [ ${#results[@]} -gt 0 ]; then
        painted=$(median "${results[@]}")
        anchor=$(median "${anchors[@]}")
        summary="$minutes min stereo 48 kHz $format: median $painted ms of ${#results[@]} runs; ffmpeg alone median $anchor ms; ratio $(ratio "$painted" "$anchor")"
        for peer in "${peers[@]}"; do
            # shellcheck disable=SC2086
            [ -n "${peertimes[$peer]:-}" ] || continue
            # shellcheck disable=SC2086
            other=$(median ${peertimes[$peer]})
            summary+="; $peer median $other ms, ratio to it $(ratio "$painted" "$other")"
        done
        echo "$summary (load average $(cut -d' ' -f1-3 /proc/loadavg))"
    fi
    unset peertimes
    rm -f "$file"
done

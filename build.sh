#!/usr/bin/env bash
# ./build.sh run   set up, build the optimised program and start it on the bundled sample
# ./build.sh test  set up, build with sanitizers and run every test
# ./build.sh bench set up, build optimised and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
          libkissfft-dev libopenal-dev libbenchmark-dev ffmpeg sox rubberband-cli
          xvfb xauth libgl1-mesa-dri libglx-mesa0)

setup() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

configure_build() { # folder, extra cmake arguments...
    local dir=$1; shift
    cmake -S "$here" -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$(nproc)"
}

case "${1:-}" in
run)
    setup
    configure_build build/run -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF
    program=build/run/root/bin/Korvane
    if [ ! -x "$program" ]; then
        echo "The editor program is not built yet; only the libraries and plugins are." >&2
        exit 1
    fi
    sample=$(ls build/run/root/Resources/Samples/* 2>/dev/null | head -n 1 || true)
    exec "$program" ${sample:+"$sample"}
    ;;
test)
    setup
    configure_build build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE=ON -DKV_BENCH=OFF
    export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    cd build/test
    status=0
    ctest --output-on-failure -j "$(nproc)" | tee ctest.out || status=$?
    # ctest's result lines read "n/N Test #k: name ....   Passed   12.34 sec".
    echo "Ten slowest tests:"
    awk '$2 == "Test" && $3 ~ /^#/ { for (i = 5; i <= NF; i++) if ($i == "sec") printf "%10s s  %s\n", $(i - 1), $4 }' ctest.out |
        sort -rn | head -n 10
    exit "$status"
    ;;
bench)
    setup
    configure_build build/run -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF
    for b in build/run/bench/kvbench_*; do "$b"; done
    ;;
*)
    echo "usage: $0 run|test|bench" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# Joins two large FLV files three ways and prints wall time and peak memory:
#   cat (the raw copy cost, not a valid FLV), ffmpeg's concat with stream copy,
#   and our FLV library (vt_bench_flv_join).
# Usage: bench/flv_join.sh [BUILD_DIR] [SIZE_MB_PER_FILE]
# The files are made in a temporary folder under /tmp and deleted afterwards.
set -euo pipefail
BUILD=${1:-$(dirname "$0")/../build}
SIZE_MB=${2:-500}
DRIVER="$BUILD/bench/flv/vt_bench_flv_join"
[ -x "$DRIVER" ] || { echo "build the target vt_bench_flv_join first ($DRIVER)"; exit 1; }
WORK=$(mktemp -d /tmp/vt-flv-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# A 20-second clip at about 8 Mbit/s (the noise keeps the encoder busy), repeated
# by ffmpeg's concat with stream copy up to the size wanted.
make_big() {  # name, source filter, sine frequency
    ffmpeg -hide_banner -loglevel error -nostdin -y \
        -f lavfi -i "$2=size=640x360:rate=25:duration=20" \
        -f lavfi -i "sine=frequency=$3:sample_rate=44100:duration=20" -vf noise=alls=30:allf=t \
        -c:v flv1 -b:v 8M -maxrate 8M -bufsize 8M -g 50 -c:a libmp3lame -b:a 128k "$WORK/clip_$1.flv"
    local clip=$(stat -c %s "$WORK/clip_$1.flv")
    local loops=$(( SIZE_MB * 1024 * 1024 / clip ))
    for _ in $(seq 1 "$loops"); do echo "file '$WORK/clip_$1.flv'"; done > "$WORK/clips.txt"
    ffmpeg -hide_banner -loglevel error -nostdin -y -f concat -safe 0 -i "$WORK/clips.txt" \
        -c copy "$WORK/$1.flv"
    rm -f "$WORK/clip_$1.flv"
}
make_big a testsrc 440
make_big b testsrc2 660
ls -l "$WORK"/a.flv "$WORK"/b.flv | awk '{printf "input %s: %.0f MB\n", $9, $5/1048576}'

measure() {  # label, command...
    local label=$1; shift
    sync; echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true
    /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" > /dev/null
    read -r secs kb < "$WORK/time"
    local out=$(ls -l "$WORK/out" 2>/dev/null | awk '{print $5}')
    printf "%-22s %7.2f s  peak %7.1f MB  output %6.0f MB\n" "$label" "$secs" "$(echo "$kb/1024" | bc -l)" \
        "$(echo "${out:-0}/1048576" | bc -l)"
    rm -f "$WORK/out"
}
measure "cat" sh -c "cat '$WORK/a.flv' '$WORK/b.flv' > '$WORK/out'"
printf "file '%s'\nfile '%s'\n" "$WORK/a.flv" "$WORK/b.flv" > "$WORK/list.txt"
measure "ffmpeg -c copy" ffmpeg -hide_banner -loglevel error -nostdin -y -f concat -safe 0 \
    -i "$WORK/list.txt" -c copy -f flv "$WORK/out"
measure "vantorel FLV join" "$DRIVER" "$WORK/out" "$WORK/a.flv" "$WORK/b.flv"

#!/usr/bin/env bash
# Joins two large PCM WAV files and prints wall time and peak memory: cat of
# the same files (the raw copy cost), ffmpeg's concat with stream copy and
# `vantorel-cli join`.
# Usage: bench/wav_join.sh [BUILD_DIR] [SIZE_MB_PER_FILE]
# The files are made in a temporary folder under /tmp and deleted afterwards.
set -euo pipefail
BUILD=${1:-$(dirname "$0")/../build}
SIZE_MB=${2:-1000}
CLI="$BUILD/cli/vantorel-cli"
[ -x "$CLI" ] || { echo "build the target vantorel-cli first ($CLI)"; exit 1; }
WORK=$(mktemp -d /tmp/vt-wav-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# 16-bit stereo noise at 48 kHz: 192,000 bytes a second.
secs=$(( SIZE_MB * 1048576 / 192000 ))
for n in a b; do
    ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "anoisesrc=d=$secs:r=48000" -ac 2 \
        -c:a pcm_s16le "$WORK/$n.wav"
done
ls -l "$WORK"/a.wav "$WORK"/b.wav | awk '{printf "input %s: %.0f MB\n", $9, $5/1048576}'

measure() {  # label, command...
    local label=$1; shift
    sync; echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true
    /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" > /dev/null
    read -r secs kb < "$WORK/time"
    local out=$(ls -l "$WORK/out.wav" 2>/dev/null | awk '{print $5}')
    printf "%-22s %7.2f s  peak %7.1f MB  output %6.0f MB\n" "$label" "$secs" "$(echo "$kb/1024" | bc -l)" \
        "$(echo "${out:-0}/1048576" | bc -l)"
    sync
    rm -f "$WORK/out.wav"
}
measure "cat" sh -c "cat '$WORK/a.wav' '$WORK/b.wav' > '$WORK/out.wav'"
printf "file '%s'\nfile '%s'\n" "$WORK/a.wav" "$WORK/b.wav" > "$WORK/list.txt"
measure "ffmpeg -c copy" ffmpeg -hide_banner -loglevel error -nostdin -y -f concat -safe 0 \
    -i "$WORK/list.txt" -c copy "$WORK/out.wav"
measure "vantorel-cli join" "$CLI" --quiet join "$WORK/a.wav" "$WORK/b.wav" -o "$WORK/out.wav"

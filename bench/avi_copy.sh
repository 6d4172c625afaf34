#!/bin/sh
# Copies a ~1 GB AVI file through the reader and the writer, and the same file
# with cat, with their times and peak memory. Usage: bench/avi_copy.sh BUILD_DIR
# The files are made in /tmp and deleted afterwards.
set -e
BUILD=${1:-build}
BIN="$BUILD/bench/avi_copy_bench"
[ -x "$BIN" ] || { echo "build the avi_copy_bench target first" >&2; exit 1; }
DIR=$(mktemp -d /tmp/vt-avi-bench.XXXXXX)
trap 'rm -rf "$DIR"' EXIT
SRC="$DIR/src.avi"
# Raw 320x240 frames (115 KB each, 9000 frames = 6 minutes) and 44.1 kHz stereo PCM.
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i "color=c=gray:size=320x240:rate=25:duration=360" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=360" \
  -c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 "$SRC"
ls -l "$SRC"
sync
echo "--- reader + writer"
/usr/bin/time -f "wall %e s, user %U s, sys %S s, peak RSS %M KiB" "$BIN" "$SRC" "$DIR/copy.avi"
ls -l "$DIR/copy.avi"
rm -f "$DIR/copy.avi"
sync
echo "--- cat"
/usr/bin/time -f "wall %e s, user %U s, sys %S s, peak RSS %M KiB" sh -c "cat '$SRC' > '$DIR/cat.avi'"

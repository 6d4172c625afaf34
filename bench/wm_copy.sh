#!/bin/sh
# Copies a ~130 MB WMV file through the ASF reader and writer, and the same
# file with cat, with their times and peak memory; runs the copy twice and
# checks that both outputs are equal byte for byte. Usage: bench/wm_copy.sh BUILD_DIR
# The files are made in /tmp and deleted afterwards.
set -e
BUILD=${1:-build}
BIN="$BUILD/bench/wm_copy_bench"
[ -x "$BIN" ] || { echo "build the wm_copy_bench target first" >&2; exit 1; }
DIR=$(mktemp -d /tmp/vt-wm-bench.XXXXXX)
trap 'rm -rf "$DIR"' EXIT
SRC="$DIR/src.wmv"
# 640x360 WMV at 12 Mbit/s for 4 minutes, with 128 kbit/s WMA audio.
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i "testsrc2=size=640x360:rate=25:duration=240" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=240" \
  -c:v wmv2 -b:v 12M -c:a wmav2 -b:a 128k "$SRC"
ls -l "$SRC"
sync
echo "--- reader + writer"
/usr/bin/time -f "wall %e s, user %U s, sys %S s, peak RSS %M KiB" "$BIN" "$SRC" "$DIR/copy.wmv"
/usr/bin/time -f "wall %e s, user %U s, sys %S s, peak RSS %M KiB" "$BIN" "$SRC" "$DIR/copy2.wmv"
cmp "$DIR/copy.wmv" "$DIR/copy2.wmv" && echo "outputs equal"
ls -l "$DIR/copy.wmv"
rm -f "$DIR/copy.wmv" "$DIR/copy2.wmv"
sync
echo "--- cat"
/usr/bin/time -f "wall %e s, user %U s, sys %S s, peak RSS %M KiB" sh -c "cat '$SRC' > '$DIR/cat.wmv'"

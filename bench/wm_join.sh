#!/bin/sh
# Joins two large WMV files with vantorel-cli and compares time and peak
# memory with `cat` (the bare cost of reading and writing the bytes) and
# `ffmpeg -f concat -c copy`. Not part of the test suite.
#
#   bench/wm_join.sh [build-dir] [seconds-per-file]
#
# The files are made by ffmpeg in a temporary folder under /tmp and deleted
# afterwards.
set -eu
BUILD=${1:-build}
SECONDS_PER_FILE=${2:-600}
CLI="$BUILD/cli/vantorel-cli"
[ -x "$CLI" ] || { echo "no $CLI: build the vantorel-cli target first" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed" >&2; exit 2; }

DIR=$(mktemp -d /tmp/vt_wm_join.XXXXXX)
trap 'rm -rf "$DIR"' EXIT INT TERM

make_input() {  # path, tone frequency
    # A noisy picture keeps the bit rate up: a few hundred MB per file.
    ffmpeg -hide_banner -loglevel error -y \
        -f lavfi -i "testsrc2=size=640x360:rate=25:duration=$SECONDS_PER_FILE" \
        -f lavfi -i "sine=frequency=$2:duration=$SECONDS_PER_FILE:sample_rate=44100" \
        -vf noise=alls=40:allf=t -c:v wmv2 -b:v 4000k -c:a wmav2 -b:a 128k "$1"
}
echo "making two inputs of $SECONDS_PER_FILE s ..."
make_input "$DIR/a.wmv" 440
cp "$DIR/a.wmv" "$DIR/b.wmv"  # the same layout is what a join needs
ls -l "$DIR"/a.wmv "$DIR"/b.wmv

measure() {
    label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$DIR/time" "$@" >/dev/null 2>"$DIR/err" || {
        echo "$label failed:" >&2
        cat "$DIR/err" >&2
    }
    read -r elapsed kb <"$DIR/time"
    printf '%-22s %8s s %10s KiB peak\n' "$label" "$elapsed" "$kb"
}

printf "file '%s'\nfile '%s'\n" "$DIR/a.wmv" "$DIR/b.wmv" >"$DIR/list.txt"
sync
measure "cat" sh -c "cat '$DIR/a.wmv' '$DIR/b.wmv' > '$DIR/cat.out'"
rm -f "$DIR/cat.out"
measure "ffmpeg -c copy" ffmpeg -hide_banner -loglevel error -y -f concat -safe 0 -i "$DIR/list.txt" \
    -c copy "$DIR/ffmpeg.wmv"
rm -f "$DIR/ffmpeg.wmv"
measure "vantorel-cli join" "$CLI" --quiet join "$DIR/a.wmv" "$DIR/b.wmv" -o "$DIR/joined.wmv"
ls -l "$DIR/joined.wmv"

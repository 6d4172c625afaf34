#!/bin/sh
# Benchmark of the AVI connection and section extraction on large files:
# two AVI files of about 1 GB each are made in a scratch folder, joined and
# cut by vantorel-cli, and the same jobs are timed with `cat` of the same
# bytes and with `ffmpeg -c copy`. Wall time, CPU time and peak memory come
# from /usr/bin/time -v. Everything made here is deleted at the end.
#
#   bench/avi_ops.sh [path/to/vantorel-cli] [size in MB per input, default 1024]
#
# Not part of ctest: it needs minutes and several GB of free disk.
set -eu

CLI=${1:-$(dirname "$0")/../build/cli/vantorel-cli}
SIZE_MB=${2:-1024}
[ -x "$CLI" ] || { echo "vantorel-cli not found: $CLI" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (apt-get install time)" >&2; exit 2; }

WORK=$(mktemp -d /tmp/vantorel-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT INT TERM

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# One measured command: label, then the command. Prints wall s, CPU s, peak MB.
measure() {
    label=$1
    shift
    sync
    /usr/bin/time -v -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt" || {
        echo "$label: failed" >&2
        cat "$WORK/err.txt" >&2
        return 1
    }
    awk -v label="$label" '
        /Elapsed \(wall clock\)/ { n = split($NF, t, ":"); wall = (n == 3) ? t[1] * 3600 + t[2] * 60 + t[3] : t[1] * 60 + t[2] }
        /User time/ { user = $NF }
        /System time/ { sys = $NF }
        /Maximum resident set size/ { rss = $NF }
        END { printf "  %-34s wall %7.2f s  cpu %7.2f s  peak %7.1f MB\n", label, wall, user + sys, rss / 1024 }
    ' "$WORK/time.txt"
}

size_mb() { echo "$(($(stat -c %s "$1") / 1048576)) MB"; }

echo "== making two inputs of about $SIZE_MB MB each in $WORK"
# A 20 s clip at a high bit rate (about 50 MB), looped by stream copy up to the size.
ff -f lavfi -i testsrc=size=640x360:rate=25:duration=20 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=20 \
   -c:v mpeg4 -b:v 18M -g 25 -c:a pcm_s16le -ac 2 -shortest "$WORK/clip_a.avi"
ff -f lavfi -i testsrc2=size=640x360:rate=25:duration=20 -f lavfi -i sine=frequency=660:sample_rate=48000:duration=20 \
   -c:v mpeg4 -b:v 18M -g 25 -c:a pcm_s16le -ac 2 -shortest "$WORK/clip_b.avi"
for x in a b; do
    clip=$(stat -c %s "$WORK/clip_$x.avi")
    loops=$((SIZE_MB * 1048576 / clip))
    ff -stream_loop "$loops" -i "$WORK/clip_$x.avi" -c copy "$WORK/$x.avi"
    rm -f "$WORK/clip_$x.avi"
done
echo "  a.avi $(size_mb "$WORK/a.avi"), b.avi $(size_mb "$WORK/b.avi")"
# Read the inputs once so every contender starts with the same page cache.
cat "$WORK/a.avi" "$WORK/b.avi" >/dev/null

echo "== join a.avi + b.avi"
measure "cat a.avi b.avi > out" sh -c "cat '$WORK/a.avi' '$WORK/b.avi' > '$WORK/out.bin'"
rm -f "$WORK/out.bin"
measure "vantorel-cli join" "$CLI" --quiet join "$WORK/a.avi" "$WORK/b.avi" -o "$WORK/join.avi"
echo "    output $(size_mb "$WORK/join.avi")"
rm -f "$WORK/join.avi"
printf "file '%s'\nfile '%s'\n" "$WORK/a.avi" "$WORK/b.avi" >"$WORK/list.txt"
measure "ffmpeg -f concat -c copy" ffmpeg -hide_banner -loglevel error -nostdin -y -f concat -safe 0 \
    -i "$WORK/list.txt" -c copy "$WORK/ffjoin.avi"
echo "    output $(size_mb "$WORK/ffjoin.avi")"
rm -f "$WORK/ffjoin.avi"

# A section from the first third to the second third of a.avi.
dur=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$WORK/a.avi")
start=$(awk -v d="$dur" 'BEGIN { printf "%d", d / 3 }')
end=$(awk -v d="$dur" 'BEGIN { printf "%d", 2 * d / 3 }')
echo "== cut a.avi from $start s to $end s (of $dur s)"
measure "vantorel-cli extract" "$CLI" --quiet extract "$WORK/a.avi" --start "$start" --end "$end" -o "$WORK/cut.avi"
cut_bytes=$(stat -c %s "$WORK/cut.avi")
echo "    output $(size_mb "$WORK/cut.avi")"
rm -f "$WORK/cut.avi"
measure "cat of the same bytes" sh -c "head -c $cut_bytes '$WORK/a.avi' > '$WORK/out.bin'"
rm -f "$WORK/out.bin"
measure "ffmpeg -ss -to -c copy" ffmpeg -hide_banner -loglevel error -nostdin -y -ss "$start" -to "$end" \
    -i "$WORK/a.avi" -c copy "$WORK/ffcut.avi"
echo "    output $(size_mb "$WORK/ffcut.avi")"
rm -f "$WORK/ffcut.avi"
echo "== done"

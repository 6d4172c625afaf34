#!/bin/sh
# Compares the outputs of two builds of vantorel-cli byte for byte on every
# AVI operation (join, extract, separate video, separate audio, union) over
# inputs with PCM, MP3 and AC-3 audio made by ffmpeg, an OpenDML output past
# 1 GiB (with BIG=1), and the AVI files of the shared samples folder when it
# is there. Prints the outputs that differ; exit status 1 when any does.
#
#   bench/avi_same_output.sh OLD_CLI NEW_CLI [SIZE_MB]
#
# SIZE_MB is the size of each input, about (default 200). The scratch folder
# goes in BENCH_DIR (default /tmp) and is deleted at the end.
set -eu

OLD=$1
NEW=$2
SIZE_MB=${3:-200}
SAMPLES=${SAMPLES:-$(cd "$(dirname "$0")/.." && pwd)/../shared/samples}
for c in "$OLD" "$NEW"; do [ -x "$c" ] || { echo "not a program: $c" >&2; exit 2; }; done

WORK=$(mktemp -d "${BENCH_DIR:-/tmp}/vantorel-same.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# Inputs: a 10 s clip with a noisy picture, repeated by stream copy up to the size.
secs=$((SIZE_MB * 1048576 / 2400000 / 10 + 1))
for a in "pcm:-c:a pcm_s16le" "mp3:-c:a libmp3lame -b:a 128k" "ac3:-c:a ac3 -b:a 192k"; do
    name=${a%%:*}
    ff -f lavfi -i "testsrc=size=640x360:rate=25:duration=10,noise=alls=30:allf=t" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=10" -c:v mpeg4 -b:v 18M -g 25 ${a#*:} -ac 2 \
        -shortest "$WORK/clip.avi"
    ff -stream_loop $((secs - 1)) -i "$WORK/clip.avi" -c copy "$WORK/$name.avi"
done
ff -f lavfi -i "testsrc2=size=640x360:rate=25:duration=10,noise=alls=30:allf=t" \
    -f lavfi -i "sine=frequency=660:sample_rate=48000:duration=10" -c:v mpeg4 -b:v 18M -g 25 -c:a pcm_s16le -ac 2 \
    -shortest "$WORK/clip.avi"
ff -stream_loop $((secs - 1)) -i "$WORK/clip.avi" -c copy "$WORK/pcm2.avi"
rm -f "$WORK/clip.avi"
ff -f lavfi -i "sine=frequency=300:sample_rate=48000:duration=$((secs * 10))" -c:a pcm_s16le -ac 2 "$WORK/audio.wav"

status=0
# One operation with both programs: op NAME ARGS... (the output is -o NAME).
op() {
    name=$1
    shift
    for side in old new; do
        cli=$OLD
        [ $side = new ] && cli=$NEW
        rc=0
        "$cli" --quiet "$@" -o "$WORK/$side.$name" >/dev/null 2>&1 || rc=$?
        echo "$rc" >"$WORK/$side.rc"
    done
    if ! cmp -s "$WORK/old.rc" "$WORK/new.rc" || ! cmp -s "$WORK/old.$name" "$WORK/new.$name"; then
        echo "DIFFERS: $name ($*)"
        status=1
    else
        echo "same:    $name"
    fi
    rm -f "$WORK/old.$name" "$WORK/new.$name"
}

d=$WORK
for x in pcm mp3 ac3; do
    op "join_$x.avi" join "$d/$x.avi" "$d/$x.avi"
    op "extract_$x.avi" extract "$d/$x.avi" --start 3.5 --end 17.25
    op "video_$x.avi" separate --video "$d/$x.avi"
    op "audio_$x.wav" separate --audio "$d/$x.avi"
done
op join_pcm_pcm2.avi join "$d/pcm.avi" "$d/pcm2.avi"
op union_wav.avi union "$d/pcm.avi" "$d/audio.wav"
op union_mp3.avi union "$d/pcm.avi" "$d/mp3.avi"
op union_ac3.avi union "$d/mp3.avi" "$d/ac3.avi"
if [ "${BIG:-0}" = 1 ]; then  # past the 1 GiB part size: OpenDML parts
    n=$((1200 / SIZE_MB + 1))
    set --
    i=0
    while [ $i -lt $n ]; do
        set -- "$@" "$d/pcm.avi"
        i=$((i + 1))
    done
    op join_opendml.avi join "$@"
fi
if [ -d "$SAMPLES" ]; then
    for f in "$SAMPLES"/*.avi; do
        b=$(basename "$f" .avi)
        op "s_join_$b.avi" join "$f" "$f"
        op "s_extract_$b.avi" extract "$f" --start 1 --end 8
        op "s_video_$b.avi" separate --video "$f"
        op "s_audio_$b.wav" separate --audio "$f"
        op "s_union_$b.avi" union "$f" "$f"
    done
fi
exit $status

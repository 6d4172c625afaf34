#!/bin/sh
# The benchmark of every format and operation: our command line against a
# plain copy of the same bytes (`cat` for joins, `dd bs=1M` for the others)
# and against `ffmpeg -c copy` doing the same job.
#
#   bench/run.sh [SIZE_MB [RUNS [CLI]]]
#
#   SIZE_MB  size of each input, about (default 1024)
#   RUNS     paired runs of each row; the table shows medians (default 3)
#   CLI      vantorel-cli to measure (default build/cli/vantorel-cli)
#   BENCH_FORMATS="avi wav wmv wma flv"  the formats to run (default all)
#   BENCH_DIR    where the scratch folder goes (default /tmp); it needs about
#                12 x SIZE_MB of free space and is deleted at the end.
#
# CPU is user + system time of the command and its children, to the
# millisecond (bash's `time`), the median of RUNS runs
# where the three contenders take turns; peak is the largest resident set of
# our runs. Ratios are ours / plain copy and ours / ffmpeg. The inputs are read
# once before the runs so that every contender finds them in the page cache.
# Not part of ctest: it takes minutes, and its times depend on the machine's
# load (compare ratios on a quiet machine).
set -eu

SIZE_MB=${1:-1024}
RUNS=${2:-3}
CLI=${3:-$(dirname "$0")/../build/cli/vantorel-cli}
FORMATS=${BENCH_FORMATS:-avi wav wmv wma flv}
[ -x "$CLI" ] || { echo "vantorel-cli not found: $CLI (build the vantorel-cli target)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (apt-get install time)" >&2; exit 2; }
command -v bash >/dev/null || { echo "bash is needed" >&2; exit 2; }
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "ffmpeg and ffprobe are needed" >&2; exit 2; }
CLI=$(cd "$(dirname "$CLI")" && pwd)/$(basename "$CLI")

WORK=$(mktemp -d "${BENCH_DIR:-/tmp}/vantorel-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
size_of() { stat -c %s "$1"; }
duration_of() { ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$1"; }

# Repeats a clip by stream copy until it is about SIZE_MB: loop CLIP OUT.
loop_to_size() {
    n=$((SIZE_MB * 1048576 / $(size_of "$1") + 1))
    : >"$WORK/list.txt"
    i=0
    while [ $i -lt $n ]; do
        echo "file '$1'" >>"$WORK/list.txt"
        i=$((i + 1))
    done
    ff -f concat -safe 0 -i "$WORK/list.txt" -c copy "$2"
    rm -f "$1" "$WORK/list.txt"
}

# A 20 s clip with a noisy picture (the encoder cannot squeeze it): clip OUT SOURCE FREQ CODEC-OPTIONS...
clip() {
    out=$1 src=$2 freq=$3
    shift 3
    ff -f lavfi -i "$src=size=640x360:rate=25:duration=20" -f lavfi -i "sine=frequency=$freq:sample_rate=48000:duration=20" \
        -vf noise=alls=30:allf=t -g 25 "$@" -ac 2 -shortest "$out"
}

# One measured run: run LABEL-FILE COMMAND... appends "cpu rss" to LABEL-FILE
# (seconds of user + system time, peak resident set in KiB). /usr/bin/time
# gives the peak but prints times to the hundredth only, so the times come
# from bash's `time` around it, to the thousandth.
run() {
    file=$1
    shift
    sync
    cpu=$(bash -c 'TIMEFORMAT="%3U %3S"; time /usr/bin/time -f %M -o "$2" "${@:3}" >/dev/null 2>"$1"' \
        _ "$WORK/err.txt" "$WORK/rss.txt" "$@" 2>&1) || {
        echo "failed: $*" >&2
        cat "$WORK/err.txt" >&2
        echo "- -" >>"$file"
        return 0
    }
    echo "$cpu $(cat "$WORK/rss.txt")" | awk '{ printf "%.3f %d\n", $1 + $2, $3 }' >>"$file"
}
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { printf "%.3f", NR ? v[int((NR + 1) / 2)] : 0 }'; }
peak() { sort -n -k2 "$1" | awk 'END { printf "%.1f", $2 / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

printf '%-6s %-13s %9s %9s %9s %8s %8s %9s %9s\n' format operation "ours s" "copy s" "ffmpeg s" \
    "/copy" "/ffmpeg" "ours MiB" "ffm MiB"

# A row: row FORMAT OPERATION OUR-OUTPUT "OUR COMMAND" "COPY COMMAND" "FFMPEG COMMAND"
# The commands are shell text; OUT in them is the output path. The copy command
# may use $BYTES, the size of our output.
row() {
    fmt=$1 op=$2 ext=$3 ours=$4 copy=$5 ffm=$6
    rm -f "$WORK"/r_*
    out="$WORK/out.$ext"
    i=0
    while [ $i -lt "$RUNS" ]; do
        run "$WORK/r_ours" sh -c "$ours"
        BYTES=$(size_of "$out" 2>/dev/null || echo 0)
        rm -f "$out"
        run "$WORK/r_copy" sh -c "BYTES=$BYTES; $copy"
        rm -f "$WORK/copy.out"
        run "$WORK/r_ffm" sh -c "$ffm"
        rm -f "$WORK/ffm.$ext"
        i=$((i + 1))
    done
    o=$(median "$WORK/r_ours") c=$(median "$WORK/r_copy") f=$(median "$WORK/r_ffm")
    printf '%-6s %-13s %9s %9s %9s %8s %8s %9s %9s\n' "$fmt" "$op" "$o" "$c" "$f" "$(ratio "$o" "$c")" \
        "$(ratio "$o" "$f")" "$(peak "$WORK/r_ours")" "$(peak "$WORK/r_ffm")"
}

V="$CLI --quiet"
W=$WORK
# dd of the first BYTES bytes of a file, or of BYTES bytes from a third of it in.
dd_head() { echo "dd if='$1' of='$W/copy.out' bs=1M iflag=count_bytes count=\$BYTES status=none"; }
dd_mid() {
    echo "dd if='$1' of='$W/copy.out' bs=1M iflag=skip_bytes,count_bytes skip=$(($(size_of "$1") / 3)) count=\$BYTES status=none"
}
concat_list() {  # concat_list LIST FILE...
    list=$1
    shift
    : >"$list"
    for f in "$@"; do echo "file '$f'" >>"$list"; done
}
thirds() {  # the start and end of the middle third of a file, in seconds
    awk -v d="$(duration_of "$1")" 'BEGIN { printf "%.3f %.3f", d / 3, 2 * d / 3 }'
}

for fmt in $FORMATS; do
    case $fmt in
    avi)
        clip "$W/ca.avi" testsrc 440 -c:v mpeg4 -b:v 18M -c:a pcm_s16le
        clip "$W/cb.avi" testsrc2 660 -c:v mpeg4 -b:v 18M -c:a pcm_s16le
        loop_to_size "$W/ca.avi" "$W/a.avi"
        loop_to_size "$W/cb.avi" "$W/b.avi"
        ff -i "$W/b.avi" -map 0:a -c copy "$W/b.wav"
        cat "$W/a.avi" "$W/b.avi" "$W/b.wav" >/dev/null
        concat_list "$W/join.txt" "$W/a.avi" "$W/b.avi"
        set -- $(thirds "$W/a.avi")
        row avi join avi "$V join '$W/a.avi' '$W/b.avi' -o '$W/out.avi'" "cat '$W/a.avi' '$W/b.avi' > '$W/copy.out'" \
            "ffmpeg -nostdin -y -f concat -safe 0 -i '$W/join.txt' -c copy '$W/ffm.avi'"
        row avi extract avi "$V extract '$W/a.avi' --start $1 --end $2 -o '$W/out.avi'" "$(dd_mid "$W/a.avi")" \
            "ffmpeg -nostdin -y -ss $1 -to $2 -i '$W/a.avi' -c copy '$W/ffm.avi'"
        row avi separate-v avi "$V separate --video '$W/a.avi' -o '$W/out.avi'" "$(dd_head "$W/a.avi")" \
            "ffmpeg -nostdin -y -i '$W/a.avi' -map 0:v -c copy '$W/ffm.avi'"
        row avi separate-a wav "$V separate --audio '$W/a.avi' -o '$W/out.wav'" "$(dd_head "$W/a.avi")" \
            "ffmpeg -nostdin -y -i '$W/a.avi' -map 0:a -c copy '$W/ffm.wav'"
        row avi union avi "$V union '$W/a.avi' '$W/b.wav' -o '$W/out.avi'" "$(dd_head "$W/a.avi")" \
            "ffmpeg -nostdin -y -i '$W/a.avi' -i '$W/b.wav' -map 0:v -map 1:a -c copy '$W/ffm.avi'"
        rm -f "$W"/a.avi "$W"/b.avi "$W"/b.wav
        ;;
    wav)
        secs=$((SIZE_MB * 1048576 / 192000 + 1))
        ff -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$secs" -c:a pcm_s16le -ac 2 "$W/a.wav"
        ff -f lavfi -i "sine=frequency=660:sample_rate=48000:duration=$secs" -c:a pcm_s16le -ac 2 "$W/b.wav"
        cat "$W/a.wav" "$W/b.wav" >/dev/null
        concat_list "$W/join.txt" "$W/a.wav" "$W/b.wav"
        set -- $(thirds "$W/a.wav")
        row wav join wav "$V join '$W/a.wav' '$W/b.wav' -o '$W/out.wav'" "cat '$W/a.wav' '$W/b.wav' > '$W/copy.out'" \
            "ffmpeg -nostdin -y -f concat -safe 0 -i '$W/join.txt' -c copy '$W/ffm.wav'"
        row wav extract wav "$V extract '$W/a.wav' --start $1 --end $2 -o '$W/out.wav'" "$(dd_mid "$W/a.wav")" \
            "ffmpeg -nostdin -y -ss $1 -to $2 -i '$W/a.wav' -c copy '$W/ffm.wav'"
        rm -f "$W"/a.wav "$W"/b.wav
        ;;
    wmv)
        clip "$W/ca.wmv" testsrc 440 -c:v wmv2 -b:v 8M -c:a wmav2 -b:a 128k
        loop_to_size "$W/ca.wmv" "$W/a.wmv"
        cp "$W/a.wmv" "$W/b.wmv"  # a join needs the same layout
        ff -i "$W/a.wmv" -map 0:a -c copy "$W/a.wma"
        cat "$W/a.wmv" "$W/b.wmv" "$W/a.wma" >/dev/null
        concat_list "$W/join.txt" "$W/a.wmv" "$W/b.wmv"
        set -- $(thirds "$W/a.wmv")
        row wmv join wmv "$V join '$W/a.wmv' '$W/b.wmv' -o '$W/out.wmv'" "cat '$W/a.wmv' '$W/b.wmv' > '$W/copy.out'" \
            "ffmpeg -nostdin -y -f concat -safe 0 -i '$W/join.txt' -c copy '$W/ffm.wmv'"
        row wmv extract wmv "$V extract '$W/a.wmv' --start $1 --end $2 -o '$W/out.wmv'" "$(dd_mid "$W/a.wmv")" \
            "ffmpeg -nostdin -y -ss $1 -to $2 -i '$W/a.wmv' -c copy '$W/ffm.wmv'"
        row wmv union wmv "$V union '$W/a.wmv' '$W/a.wma' -o '$W/out.wmv'" "$(dd_head "$W/a.wmv")" \
            "ffmpeg -nostdin -y -i '$W/a.wmv' -i '$W/a.wma' -map 0:v -map 1:a -c copy '$W/ffm.wmv'"
        rm -f "$W"/a.wmv "$W"/b.wmv "$W"/a.wma
        ;;
    wma)
        ff -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" -c:a wmav2 -b:a 320k -ac 2 "$W/ca.wma"
        loop_to_size "$W/ca.wma" "$W/a.wma"
        cp "$W/a.wma" "$W/b.wma"
        cat "$W/a.wma" "$W/b.wma" >/dev/null
        concat_list "$W/join.txt" "$W/a.wma" "$W/b.wma"
        set -- $(thirds "$W/a.wma")
        row wma join wma "$V join '$W/a.wma' '$W/b.wma' -o '$W/out.wma'" "cat '$W/a.wma' '$W/b.wma' > '$W/copy.out'" \
            "ffmpeg -nostdin -y -f concat -safe 0 -i '$W/join.txt' -c copy '$W/ffm.wma'"
        row wma extract wma "$V extract '$W/a.wma' --start $1 --end $2 -o '$W/out.wma'" "$(dd_mid "$W/a.wma")" \
            "ffmpeg -nostdin -y -ss $1 -to $2 -i '$W/a.wma' -c copy '$W/ffm.wma'"
        rm -f "$W"/a.wma "$W"/b.wma
        ;;
    flv)
        clip "$W/ca.flv" testsrc 440 -c:v flv1 -b:v 8M -maxrate 8M -bufsize 8M -c:a libmp3lame -b:a 128k
        clip "$W/cb.flv" testsrc2 660 -c:v flv1 -b:v 8M -maxrate 8M -bufsize 8M -c:a libmp3lame -b:a 128k
        loop_to_size "$W/ca.flv" "$W/a.flv"
        loop_to_size "$W/cb.flv" "$W/b.flv"
        cat "$W/a.flv" "$W/b.flv" >/dev/null
        concat_list "$W/join.txt" "$W/a.flv" "$W/b.flv"
        set -- $(thirds "$W/a.flv")
        row flv join flv "$V join '$W/a.flv' '$W/b.flv' -o '$W/out.flv'" "cat '$W/a.flv' '$W/b.flv' > '$W/copy.out'" \
            "ffmpeg -nostdin -y -f concat -safe 0 -i '$W/join.txt' -c copy '$W/ffm.flv'"
        row flv extract flv "$V extract '$W/a.flv' --start $1 --end $2 -o '$W/out.flv'" "$(dd_mid "$W/a.flv")" \
            "ffmpeg -nostdin -y -ss $1 -to $2 -i '$W/a.flv' -c copy '$W/ffm.flv'"
        row flv flv-to-avi avi "$V separate --video '$W/a.flv' -o '$W/out.avi'" "$(dd_head "$W/a.flv")" \
            "ffmpeg -nostdin -y -i '$W/a.flv' -map 0:v -c copy '$W/ffm.avi'"
        rm -f "$W"/a.flv "$W"/b.flv
        ;;
    *)
        echo "unknown format: $fmt" >&2
        exit 2
        ;;
    esac
done

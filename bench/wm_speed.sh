#!/bin/sh
# CPU time (user + sys) of the WMV/WMA operations against `cat` (joins) or
# `dd bs=1M` (the others) of the same bytes, in paired runs, with the median
# ratio; peak memory; and, when strace is there, the count of system calls
# and futex calls of one run. Inputs should be warm in the page cache.
# Not part of the test suite.
#
#   bench/wm_speed.sh CLI VIDEO.wmv AUDIO.wma [runs]
set -u
CLI=$1
V=$2
A=$3
RUNS=${4:-5}
DIR=$(mktemp -d /tmp/vt_wm_speed.XXXXXX)
trap 'rm -rf "$DIR"' EXIT INT TERM
cat "$V" "$A" >/dev/null

cpu() {  # command...: prints "user+sys peakKiB"
    /usr/bin/time -f "%U %S %M" -o "$DIR/t" "$@" >/dev/null 2>&1
    awk '{printf "%.3f %d\n", $1 + $2, $3}' "$DIR/t"
}

median() {  # column of $DIR/ratios
    awk -v c="$1" '{print $c}' "$DIR/ratios" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'
}

measure() {  # label (ending in the output's extension), reference command, operation...
    label=$1
    ref=$2
    shift 2
    : >"$DIR/ratios"
    for i in $(seq "$RUNS"); do
        ours=$(cpu "$CLI" --quiet "$@" -o "$DIR/out.$label")
        rm -f "$DIR/out.$label"
        theirs=$(cpu sh -c "$ref")
        rm -f "$DIR/ref" "$DIR/ref2"
        echo "$ours $theirs" >>"$DIR/ratios"
    done
    awk '{print $1, $2, $3, $4, ($3 > 0 ? $1 / $3 : 0)}' "$DIR/ratios" >"$DIR/r2" && mv "$DIR/r2" "$DIR/ratios"
    printf "%-16s ours %s s  ref %s s  ratio %s (median of %s pairs)  peak %s KiB\n" "$label" "$(median 1)" \
        "$(median 3)" "$(median 5)" "$RUNS" "$(sort -n -k2 "$DIR/ratios" | tail -1 | awk '{print $2}')"
    if command -v strace >/dev/null; then
        strace -f -c -o "$DIR/strace" "$CLI" --quiet "$@" -o "$DIR/out.$label" >/dev/null 2>&1
        rm -f "$DIR/out.$label"
        awk -v l="$label" '$NF == "total" {t = $(NF-2)} $NF == "futex" {f = $4}
            END {printf "%-16s syscalls %d, futex %d\n", l, t, f + 0}' "$DIR/strace"
    fi
}

measure join.wmv "cat '$V' '$V' > '$DIR/ref'" join "$V" "$V"
measure join.wma "cat '$A' '$A' > '$DIR/ref'" join "$A" "$A"
measure extract.wmv "dd if='$V' of='$DIR/ref' bs=1M status=none" extract "$V" --start 0
measure extract.wma "dd if='$A' of='$DIR/ref' bs=1M status=none" extract "$A" --start 0
measure separate.wmv "dd if='$V' of='$DIR/ref' bs=1M status=none" separate --video "$V"
# A union reads both sources: the reference reads and writes both.
measure union.wmv "dd if='$V' of='$DIR/ref' bs=1M status=none; dd if='$A' of='$DIR/ref2' bs=1M status=none" \
    union "$V" "$A"

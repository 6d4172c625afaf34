#!/bin/sh
# Runs every WMV/WMA operation (join, extract, separate --video/--audio,
# union) with two builds of vantorel-cli on ffmpeg fixtures and on the
# WMV/WMA/ASF files in ../shared/samples, and compares the outputs byte for
# byte, with the ASF file ID and creation time (which differ per run) zeroed.
# Not part of the test suite.
#
#   bench/wm_compare.sh OLD_CLI NEW_CLI [samples-dir]
set -u
OLD=$1
NEW=$2
SAMPLES=${3:-$(cd "$(dirname "$0")/../.." && pwd)/shared/samples}
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed" >&2; exit 2; }
DIR=$(mktemp -d /tmp/vt_wm_compare.XXXXXX)
trap 'rm -rf "$DIR"' EXIT INT TERM

# Zeroes the file ID wherever it occurs (file properties, data object,
# indexes) and the creation date, both read from the file properties object.
normalize() {
    python3 - "$1" <<'PY'
import sys
p = sys.argv[1]
b = bytearray(open(p, 'rb').read())
fp = bytes.fromhex('a1dcab8c47a9cf118ee400c00c205365')
at = b.find(fp)
if at >= 0:
    fid = bytes(b[at + 24:at + 40])
    b[at + 48:at + 56] = bytes(8)
    if fid != bytes(16):
        b = bytearray(bytes(b).replace(fid, bytes(16)))
open(p, 'wb').write(b)
PY
}

lavfi() {  # output, seconds, video codec or "", audio codec or "", packet size
    out=$1 secs=$2 vc=$3 ac=$4 ps=$5
    set -- -hide_banner -loglevel error -nostdin -y
    [ -n "$vc" ] && set -- "$@" -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$secs"
    [ -n "$ac" ] && set -- "$@" -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$secs"
    [ -n "$vc" ] && set -- "$@" -c:v "$vc" -g 50 -b:v 1M
    [ -n "$ac" ] && set -- "$@" -c:a "$ac" -b:a 128k
    ffmpeg "$@" -packetsize "$ps" "$out"
}

lavfi "$DIR/v2.wmv" 12 wmv2 wmav2 3200
lavfi "$DIR/v2b.wmv" 7 wmv2 wmav2 3200
lavfi "$DIR/v1.wmv" 9 wmv1 wmav2 8000
lavfi "$DIR/v1b.wmv" 5 wmv1 wmav2 8000
lavfi "$DIR/big.wmv" 10 wmv2 wmav1 65000
lavfi "$DIR/a.wma" 20 "" wmav2 3200
lavfi "$DIR/ab.wma" 6 "" wmav2 3200
lavfi "$DIR/a2.wma" 8 "" wmav1 1500

fail=0 same=0 tries=0
run() {  # name, arguments after the output (the output goes last)
    name=$1
    shift
    "$OLD" --quiet "$@" -o "$DIR/old.$name" >"$DIR/old.log" 2>&1
    rc_old=$?
    "$NEW" --quiet "$@" -o "$DIR/new.$name" >"$DIR/new.log" 2>&1
    rc_new=$?
    if [ $rc_old -ne $rc_new ]; then
        echo "DIFF  $name: exit $rc_old before, $rc_new now"
        fail=$((fail + 1))
    elif [ -f "$DIR/old.$name" ] || [ -f "$DIR/new.$name" ]; then
        normalize "$DIR/old.$name" 2>/dev/null
        normalize "$DIR/new.$name" 2>/dev/null
        # A union's samples of the same time came in either order before
        # (two threads raced for them): another run of the old build may match.
        tries=0
        while ! cmp -s "$DIR/old.$name" "$DIR/new.$name" && [ "$1" = union ] && [ $tries -lt 12 ]; do
            tries=$((tries + 1))
            "$OLD" --quiet "$@" -o "$DIR/old.$name" >/dev/null 2>&1
            normalize "$DIR/old.$name" 2>/dev/null
        done
        if cmp -s "$DIR/old.$name" "$DIR/new.$name"; then
            same=$((same + 1))
            if [ $tries -gt 0 ]; then
                echo "same  $name (exit $rc_old, matched old run $((tries + 1)))"
            else
                echo "same  $name (exit $rc_old)"
            fi
        else
            echo "DIFF  $name: $(cmp "$DIR/old.$name" "$DIR/new.$name" 2>&1 | head -1)"
            fail=$((fail + 1))
        fi
    else
        same=$((same + 1))
        echo "same  $name (exit $rc_old, no output)"
    fi
    rm -f "$DIR/old.$name" "$DIR/new.$name"
}

for f in v2 v1 big; do
    run "join-$f.wmv" join "$DIR/$f.wmv" "$DIR/$f.wmv"
    run "extract-$f.wmv" extract "$DIR/$f.wmv" --start 2.5 --end 6
    run "extract-open-$f.wmv" extract "$DIR/$f.wmv" --start 1
    run "sepv-$f.wmv" separate --video "$DIR/$f.wmv"
    run "sepa-$f.wma" separate --audio "$DIR/$f.wmv"
    run "union-$f.wmv" union "$DIR/$f.wmv" "$DIR/a.wma"
done
run "join-v2v2b.wmv" join "$DIR/v2.wmv" "$DIR/v2b.wmv" "$DIR/v2.wmv"
run "join-v1v1b.wmv" join "$DIR/v1.wmv" "$DIR/v1b.wmv"
run "join-a.wma" join "$DIR/a.wma" "$DIR/ab.wma" "$DIR/a.wma"
run "join-a2.wma" join "$DIR/a2.wma" "$DIR/a2.wma"
run "extract-a.wma" extract "$DIR/a.wma" --start 3 --end 11.5
run "extract-a2.wma" extract "$DIR/a2.wma" --start 0.5
run "union-v2-v1.wmv" union "$DIR/v2.wmv" "$DIR/v1.wmv"
run "union-v1-a2.wmv" union "$DIR/v1.wmv" "$DIR/a2.wma"

if [ -d "$SAMPLES" ]; then
    for s in "$SAMPLES"/*.wmv "$SAMPLES"/*.wma "$SAMPLES"/*.asf; do
        [ -f "$s" ] || continue
        b=$(basename "$s")
        ext=${b##*.}
        [ "$ext" = asf ] && ext=wmv
        run "join-$b.$ext" join "$s" "$s"
        run "extract-$b.$ext" extract "$s" --start 1 --end 3
        run "extract-open-$b.$ext" extract "$s" --start 0.5
        run "sepv-$b.wmv" separate --video "$s"
        run "sepa-$b.wma" separate --audio "$s"
        run "union-$b.wmv" union "$s" "$DIR/a.wma"
        run "union-a-$b.wmv" union "$DIR/v2.wmv" "$s"
    done
fi
echo "$same same, $fail different"
[ $fail -eq 0 ]

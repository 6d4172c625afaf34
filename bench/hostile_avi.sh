#!/bin/sh
# Memory and time of an AVI join whose inputs are nothing but empty chunks:
# two files of COUNT empty video chunks each (1,000,000 by default) are made
# in a scratch folder, joined by vantorel-cli under /usr/bin/time -v, and the
# same is done with twice the count to show that the time stays linear. The
# join of COUNT chunks a file must stay under 64 MiB of peak memory (the
# memory of index tables grows with the count).
#
#   bench/hostile_avi.sh [BUILD_DIR] [COUNT]
#
# Not part of ctest: it writes a few hundred MB and takes a while.
set -eu

BUILD=${1:-$(dirname "$0")/../build}
COUNT=${2:-1000000}
CLI="$BUILD/cli/vantorel-cli"
GEN="$BUILD/bench/avi_empty_chunks"
for x in "$CLI" "$GEN"; do
    [ -x "$x" ] || { echo "not built: $x (targets vantorel-cli and avi_empty_chunks)" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (apt-get install time)" >&2; exit 2; }

WORK=$(mktemp -d /tmp/vantorel-hostile.XXXXXX)
trap 'rm -rf "$WORK"' EXIT INT TERM

status=0
for n in "$COUNT" $((COUNT * 2)); do
    "$GEN" "$WORK/a.avi" "$n"
    cp "$WORK/a.avi" "$WORK/b.avi"
    /usr/bin/time -v -o "$WORK/time.txt" "$CLI" --quiet join "$WORK/a.avi" "$WORK/b.avi" -o "$WORK/out.avi" \
        >/dev/null 2>"$WORK/err.txt" || { echo "join of 2 x $n empty chunks failed:" >&2; cat "$WORK/err.txt" >&2; status=1; }
    frames=$("$CLI" info --json "$WORK/out.avi" | tr ',' '\n' | grep -m1 '"packets"' | tr -dc 0-9 || true)
    awk -v n="$n" -v frames="$frames" -v limit=$([ "$n" = "$COUNT" ] && echo 65536 || echo 0) '
        /User time/ { user = $NF }
        /System time/ { sys = $NF }
        /Maximum resident set size/ { rss = $NF }
        END {
            printf "join 2 x %d empty chunks: cpu %.2f s, peak %.1f MiB, output packets %s\n", n, user + sys, rss / 1024, frames
            if (limit && rss > limit) { print "  over 64 MiB"; exit 1 }
        }' "$WORK/time.txt" || status=1
    rm -f "$WORK"/*.avi
done
exit $status

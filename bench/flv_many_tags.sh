#!/usr/bin/env bash
# Writes an FLV file of COUNT one-byte tags (audio and video in turn, 1 ms
# apart): the hostile input for the memory bound of opening and joining.
# With SIZE above 1 every tag carries a frame (SIZE - 1 zero bytes).
#   bench/flv_many_tags.sh OUT [COUNT] [SIZE]   (COUNT defaults to 1000000, SIZE to 1)
# Then, for example:
#   /usr/bin/time -v build/cli/vantorel-cli --quiet join a.flv b.flv -o out.flv
set -euo pipefail
OUT=${1:?usage: $0 OUT [COUNT]}
COUNT=${2:-1000000}
SIZE=${3:-1}
perl -e '
    use strict;
    my ($count, $size) = @ARGV;
    binmode STDOUT;
    # Header: "FLV", version 1, audio and video, header size 9; then the
    # first size field (0).
    print "FLV", pack("C C N N", 1, 5, 9, 0);
    for my $i (0 .. $count - 1) {
        # Audio: MP3, 44 kHz, 16 bits, stereo. Video: H.263, a key frame
        # every 100 tags.
        my ($type, $head) = $i % 2 ? (9, $i % 100 == 1 ? 0x12 : 0x22) : (8, 0x2F);
        my $t = $i;
        print pack("C", $type), substr(pack("N", $size), 1), substr(pack("N", $t), 1),
            pack("C", ($t >> 24) & 0xFF), "\0\0\0", pack("C", $head), "\0" x ($size - 1),
            pack("N", 11 + $size);
    }
' "$COUNT" "$SIZE" > "$OUT"

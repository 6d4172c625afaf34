#!/usr/bin/env bash
# Bash completion of vantorel-cli and vantorel: a table of command lines and
# the words each one offers, in a folder with media files, other files and a
# sub-folder. Argument: the completion script.
set -uo pipefail
source "$1" || exit 1

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
touch a.avi b.wav c.wmv d.wma e.asf f.flv G.AVI notes.txt movie.mp4
mkdir clips

# Completes a line (the word under the cursor is the last one; a trailing
# space starts an empty word) and prints the offers sorted on one line.
offers() {
    local line=$1 fn=_vantorel_cli
    [[ $line == vantorel\ * ]] && fn=_vantorel
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    "$fn" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

media="G.AVI a.avi b.wav c.wmv clips d.wma e.asf f.flv"
failures=0
while IFS='|' read -r line want; do
    [[ -z $line ]] && continue
    got=$(offers "$line")
    if [[ $got != "$want" ]]; then
        echo "FAIL: '$line' offers '$got', expected '$want'" >&2
        failures=$((failures + 1))
    fi
done <<EOF_CASES
vantorel-cli |extract info join separate union
vantorel-cli j|join
vantorel-cli --quiet s|separate
vantorel-cli --format |avi flv wav wma wmv
vantorel-cli --format w|wav wma wmv
vantorel-cli --format = w|wav wma wmv
vantorel-cli --lang |en ja
vantorel-cli --format wav |extract info join separate union
vantorel-cli --format wav join |$media
vantorel-cli join a.avi |$media
vantorel-cli join --|--force --format --help --lang --output --quiet --verify --version
vantorel-cli separate --|--audio --format --help --lang --output --quiet --verify --version --video
vantorel-cli extract a.avi --st|--start
vantorel-cli extract a.avi --d|--dry-run
vantorel-cli extract a.avi --ve|--verify --version
vantorel-cli info --|--format --help --json --keyframes --lang --output --quiet --version
vantorel-cli extract a.avi --start |
vantorel-cli join a.avi -o |G.AVI a.avi b.wav c.wmv clips d.wma e.asf f.flv movie.mp4 notes.txt
vantorel-cli join a.avi -o x.avi |$media
vantorel-cli -- |extract info join separate union
vantorel-cli -- join -|
vantorel-cli join c|c.wmv clips
vantorel |$media
vantorel f|f.flv
EOF_CASES

[[ $failures == 0 ]] && echo "bash completion: ok"
exit $((failures > 0))

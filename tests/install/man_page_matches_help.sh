#!/usr/bin/env bash
# The manual page of vantorel-cli names the same operations and options as
# --help, in both directions, and both pages format without groff warnings.
# Arguments: vantorel-cli, the built vantorel-cli.1, the built vantorel.1.
set -uo pipefail
cli=$1
page=$2
shift 2
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

help=$("$cli" --lang en --help) || {
    echo "FAIL: $cli --help" >&2
    exit 1
}

# Options: every -x / --word that starts a word.
options() { grep -oE '(^|[][ ,(|=])--?[a-z][a-z-]*' | sed -E 's/^[][ ,(|=]//' | sort -u; }
# The roff source as plain text: escaped dashes and font changes undone.
plain=$(sed -E 's/\\-/-/g; s/\\f[BIRP]//g; s/\\\(.{2}//g' "$page")

help_options=$(options <<<"$help")
man_options=$(options <<<"$plain")
[[ -n $help_options ]] || fail "no options found in --help"
missing=$(comm -23 <(echo "$help_options") <(echo "$man_options"))
extra=$(comm -13 <(echo "$help_options") <(echo "$man_options"))
[[ -z $missing ]] || fail "options in --help but not in the manual page: $(echo $missing)"
[[ -z $extra ]] || fail "options in the manual page but not in --help: $(echo $extra)"

# Operations: the first word of each line of the help's "Operations:" block;
# each has its own entry (.TP then a line starting with it) in OPERATIONS.
help_ops=$(awk '/^Operations:/ {on = 1; next} on && /^$/ {on = 0} on {print $1}' <<<"$help" | sort -u)
man_ops=$(awk '/^\.SH OPERATIONS/ {on = 1; next} /^\.SH/ {on = 0} on && prev == ".TP" {print $2} {prev = $1}' \
    <<<"$plain" | sort -u)
[[ -n $help_ops ]] || fail "no operations found in --help"
[[ $help_ops == "$man_ops" ]] || fail "operations differ: --help has '$(echo $help_ops)', the page '$(echo $man_ops)'"

# The formats that the help lists for --format, in the page's --format entry.
help_formats=$(grep -oE -- '--format [a-z|]+' <<<"$help" | head -1 | cut -d' ' -f2 | tr '|' ' ')
format_entry=$(awk '/^\.SH OPTIONS/ {on = 1} on && /^\.BI --format/ {take = 1; next} take && /^\.(TP|SH)/ {exit}
    take' <<<"$plain" | head -3)
[[ -n $help_formats ]] || fail "no formats found in --help"
for f in $help_formats; do
    grep -qw -- "$f" <<<"$format_entry" || fail "format $f is not in the page's --format entry"
done

# The page header carries the program's version as --version shows it.
version=$("$cli" --version | awk '{print $NF}')
header=$(grep -m1 '^\.TH' "$page")
IFS=. read -r major minor patch _ < <(sed -E 's/.*"Vantorel ([0-9.]+)".*/\1/' <<<"$header")
[[ "$major.$minor$patch" == "$version" ]] || fail "the page's version ($header) is not $version"

for p in "$page" "$@"; do
    warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z -Tutf8 "$p" 2>&1)
    [[ -z $warnings ]] || fail "groff warns on $p: $warnings"
done

[[ $failures == 0 ]] && echo "manual page matches --help: ok"
exit $((failures > 0))

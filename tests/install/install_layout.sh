#!/usr/bin/env bash
# cmake --install into a temporary prefix, then checks what landed where and
# validates the menu entry and the AppStream data as installed.
# Arguments: the build folder, 1 when the desktop program was built.
set -uo pipefail
build=$1
gui=${2:-1}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
    cat "$prefix.log" >&2
    rm -f "$prefix.log"
    echo "FAIL: cmake --install" >&2
    exit 1
fi
rm -f "$prefix.log"

id=org.example.vantorel
expected=(
    bin/vantorel-cli
    share/man/man1/vantorel-cli.1.gz
    share/bash-completion/completions/vantorel-cli
    share/doc/vantorel/copyright
    share/doc/vantorel/changelog.gz
)
if [[ $gui == 1 ]]; then
    expected+=(
        bin/vantorel
        share/doc/vantorel/Vantorel.html
        share/applications/$id.desktop
        share/metainfo/$id.metainfo.xml
        share/icons/hicolor/scalable/apps/vantorel.svg
        share/icons/hicolor/48x48/apps/vantorel.png
        share/icons/hicolor/128x128/apps/vantorel.png
        share/icons/hicolor/256x256/apps/vantorel.png
        share/man/man1/vantorel.1.gz
        share/bash-completion/completions/vantorel
        share/doc-base/vantorel
    )
fi

# Exactly these files: nothing missing, nothing stray (the user guide no
# longer goes to bin/).
actual=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
want=$(printf '%s\n' "${expected[@]}" | sort)
if [[ $actual != "$want" ]]; then
    fail "installed files differ from the expected layout:"
    diff <(echo "$want") <(echo "$actual") >&2
fi

for f in bin/vantorel bin/vantorel-cli; do
    [[ -e $prefix/$f && ! -x $prefix/$f ]] && fail "$f is not executable"
done
for f in $(cd "$prefix" && find share -type f); do
    perm=$(stat -c %a "$prefix/$f")
    [[ $perm == 644 ]] || fail "$f has mode $perm, not 644"
done

# The installed program runs from the prefix and tells the version of the
# changelog, the way the about box shows it (1.2.3 as 1.23).
version=$("$prefix/bin/vantorel-cli" --version 2>&1) || fail "vantorel-cli --version failed"
changelog_version=$(gzip -dc "$prefix/share/doc/vantorel/changelog.gz" | sed -n '1s/^vantorel (\([^)]*\)).*/\1/p')
IFS=. read -r major minor patch _ <<<"$changelog_version"
[[ -n $changelog_version && $version == "vantorel-cli $major.$minor${patch:-0}" ]] ||
    fail "version '$version' does not match the changelog's '$changelog_version'"

# Compressed documents are gzip -9n: no name, no time stamp (the same bytes
# from every build).
for f in share/man/man1/vantorel-cli.1.gz share/doc/vantorel/changelog.gz; do
    gzip -t "$prefix/$f" || fail "$f is not a valid gzip file"
    [[ $(od -An -tu1 -j3 -N5 "$prefix/$f" | tr -s ' ') == " 0 0 0 0 0" ]] ||
        fail "$f carries a file name or a time stamp"
done

if [[ $gui == 1 ]]; then
    # Each PNG is as large as the folder it sits in says.
    for size in 48 128 256; do
        png=$prefix/share/icons/hicolor/${size}x${size}/apps/vantorel.png
        [[ $(head -c 8 "$png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "$png is not a PNG"
        w=$(od -An -tu1 -j16 -N4 "$png" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
        h=$(od -An -tu1 -j20 -N4 "$png" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
        [[ $w == "$size" && $h == "$size" ]] || fail "$png is ${w}x${h}, not ${size}x${size}"
    done
    grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/vantorel.svg" || fail "the scalable icon is no SVG"

    desktop=$prefix/share/applications/$id.desktop
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || fail "desktop-file-validate"
    else
        fail "desktop-file-validate is missing (scripts/deps --test installs it)"
    fi
    if command -v appstreamcli >/dev/null; then
        appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
        appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli validate-tree"
    else
        fail "appstreamcli is missing (scripts/deps --test installs it)"
    fi
    # The entry starts the installed program with the files it is given, under
    # the icon that is installed, and names the formats in both languages.
    grep -qx 'Exec=vantorel %F' "$desktop" || fail "Exec is not 'vantorel %F'"
    grep -qx 'Icon=vantorel' "$desktop" || fail "Icon is not 'vantorel'"
    for key in Name GenericName Comment; do
        grep -q "^$key=" "$desktop" || fail "$key missing"
        grep -q "^$key\[ja\]=" "$desktop" || fail "$key[ja] missing"
    done
    grep -qx 'Categories=AudioVideo;Video;AudioVideoEditing;' "$desktop" || fail "Categories"
    for mime in video/x-msvideo audio/x-wav video/x-ms-wmv audio/x-ms-wma application/vnd.ms-asf video/x-flv; do
        grep -q "^MimeType=.*$mime;" "$desktop" || fail "MimeType lacks $mime"
    done
    metainfo=$prefix/share/metainfo/$id.metainfo.xml
    for bin in vantorel vantorel-cli; do
        grep -q "<binary>$bin</binary>" "$metainfo" || fail "metainfo does not provide $bin"
    done
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "launchable"
    grep -q "<release version=\"$changelog_version\"" "$metainfo" || fail "metainfo release is not $changelog_version"
    # doc-base names the guide where the build's prefix puts it.
    grep -qx "Index: .*/share/doc/vantorel/Vantorel.html" "$prefix/share/doc-base/vantorel" || fail "doc-base Index"
fi

[[ $failures == 0 ]] && echo "install layout: ok"
exit $((failures > 0))

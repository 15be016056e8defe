#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch DESTDIR and checks what a desktop reads from it: every path under the prefix,
# the desktop entry, the store description, the file type, the icons and the manual page, each with the validator
# of its format. Usage: installed_files.sh BUILD-DIR APP-ID "ICON SIZES"
set -uo pipefail
build="$1"
app="$2"
sizes="$3"
prefix=/usr

for tool in desktop-file-validate appstreamcli xmllint update-mime-database groff; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed (see PACKAGES in scripts/lib.sh): skipped"
        exit 77
    fi
done

dest="$(mktemp -d)"
trap 'rm -rf "$dest"' EXIT
failed=0
fail() { echo "FAILED: $*"; failed=1; }

DESTDIR="$dest" cmake --install "$build" --prefix "$prefix" >"$dest.log" 2>&1 || { cat "$dest.log"; rm -f "$dest.log"; exit 1; }
rm -f "$dest.log"

# Nothing may land outside the prefix: a package owns its prefix only.
while IFS= read -r path; do
    case "$path" in
    "$dest$prefix"/*) ;;
    *) fail "installed outside $prefix: ${path#"$dest"}" ;;
    esac
done < <(find "$dest" -mindepth 1 \( -type f -o -type l \))

share="$dest$prefix/share"
expect=("$dest$prefix/bin/dayvell" "$share/applications/$app.desktop" "$share/metainfo/$app.metainfo.xml"
        "$share/mime/packages/$app.xml" "$share/icons/hicolor/scalable/apps/$app.svg" "$share/man/man1/dayvell.1.gz"
        "$share/doc/dayvell/copyright" "$share/doc/dayvell/export-json.md")
for size in $sizes; do
    expect+=("$share/icons/hicolor/${size}x${size}/apps/$app.png")
done
for path in "${expect[@]}"; do
    [ -f "$path" ] || fail "not installed: ${path#"$dest"}"
done
[ -x "$dest$prefix/bin/dayvell" ] || fail "the program is not executable"

desktop="$share/applications/$app.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
xmllint --noout "$share/metainfo/$app.metainfo.xml" "$share/mime/packages/$app.xml" || fail "xmllint"

# The pieces must name one another: the entry's icon and file type, the description's launchable.
grep -qx "Icon=$app" "$desktop" || fail "the desktop entry does not name the icon $app"
grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$share/metainfo/$app.metainfo.xml" ||
    fail "the metainfo does not launch $app.desktop"
mimetype="$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$share/mime/packages/$app.xml")"
grep -q "^MimeType=.*$mimetype;" "$desktop" || fail "the desktop entry does not open $mimetype"
# Built the way the desktop builds it, the database maps a book's name to the type.
update-mime-database "$share/mime" >/dev/null 2>&1 || fail "update-mime-database"
grep -q "^50:$mimetype:\*\.dvl$" "$share/mime/globs2" || fail "*.dvl is not a $mimetype in the built database"

for size in $sizes; do
    png="$share/icons/hicolor/${size}x${size}/apps/$app.png"
    # Width and height stand in the PNG header at bytes 16 to 23.
    dims="$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{print $3*256+$4 "x" $7*256+$8}')"
    [ "$dims" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dims"
done
xmllint --noout "$share/icons/hicolor/scalable/apps/$app.svg" || fail "the SVG icon is no well-formed XML"

warnings="$(zcat "$share/man/man1/dayvell.1.gz" | groff -man -ww -z 2>&1)"
[ -z "$warnings" ] || fail "the manual page has faults: $warnings"
# Rendered once: grep -q stops reading early, which a pipeline with pipefail would take for a failure.
manual="$(zcat "$share/man/man1/dayvell.1.gz" | groff -man -Tascii 2>/dev/null | sed 's/.\x08//g')"
grep -q -- '--version' <<<"$manual" || fail "the manual page does not describe --version"
for subcommand in export import search count; do
    grep -q -- "dayvell $subcommand" <<<"$manual" || fail "the manual page does not describe dayvell $subcommand"
done

exit "$failed"

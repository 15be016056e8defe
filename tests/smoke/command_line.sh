#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program's command line answers without a display: --version names the project version, --help the book
# argument, and a command line it cannot follow ends with status 1 before any window opens.
# Usage: command_line.sh PATH-TO-DAYVELL VERSION
set -uo pipefail
program="$1"
version="$2"
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# No display at all: help and version must not need one.
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

for option in --version -v "-style fusion --version"; do
    # shellcheck disable=SC2086
    out="$("$program" $option 2>&1)" || fail "$option ended with status $?"
    [ "$out" = "dayvell $version" ] || fail "$option printed '$out', not 'dayvell $version'"
done
for option in --help -h; do
    out="$("$program" "$option" 2>&1)" || fail "$option ended with status $?"
    grep -q -- '--version' <<<"$out" || fail "$option does not list --version"
    grep -q 'book' <<<"$out" || fail "$option does not name the book argument"
done

# Without a display the windows cannot open: one line that says so, never the toolkit's abort and its core dump,
# whatever the platform asked for that needs a display.
for platform in xcb "" "wayland;xcb" "xcb:foo=1"; do
    for args in "" "diary.dvl" "exprot diary.dvl"; do
        # shellcheck disable=SC2086
        err="$(QT_QPA_PLATFORM="$platform" timeout 20 "$program" $args 2>&1 >/dev/null)"
        status=$?
        [ "$status" -eq 1 ] || fail "'$args' without a display (platform '$platform') ended with status $status, not 1"
        [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] && grep -q 'no display' <<<"$err" ||
            fail "'$args' without a display (platform '$platform') said: $err"
    done
done

export QT_QPA_PLATFORM=offscreen
for args in "one.dvl two.dvl" "--no-such-option"; do
    # shellcheck disable=SC2086
    timeout 20 "$program" $args >/dev/null 2>&1
    status=$?
    [ "$status" -eq 1 ] || fail "'$args' ended with status $status, not 1"
done
exit "$failed"

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the program on a virtual X server with a book on its command line, as a double click in the file manager
# does: the password prompt must take the start window's place. Started with a missing book instead, the error
# reporter's box must appear over the start window. Usage: open_book.sh PATH-TO-DAYVELL PATH-TO-WRITE-BOOK
set -uo pipefail
program="$1"
write_book="$2"

for tool in Xvfb xwininfo; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed: skipped"
        exit 77
    fi
done
if [ -z "${DAYVELL_SMOKE_DISPLAY_UP:-}" ]; then
    exec env DAYVELL_SMOKE_DISPLAY_UP=1 "$(dirname "$0")/../support/on-own-display" "$0" "$@"
fi

dir="$(mktemp -d)"
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
"$write_book" "$dir" diary.dvl Secret1 || exit 1

# Waits until a window whose title matches `pattern` is shown; fails after the deadline.
wait_for_window() {
    local pattern="$1"
    for _ in $(seq 300); do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "the program ended before showing \"$pattern\""
            return 1
        fi
        if xwininfo -root -tree | grep -q -- "$pattern"; then
            return 0
        fi
        sleep 0.1
    done
    echo "no window \"$pattern\" appeared; windows were:"
    xwininfo -root -tree
    return 1
}

# Waits until no window whose title matches `pattern` is left; fails after the deadline. The prompt may be mapped
# a moment before the window it replaces is gone.
wait_for_no_window() {
    local pattern="$1"
    for _ in $(seq 50); do
        xwininfo -root -tree | grep -q -- "$pattern" || return 0
        sleep 0.1
    done
    return 1
}

# shellcheck source=steps.sh
. "$(dirname "$0")/steps.sh"

failed=0
"$program" "$dir/diary.dvl" &
pid=$!
wait_for_window '"Please enter the Password": ("dayvell"' || failed=1
# Asking for a password, the program can write no core dump.
risk="$(core_dump_risk "$pid")"
[ -z "$risk" ] || { echo "the program could dump its memory: $risk"; failed=1; }
if ! wait_for_no_window '"Dayvell": ("dayvell"'; then
    echo "the start window stayed open beside the password prompt"
    failed=1
fi
kill "$pid"; wait "$pid" 2>/dev/null

(cd "$dir" && exec "$program" missing.dvl) &
pid=$!
wait_for_window '"ERROR   #53    !!!!File not found"' || failed=1
xwininfo -root -tree | grep -q '"Dayvell": ("dayvell"' || { echo "the start window did not stay"; failed=1; }
kill "$pid"; wait "$pid" 2>/dev/null
pid=
exit "$failed"

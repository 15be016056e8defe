#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the program on a virtual X server and checks that its start window, titled "Dayvell", appears and that
# the program keeps running with it. Usage: start_window.sh PATH-TO-DAYVELL
set -euo pipefail
program="$1"

for tool in Xvfb xwininfo; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed: skipped"
        exit 77
    fi
done
if [ -z "${DAYVELL_SMOKE_DISPLAY_UP:-}" ]; then
    exec env DAYVELL_SMOKE_DISPLAY_UP=1 "$(dirname "$0")/../support/on-own-display" "$0" "$program"
fi

"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

# Polled up to a deadline, as a test waits for a condition; a slow machine only makes it take longer.
for _ in $(seq 300); do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "the program ended before showing its window"
        exit 1
    fi
    if xwininfo -root -tree | grep -q '"Dayvell": ("dayvell"'; then
        echo "start window shown"
        exit 0
    fi
    sleep 0.1
done
echo "no window titled Dayvell appeared; windows were:"
xwininfo -root -tree
exit 1

# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the smoke tests. Core dumps allowed as far as the hard limit lets, so that a program which turns them
# off shows it.
ulimit -S -c "$(ulimit -H -c)"

# Prints why the running process `pid` could still write a core dump, or nothing when it cannot: its core file
# limit is zero, and it is not dumpable (the kernel then hands its /proc files to root, which shows as another owner
# to anyone else).
core_dump_risk() {
    local pid="$1"
    local soft
    soft="$(awk '/^Max core file size/ { print $5 }' "/proc/$pid/limits")"
    [ "$soft" = 0 ] || echo "its core file limit is $soft"
    if [ "$(id -u)" != 0 ] && [ "$(stat -c %u "/proc/$pid/status")" = "$(id -u)" ]; then
        echo "it is dumpable"
    fi
}

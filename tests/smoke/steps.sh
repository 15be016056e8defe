# SPDX-License-Identifier: GPL-3.0-or-later
# The steps the smoke tests share; sourced. A test reports each failure with `fail` and ends with status $failed.
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# Expects the program's last run ($status, $err) to have ended with status 1 and exactly one line on standard error
# that names `subject`.
expect_error() {
    local what="$1" subject="$2"
    [ "$status" -eq 1 ] || fail "$what: status $status, not 1"
    [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "$what: not one line on standard error: $err"
    grep -qF -- "$subject" <<<"$err" || fail "$what: the error does not name $subject: $err"
}

# Core dumps allowed as far as the hard limit lets, so that a program which turns them off shows it.
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

# Goes on without any display, so that a subcommand that made an application with windows fails, in a folder of
# its own ($work), removed when the test ends.
without_display_in_a_new_folder() {
    unset DISPLAY WAYLAND_DISPLAY
    export QT_QPA_PLATFORM=xcb
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    cd "$work" || exit 1
}

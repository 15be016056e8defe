#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# dayvell password as a script runs it: a new password, a book sealed and unsealed, and every other subcommand on the
# sealed book; a wrong or unfit password ends with status 1 and leaves the book as it was, bad usage with 2.
# Usage: password.sh PATH-TO-DAYVELL PATH-TO-WRITE_BOOK
set -uo pipefail
program="$1"
write_book="$2"
# shellcheck source=steps.sh
. "$(dirname "$0")/steps.sh"

without_display_in_a_new_folder
"$write_book" "$work" diary.dvl first || exit 1
page_text="A page opened from the command line"

# Runs the program with `input` (backslash escapes expanded) on standard input; output in $out, errors in $err, status
# in $status.
run() {
    local input="$1"
    shift
    out="$(printf '%b' "$input" | timeout 60 "$program" "$@" --password-stdin 2>"$work/stderr")"
    status=$?
    err="$(cat "$work/stderr")"
}
is_sealed() { [ "$(head -c 7 "$1")" = "DVLSEAL" ]; }
opens_with() {
    run "$2\n" count "$1"
    [ "$status" -eq 0 ] && [ "$out" = "$3" ]
}

run 'first\n' export diary.dvl --format json
[ "$status" -eq 0 ] || fail "the first export ended with status $status: $err"
exported="$out"

# A new password, the kind kept.
run 'first\nsecond\n' password diary.dvl
[ "$status" -eq 0 ] || fail "changing the password ended with status $status: $err"
is_sealed diary.dvl && fail "a change without --seal sealed the book"
opens_with diary.dvl second 1 || fail "the new password does not open the book"
opens_with diary.dvl first 1 && fail "the old password still opens the book"

# Sealed: nothing of the page can be read in the file, and every subcommand works on it.
run 'second\na long pass phrase\n' password diary.dvl --seal
[ "$status" -eq 0 ] || fail "sealing ended with status $status: $err"
grep -q "sealed" <<<"$out" || fail "sealing said '$out'"
is_sealed diary.dvl || fail "--seal did not seal the book"
grep -qF "$page_text" diary.dvl && fail "the sealed book holds its page in plain text"
opens_with diary.dvl second 1 && fail "the old password opens the sealed book"
sealed_key="a long pass phrase"
opens_with diary.dvl "$sealed_key" 1 || fail "the passphrase does not open the sealed book"
run "$sealed_key\n" export diary.dvl --format json
[ "$status" -eq 0 ] && [ "$out" = "$exported" ] || fail "the sealed book exports otherwise: $err"
run "$sealed_key\n" search diary.dvl "OPENED FROM"
[ "$status" -eq 0 ] && [[ "$out" == " 1    "*"  A page opened from"* ]] || fail "search on the sealed book printed '$out'"
printf 'Written into a sealed book\n' >note.txt
run "$sealed_key\n" import diary.dvl note.txt
[ "$status" -eq 0 ] && [ "$out" = "1 page added to diary.dvl" ] || fail "import into the sealed book said '$out': $err"
opens_with diary.dvl "$sealed_key" 2 || fail "the sealed book does not count the imported page"
grep -qF "Written into a sealed" diary.dvl && fail "the imported page lies in the sealed book in plain text"
run "$sealed_key\n" export diary.dvl --format json
exported="$out"

# A sealed book that stays sealed: its key is wrapped anew in place, the records untouched.
size="$(stat -c %s diary.dvl)"
records="$(tail -c +421 diary.dvl | md5sum)"
run "$sealed_key\nanother passphrase\n" password diary.dvl --seal
[ "$status" -eq 0 ] || fail "a sealed book's new password ended with status $status: $err"
sealed_key="another passphrase"
[ "$(stat -c %s diary.dvl)" = "$size" ] && [ "$(tail -c +421 diary.dvl | md5sum)" = "$records" ] ||
    fail "a new password rewrote the sealed book's pages"
opens_with diary.dvl "$sealed_key" 2 || fail "the sealed book's new password does not open it"

# Refused: a wrong password, a password the new kind cannot take, one line of input. The book is unchanged.
before="$(md5sum diary.dvl)"
while IFS='|' read -r what input args; do
    # shellcheck disable=SC2086
    run "$input" password diary.dvl $args
    expect_error "$what" diary.dvl
    [ "$before" = "$(md5sum diary.dvl)" ] || fail "$what changed the book"
done <<'EOF_CASES'
a wrong password|wrong\nnewpass\n|
a wrong password with --unseal|wrong\nnewpass\n|--unseal
a sealed password too short|another passphrase\nabc\n|
a classic password too long|another passphrase\nelevenchars\n|--unseal
a password a book cannot store|another passphrase\nk\xe2\x82\xac\xf0\x9f\x98\x80ey\n|
no new password|another passphrase\n|
EOF_CASES
opens_with diary.dvl "$sealed_key" 2 || fail "a refused change left the book unopenable"

# Unsealed: the same pages, byte for byte, in the classic cipher.
run "$sealed_key\nback\n" password diary.dvl --unseal
[ "$status" -eq 0 ] || fail "unsealing ended with status $status: $err"
is_sealed diary.dvl && fail "--unseal left the book sealed"
grep -qF "$page_text" diary.dvl && fail "the unsealed book holds its page in plain text"
run 'back\n' export diary.dvl --format json
[ "$status" -eq 0 ] && [ "$out" = "$exported" ] || fail "the unsealed book differs from the sealed one: $err"
opens_with diary.dvl "$sealed_key" 2 && fail "the passphrase opens the unsealed book"

# Bad usage: status 2 with a pointer to --help, the book untouched.
before="$(md5sum diary.dvl)"
while IFS= read -r args; do
    # shellcheck disable=SC2086
    err="$(printf 'back\nnewpass\n' | timeout 60 "$program" $args 2>&1 >/dev/null)"
    status=$?
    [ "$status" -eq 2 ] || fail "'$args' ended with status $status, not 2"
    grep -q -- "--help" <<<"$err" || fail "'$args' does not point to --help: $err"
done <<'EOF_ARGS'
password --password-stdin
password diary.dvl other.dvl --password-stdin
password diary.dvl --seal --unseal --password-stdin
password diary.dvl --seal=yes --password-stdin
password diary.dvl --bogus --password-stdin
EOF_ARGS
[ "$before" = "$(md5sum diary.dvl)" ] || fail "bad usage changed the book"
out="$("$program" password --help)" || fail "password --help ended with status $?"
for word in "Usage: dayvell password " --seal --unseal --password-stdin; do
    grep -qF -- "$word" <<<"$out" || fail "password --help does not say $word"
done

# Typed on a terminal, without echo: the new password twice, and two that differ change nothing.
if command -v script >/dev/null; then
    typed="$( (sleep 1; echo back; sleep 1; echo newpass; sleep 1; echo newpazz; sleep 1) |
        timeout 60 script -qec "$program password diary.dvl" /dev/null)"
    grep -q "New password for diary.dvl:" <<<"$typed" || fail "no prompt for the new password: $typed"
    grep -q "the new passwords differ" <<<"$typed" || fail "differing new passwords were not refused: $typed"
    [ "$before" = "$(md5sum diary.dvl)" ] || fail "differing new passwords changed the book"
    typed="$( (sleep 1; echo back; sleep 1; echo newpass; sleep 1; echo newpass; sleep 1) |
        timeout 60 script -qec "$program password diary.dvl" /dev/null)"
    grep -q "newpass" <<<"$typed" && fail "a typed password was shown: $typed"
    opens_with diary.dvl newpass 2 || fail "the password typed twice was not set: $typed"
fi
exit "$failed"

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The subcommands for scripts, run as a script would run them: without a display, the password on standard input or
# typed on a terminal without echo, and exit status 0, 1 (one line on standard error naming the file) or 2 (bad usage).
# Usage: subcommands.sh PATH-TO-DAYVELL PATH-TO-WRITE_BOOK TEST-DATA-DIRECTORY
set -uo pipefail
program="$1"
write_book="$2"
data="$3"
# shellcheck source=steps.sh
. "$(dirname "$0")/steps.sh"

without_display_in_a_new_folder
# Low character codes: the password carries the typographic characters of the jrnl fixture.
password='!#$%'
"$write_book" "$work" diary.dvl "$password" || exit 1
"$write_book" "$work" empty.dvl "$password" 0 || exit 1

# Runs the program with the password on standard input; its output in $out, its errors in $err, status in $status.
run() {
    out="$(printf '%s\n' "$password" | timeout 60 "$program" "$@" --password-stdin 2>"$work/stderr")"
    status=$?
    err="$(cat "$work/stderr")"
}

run count diary.dvl
[ "$status" -eq 0 ] && [ "$out" = "1" ] || fail "count printed '$out' with status $status"

# Import: the jrnl fixture and a text file, added after the book's page in the order of their dates.
printf 'A note\nof two lines\n' >note.txt
touch -d '2024-06-01 12:00:00' note.txt
run import diary.dvl "$data/jrnl-export.json" note.txt
[ "$status" -eq 0 ] || fail "import ended with status $status: $err"
[ "$out" = "4 pages added to diary.dvl" ] || fail "import said '$out'"
run count diary.dvl
[ "$out" = "5" ] || fail "after the import count printed '$out'"
run search diary.dvl QUARTERLY
[ "$status" -eq 0 ] || fail "search ended with status $status"
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] && [[ "$out" == " 4    "*"  Quarterly review. ¶ Went f" ]] ||
    fail "search for QUARTERLY printed '$out'"
run search diary.dvl "of two"
[[ "$out" == " 5    "*"  A note ¶ of two lines" ]] || fail "search for 'of two' printed '$out'"
# A page holds what its file held: the search never passes a control character on to the terminal.
"$write_book" "$work" controls.dvl "$password" 0 || exit 1
printf 'Alarm \033]0;owned\007 \033[2J\x7f bell\n' >controls.txt
run import controls.dvl controls.txt
[ "$status" -eq 0 ] || fail "importing a page of control characters ended with status $status: $err"
run search controls.dvl alarm
[ "$status" -eq 0 ] || fail "search over control characters ended with status $status"
[[ "$out" == *"  Alarm ?]0;owned? ?[2J? be" ]] || fail "the search printed '$out'"
LC_ALL=C grep -q '[[:cntrl:]]' <<<"$out" && fail "the search printed control characters: $(od -c <<<"$out" | head)"
run search diary.dvl "no such words"
[ "$status" -eq 0 ] && [ -z "$out" ] || fail "a search without matches printed '$out' with status $status"

# Export: every format to a file of its owner's alone, the same bytes as to standard output.
for format in txt md json html; do
    run export diary.dvl --format "$format" -o "diary.$format"
    [ "$status" -eq 0 ] || fail "export $format ended with status $status: $err"
    [ "$(stat -c %a "diary.$format")" = 600 ] || fail "export $format is readable by others"
    run export diary.dvl --format="$format"
    [ "$out" = "$(cat "diary.$format")" ] || fail "export $format to standard output differs from the file"
done
grep -q '"format":"dayvell-export"' diary.json || fail "the JSON export has no format"
grep -q '<article class="page" id="page-5">' diary.html || fail "the HTML export has no fifth page"
[ "$(head -n 1 diary.txt)" = "___" ] || fail "the text export does not start with the cover name"

# Round trip: the JSON export imported into an empty book gives back the same pages, byte for byte.
run import empty.dvl diary.json
[ "$status" -eq 0 ] || fail "importing the export ended with status $status: $err"
cmp -s <(tail -n +2 diary.dvl) <(tail -n +2 empty.dvl) || fail "the round trip changed the pages"

# Nothing is replaced unasked; --force replaces.
echo "keep me" >kept.json
run export diary.dvl --format json -o kept.json
expect_error "export over a file" kept.json
[ "$(cat kept.json)" = "keep me" ] || fail "an existing file was replaced"
run export diary.dvl --format json -o kept.json --force
[ "$status" -eq 0 ] && cmp -s kept.json diary.json || fail "--force did not replace the file"

# PDF: the whole book's print, made without a display, for its owner alone, and never over a file unasked.
run export diary.dvl --format pdf -o diary.pdf
[ "$status" -eq 0 ] || fail "export pdf ended with status $status: $err"
[ "$(stat -c %a diary.pdf)" = 600 ] || fail "the PDF export is readable by others"
[ "$(head -c 5 diary.pdf)" = "%PDF-" ] || fail "the PDF export is no PDF"
if command -v pdftotext >/dev/null; then
    printed="$(pdftotext -layout diary.pdf -)"
    grep -q "Quarterly review" <<<"$printed" || fail "the PDF export lacks the fourth page: $printed"
    grep -q "of two lines" <<<"$printed" || fail "the PDF export lacks the fifth page: $printed"
fi
printf '%s\n' "$password" | "$program" export diary.dvl --format pdf --password-stdin >piped.pdf 2>/dev/null
status=$?
[ "$status" -eq 0 ] && [ "$(head -c 5 piped.pdf)" = "%PDF-" ] || fail "export pdf to a pipe ended with status $status"
run export diary.dvl --format pdf -o diary.pdf
expect_error "export over an existing PDF" diary.pdf

# Errors: one line naming the file, status 1, and nothing changed.
before="$(md5sum diary.dvl)"
printf '{"entries": [{"date": "2023-02-30", "time": "09:15", "title": "x"}]}' >bad.json
printf '{"entries": [{"date": "2023-03-01", "time": "09:15", "title": "caf\xc3\xa9 \xf0\x9f\x98\x80"}]}' >emoji.json
printf 'not a book\r\n' >text.dvl
run import diary.dvl note.txt bad.json
expect_error "a file that is no export" bad.json
run import diary.dvl emoji.json
expect_error "a page the book cannot store" diary.dvl
[ "$before" = "$(md5sum diary.dvl)" ] || fail "a failed import changed the book"
out="$(printf 'wrong\n' | "$program" count diary.dvl --password-stdin 2>"$work/stderr")"
status=$?
err="$(cat "$work/stderr")"
expect_error "a wrong password" diary.dvl
run count missing.dvl
expect_error "a missing book" missing.dvl
run count text.dvl
expect_error "a file that is no book" text.dvl
run import diary.dvl emoji.json note.txt --skip-unstorable
[ "$status" -eq 0 ] || fail "--skip-unstorable ended with status $status"
grep -q "^dayvell: skipped: The page from emoji.json (entry 1)" <<<"$err" || fail "the skipped page was not named: $err"
[ "$out" = "1 page added to diary.dvl" ] || fail "--skip-unstorable said '$out'"

# Interrupted half-way, an export leaves no file behind, and the program ends by the signal.
"$write_book" "$work" big.dvl "$password" 0 || exit 1
awk 'BEGIN {
    body = ""; while (length(body) < 1500) body = body "the day was long and we walked to town ";
    printf "{\"entries\": [";
    for (i = 0; i < 20000; i++)
        printf "%s{\"date\": \"2023-01-%02d\", \"time\": \"10:00\", \"title\": \"Entry %d.\", \"body\": \"%s\"}",
               (i ? "," : ""), i % 28 + 1, i, body;
    print "]}" }' >big.json
run import big.dvl big.json
[ "$status" -eq 0 ] || fail "importing 20,000 entries ended with status $status: $err"
printf '%s\n' "$password" | "$program" export big.dvl --format html -o big.html --password-stdin &
exporting=$!
seen=0
for _ in $(seq 1 2000); do
    if compgen -G ".big.html.*" >/dev/null; then
        seen=1
        break
    fi
    sleep 0.005
done
# Terminated: a job in the background of a script ignores Ctrl-C's signal, as it should.
kill -TERM "$exporting" 2>/dev/null
wait "$exporting"
status=$?
if [ "$seen" -eq 1 ]; then
    [ "$status" -eq 143 ] || fail "an interrupted export ended with status $status, not by its signal (143)"
    [ ! -e big.html ] || fail "an interrupted export left big.html"
fi
compgen -G ".big.html.*" >/dev/null && fail "an interrupted export left its scratch file: $(ls -A)"

# While it waits for the password, and for the rest of its run, the program can write no core dump.
(sleep 3) | "$program" count diary.dvl --password-stdin 2>/dev/null &
waiting=$!
sleep 1
risk="$(core_dump_risk "$waiting")"
[ -z "$risk" ] || fail "a subcommand could dump its memory: $risk"
wait "$waiting"

# No terminal and no --password-stdin: the password is never taken from anywhere else.
err="$(DAYVELL_PASSWORD="$password" PASSWORD="$password" setsid -w "$program" count diary.dvl </dev/null 2>&1)"
status=$?
expect_error "no terminal" "--password-stdin"

# Bad usage: status 2, with a pointer to --help.
while IFS= read -r args; do
    # shellcheck disable=SC2086
    err="$(printf '%s\n' "$password" | "$program" $args 2>&1 >/dev/null)"
    status=$?
    [ "$status" -eq 2 ] || fail "'$args' ended with status $status, not 2"
    grep -q -- "--help" <<<"$err" || fail "'$args' does not point to --help: $err"
done <<'EOF_ARGS'
count
count diary.dvl secret --password-stdin
count diary.dvl --bogus --password-stdin
export diary.dvl --password-stdin
export diary.dvl --format doc --password-stdin
export diary.dvl --format json --format txt --password-stdin
export diary.dvl --format --password-stdin
export diary.dvl --password-stdin=yes --format json
import diary.dvl --password-stdin
search diary.dvl --password-stdin
EOF_ARGS

for command in export import search count; do
    out="$("$program" "$command" --help)" || fail "$command --help ended with status $?"
    grep -q "^Usage: dayvell $command " <<<"$out" || fail "$command --help prints no usage"
    grep -q -- "--password-stdin" <<<"$out" || fail "$command --help does not name --password-stdin"
done

# Typed on a terminal, the password is not shown.
if command -v script >/dev/null; then
    typed="$( (sleep 1; printf '%s\n' "$password") | script -qec "$program count diary.dvl" /dev/null)"
    grep -q "Password for diary.dvl:" <<<"$typed" || fail "no password prompt on the terminal: $typed"
    grep -qF -- "$password" <<<"$typed" && fail "the typed password was shown: $typed"
    grep -q "^6" <<<"$(tail -n 1 <<<"$typed")" || fail "count after a typed password printed: $typed"
    # A PDF is not written onto a terminal; the password is not even asked for.
    typed="$(script -qec "$program export diary.dvl --format pdf; echo status=\$?" /dev/null </dev/null)"
    grep -q "no text for the terminal" <<<"$typed" || fail "a PDF was offered to the terminal: $typed"
    grep -q "status=2" <<<"$typed" || fail "a PDF for the terminal is not bad usage: $typed"
fi
exit "$failed"

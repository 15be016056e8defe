// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace dayvell {

class Book;
class Printer;
class Progress;

enum class PrintOutcome { Sent, Cancelled };

// Prints the whole book as one job: the cover name, then each page's number, date line, time, wrapped text and an
// empty line. Pages stream from the file to the printer one at a time, so a book of any size prints in the same
// memory; the progress counts pages done of pages in the book. A Cancel, declining to say where the printout goes,
// or any failure (which throws), abandons the job and nothing is printed.
PrintOutcome PrintBook(const Book& book, Printer& printer, Progress& progress);

} // namespace dayvell

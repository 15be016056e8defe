// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace dayvell {

class Book;
class Printer;
class PrintJob;
class Progress;
struct PageView;

enum class PrintOutcome { Sent, Cancelled };

// Prints the whole book as one job: the cover name, then each page's number, date line, time, wrapped text and an
// empty line. Pages stream from the file to the printer one at a time, so a book of any size prints in the same
// memory; the progress counts pages done of pages in the book. A Cancel, declining to say where the printout goes,
// or any failure (which throws), abandons the job and nothing is printed.
PrintOutcome PrintBook(const Book& book, Printer& printer, Progress& progress);

// One page as the whole book's print lays it out: its number, date line and time, its text wrapped to the print
// width, and an empty line. Whatever else makes that document (the PDF export) prints its pages with this.
void PrintBookPage(PrintJob& job, const PageView& page);

} // namespace dayvell

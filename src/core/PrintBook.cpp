// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintBook.h"

#include "Book.h"
#include "PrintText.h"
#include "Printer.h"
#include "Progress.h"

#include <string>

namespace dayvell {

void PrintBookPage(PrintJob& job, const PageView& page) {
    job.printLine(std::string(page.number));
    job.printLine(std::string(page.date));
    job.printLine(std::string(page.time));
    PrintWrapped(job, page.text);
    job.printLine({});
}

PrintOutcome PrintBook(const Book& book, Printer& printer, Progress& progress) {
    const std::string coverName = book.readHeader().coverName;
    const std::int64_t pages = book.countPages();

    // The job first: beginning it may ask where the printout goes, which belongs before the progress shows.
    const auto job = printer.begin();
    if (!job)
        return PrintOutcome::Cancelled;
    const auto shown = progress.start("Printing your dayvell, pages printed:", "Print dayvell", pages);
    job->printLine(coverName);
    bool cancelled = !shown->advance(0);
    if (!cancelled) {
        book.forEachPage([&](std::int64_t position, const PageView& page) {
            PrintBookPage(*job, page);
            cancelled = !shown->advance(position);
            return !cancelled;
        });
    }
    if (cancelled)
        return PrintOutcome::Cancelled;
    job->end();
    return PrintOutcome::Sent;
}

} // namespace dayvell

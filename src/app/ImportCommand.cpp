// SPDX-License-Identifier: GPL-3.0-or-later
// dayvell import BOOK.dvl FILE...
#include "Subcommands.h"

#include "core/Charset.h"
#include "core/Import.h"
#include "platform/SystemClock.h"

#include <cstdio>

namespace dayvell::cli {

int Import(const Invocation& call) {
    if (call.arguments.size() < 2)
        throw UsageError{"give the book and at least one file to import"};
    const std::string& path = call.arguments[0];
    Book book = OpenBookForCommand(call, path);

    // Entries with a date and time of their own are stamped as the windows stamp a new page, in the user's locale.
    const SystemClock clock;
    std::vector<ImportedPage> pages;
    for (std::size_t i = 1; i < call.arguments.size(); ++i) {
        const std::string& file = call.arguments[i];
        ImportFile read = NamingFailures(file, [&] { return ReadImportFile(file, clock); });
        pages.insert(pages.end(), std::make_move_iterator(read.pages.begin()),
                     std::make_move_iterator(read.pages.end()));
    }
    OrderByDate(pages);

    // Every page is tried before anything is written.
    const std::int64_t first = NamingFailures(path, [&] { return book.countPages(); }) + 1;
    std::vector<ImportedPage> kept;
    kept.reserve(pages.size());
    for (ImportedPage& page : pages) {
        const std::string problem = StorageProblem(page, book, first + static_cast<std::int64_t>(kept.size()));
        if (problem.empty()) {
            kept.push_back(std::move(page));
            continue;
        }
        const std::string said = Utf8FromCp1252(DescribeImportedPage(page) + ": " + problem);
        if (!call.has("--skip-unstorable"))
            throw Failure{path, said + " Nothing was imported; --skip-unstorable leaves such pages out."};
        std::fprintf(stderr, "dayvell: skipped: %s\n", said.c_str());
    }

    Interruptible progress;
    const ImportResult result = NamingFailures(path, [&] { return ImportPages(book, kept, progress); });
    progress.endIfInterrupted();
    std::printf("%lld %s added to %s\n", static_cast<long long>(result.added), result.added == 1 ? "page" : "pages",
                path.c_str());
    return kSuccess;
}

} // namespace dayvell::cli

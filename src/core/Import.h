// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Book.h"
#include "Clock.h"
#include "FileSystem.h"
#include "RuntimeError.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dayvell {

class Progress;

// A page read from a file to import, as it will be added to the book.
struct ImportedPage {
    // Date line, time and text as the page will hold them (Windows-1252); the number is the book's to give.
    Page page;
    // The file it came from, as it was named (the file system's own bytes), and its place in that file from 1.
    std::string source;
    std::int64_t entry = 0;
    // What the pages are put in order by: "YYYY-MM-DDTHH:MM:SS", or empty where the date could not be read.
    std::string order;
    // Characters of the file that no book can hold, named by their Unicode numbers; the page holds "?" for them.
    std::string unstorable;
};

// What a file to import turned out to be.
enum class ImportKind {
    // The JSON this program exports: its pages keep their date line, time and text byte for byte.
    DayvellJson,
    // The JSON that jrnl exports ("jrnl --export json"): each entry is dated and timed from its date and time, in
    // the form the program stamps new pages with, and its title is the text's first line.
    JrnlJson,
    // Any other file is plain UTF-8 text: one page, dated from the file's modification time.
    PlainText,
};

struct ImportFile {
    ImportKind kind = ImportKind::PlainText;
    std::vector<ImportedPage> pages;
};

// How much a file to import may hold. A file beyond any of these is refused before it can fill the memory.
struct ImportLimits {
    std::uintmax_t fileBytes = std::uintmax_t{256} << 20;
    // One page's text, or any other single value of a JSON file.
    std::size_t textBytes = std::size_t{16} << 20;
    std::size_t entries = 200'000;
    // Nesting of JSON arrays and objects; the formats read need three levels.
    int depth = 16;
};

// A file that cannot be imported: the description names the file and says what is wrong with it.
class ImportError : public RuntimeError {
public:
    ImportError(const std::string& file, const std::string& what);
};

// Reads the file `path` (the file system's own bytes). `clock` stamps the pages that come with a date and time of
// their own (jrnl entries, text files) in the program's form. Throws ImportError for a file that is not one of the
// kinds above or breaks a limit, RuntimeError when it cannot be read.
ImportFile ReadImportFile(const std::string& path, const Clock& clock, const ImportLimits& limits = {},
                          FileSystem& fs = SystemFileSystem());

// Puts the pages of every file read in the order of their dates. The pages of this program's own export keep the
// order they had in their book, which is the order they were written in, even where a date reads earlier than the
// one before it (a clock set back): they are placed by the latest date up to them. Pages of equal dates keep the
// order they were read in.
void OrderByDate(std::vector<ImportedPage>& pages);

// What a book can store: the index of the first character of a field, at `from` or after it, that it cannot hold,
// or npos (Book::firstUnstorable).
using StorageRule = std::function<std::size_t(std::string_view field, std::size_t from)>;
// Why a page cannot be stored as page `number` of a book with `rule`: characters outside the books' character set,
// characters the book's password cannot carry, or control characters its cipher could turn into a quote. Empty
// when it can be stored. Windows-1252, like every text for the windows.
std::string StorageProblem(const ImportedPage& page, const StorageRule& rule, std::int64_t number);
// The same for `book`.
std::string StorageProblem(const ImportedPage& page, const Book& book, std::int64_t number);
// Names a page for a question about it: where it came from, and its date and time.
std::string DescribeImportedPage(const ImportedPage& page);

struct ImportResult {
    bool cancelled = false;
    std::int64_t added = 0;
};

// Adds `pages`, in their order, after the last page of `book`, as one change: under the folder's lock and through
// the scratch file, so that all of them land or none does. The progress counts pages added and may cancel, which
// leaves the book as it was. Throws RuntimeError (UncarriedCharacter for a page the key cannot carry).
ImportResult ImportPages(Book& book, const std::vector<ImportedPage>& pages, Progress& progress);

} // namespace dayvell

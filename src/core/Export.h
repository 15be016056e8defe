// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Book.h"
#include "FileSystem.h"
#include "RuntimeError.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dayvell {

class Progress;

// The open formats a book is exported to. Text goes out as UTF-8; the PDF holds the Windows-1252 text in its
// embedded font.
enum class ExportFormat {
    // Laid out as the printout is: the cover name, then each page's number, date line, time, text wrapped to the
    // print width, and an empty line.
    Text,
    // A heading for the book, then one section per page.
    Markdown,
    // The cover name and every page as stored, with its date and time in ISO 8601 where they can be read;
    // docs/export-json.md describes it.
    Json,
    // One self-contained page for a browser, laid out for reading and for printing.
    Html,
    // The document the whole-book print makes into a PDF file, on the paper of the user's locale.
    Pdf,
};

struct ExportFormatInfo {
    ExportFormat format;
    // The name the command line takes, which is also the usual extension without its dot.
    const char* name;
    const char* extension;
    // What the export window lists.
    const char* title;
    bool available;
};

// Every format, in the order the export window lists them.
std::span<const ExportFormatInfo> ExportFormats();
const ExportFormatInfo& InfoOf(ExportFormat format);
std::optional<ExportFormat> ExportFormatNamed(std::string_view name);

// The value the JSON export writes into its "format" member, and the version of its layout.
inline constexpr std::string_view kJsonExportFormat = "dayvell-export";
inline constexpr int kJsonExportVersion = 1;

// An export asked for that cannot be made: a format not available yet, or a target that would put a book at risk.
// Nothing has been written.
class ExportRefused : public RuntimeError {
public:
    explicit ExportRefused(const std::string& description);
};

enum class ExportOutcome { Written, Cancelled };

// Writes `book` in `format` to the open file `fd` (standard output, say), page by page: memory stays that of one
// page whatever the size of the book. `progress`, when given, counts pages written of pages in the book and may
// cancel; what was written by then stays written. Throws RuntimeError.
ExportOutcome WriteExport(const Book& book, ExportFormat format, int fd, Progress* progress,
                          FileSystem& fs = SystemFileSystem());

// Exports `book` to the file `target`, a path in the file system's own bytes. The export is written under a
// scratch name beside the target, readable by its owner alone, synced and renamed into place: the target holds a
// whole export or what it held before, and a failed or cancelled export leaves nothing behind. An existing target
// is replaced only with Existing::Replace (else error 58); the book itself, a book file (".dvl") and the scratch
// file of books are never a target (ExportRefused).
ExportOutcome ExportBook(const Book& book, ExportFormat format, const std::string& target, Existing existing,
                         Progress& progress, FileSystem& fs = SystemFileSystem());

} // namespace dayvell

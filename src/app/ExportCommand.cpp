// SPDX-License-Identifier: GPL-3.0-or-later
// dayvell export BOOK.dvl --format FORMAT [-o FILE]
#include "Subcommands.h"

#include "core/Export.h"

#include <unistd.h>

namespace dayvell::cli {

namespace {

std::string FormatNames() {
    std::string names;
    for (const ExportFormatInfo& info : ExportFormats())
        names += std::string(names.empty() ? "" : ", ") + info.name;
    return names;
}

} // namespace

int Export(const Invocation& call) {
    if (call.arguments.size() != 1)
        throw UsageError{call.arguments.empty() ? "give the book to export" : "give one book, and its file with -o"};
    const std::optional<std::string> name = call.value("--format");
    if (!name)
        throw UsageError{"give the format with --format (" + FormatNames() + ")"};
    const std::optional<ExportFormat> format = ExportFormatNamed(*name);
    if (!format)
        throw UsageError{"no format is called '" + *name + "' (" + FormatNames() + ")"};
    const std::string& path = call.arguments[0];
    // Said before the password is asked for.
    if (!InfoOf(*format).available)
        throw Failure{path, "the " + std::string(InfoOf(*format).name) +
                                " export is not available in this version of Dayvell yet"};

    const std::optional<std::string> output = call.value("--output");
    // Said before the password is asked for, as a mistake of the command line.
    if (*format == ExportFormat::Pdf && (!output || *output == "-") && ::isatty(STDOUT_FILENO))
        throw UsageError{"a PDF is no text for the terminal: give a file with -o, or redirect standard output"};

    const Book book = OpenBookForCommand(call, path);
    Interruptible progress;
    if (!output || *output == "-") {
        NamingFailures(path, [&] { return WriteExport(book, *format, STDOUT_FILENO, &progress); });
    } else {
        NamingFailures(*output, [&] {
            try {
                return ExportBook(book, *format, *output, call.has("--force") ? Existing::Replace : Existing::Keep,
                                  progress);
            } catch (const RuntimeError& e) {
                if (e.code() != code::FileExists)
                    throw;
                throw Failure{*output, "the file exists; give --force to replace it"};
            }
        });
    }
    progress.endIfInterrupted();
    return kSuccess;
}

} // namespace dayvell::cli

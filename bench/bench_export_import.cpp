// SPDX-License-Identifier: GPL-3.0-or-later
// Export and import on a generated book of 20,000 pages (about 1,500 bytes of text a page), each figure beside its
// physical reference measured in the same run:
//   export (every format, the PDF too)  beside a plain copy of the book file, and beside reading and deciphering
//                          every page;
//   import of 20,000 pages beside appending the same pages through the core (enciphered, written, one fsync).
// Memory: the peak above the resident size before, for 1,000 and for 20,000 pages.
#include "GeneratedBooks.h"
#include "core/Book.h"
#include "core/Codec.h"
#include "core/DateReading.h"
#include "core/Export.h"
#include "core/Import.h"
#include "core/Numbers.h"
#include "core/Progress.h"
#include "core/Record.h"
#include "core/UsEnglishClock.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::bench;
using dayvell::test::UsEnglishClock;

namespace {

void SetBytes(benchmark::State& state, const std::string& path) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

// References.

// A plain copy of the book file, read and written in large blocks, with an fsync: what writing any file of the
// book's size costs at least.
void BM_Reference_CopyBookFile(benchmark::State& state) {
    const std::string& path = GeneratedBook(static_cast<int>(state.range(0)));
    for (auto _ : state)
        CopyAndFsync(path, WorkDir() + "copy.tmp");
    SetBytes(state, path);
}

// Every page read and deciphered: what any export must do before it writes a byte.
void BM_Reference_ReadAndDecipherAll(benchmark::State& state) {
    Book book(GeneratedBook(static_cast<int>(state.range(0))), kKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(DecipherAll(book));
    SetBytes(state, book.path());
}

void BM_Export(benchmark::State& state) {
    const auto format = static_cast<ExportFormat>(state.range(1));
    Book book(GeneratedBook(static_cast<int>(state.range(0))), kKey);
    const std::string target = WorkDir() + "export" + InfoOf(format).extension;
    NoProgress progress;
    for (auto _ : state)
        ExportBook(book, format, target, Existing::Replace, progress);
    state.SetLabel(InfoOf(format).name);
    SetBytes(state, book.path());
    state.counters["output_mb"] = static_cast<double>(std::filesystem::file_size(target)) / (1 << 20);
}

// The JSON export of the generated book, and the same pages as jrnl would export them.
const std::string& OwnJson(int pages) {
    static const std::string path = [pages] {
        const std::string p = WorkDir() + "own.json";
        NoProgress progress;
        ExportBook(Book(GeneratedBook(pages), kKey), ExportFormat::Json, p, Existing::Replace, progress);
        return p;
    }();
    return path;
}

const std::string& JrnlJson(int pages) {
    static const std::string path = [pages] {
        const std::string p = WorkDir() + "jrnl.json";
        std::ofstream out(p, std::ios::binary);
        std::mt19937 rng(7);
        out << "{\"tags\": {}, \"entries\": [\n";
        for (int i = 0; i < pages; ++i) {
            const int day = i % 28 + 1;
            const int month = i / 28 % 12 + 1;
            std::string body = PageText(rng);
            for (std::size_t at; (at = body.find("\r\n")) != std::string::npos;)
                body.replace(at, 2, "\\n");
            char head[128];
            std::snprintf(head, sizeof head,
                          "%s{\"title\": \"Entry %d.\", \"date\": \"%04d-%02d-%02d\", \"time\": "
                          "\"%02d:%02d\", \"tags\": [], \"starred\": false, \"body\": \"",
                          i ? ",\n" : "", i, 2000 + i / 336, month, day, i % 24, i % 60);
            out << head << body << "\"}";
        }
        out << "\n]}\n";
        return p;
    }();
    return path;
}

const std::string& EmptyBook() {
    static const std::string path = [] {
        const std::string p = WorkDir() + "empty.dvl";
        Book::Create(SystemFileSystem(), p, kKey, Book::NewHeader(WorkDir(), "12/10/2026"));
        return p;
    }();
    return path;
}

// What the import adds: the pages of a file, read and ordered.
std::vector<ImportedPage> PagesOf(const std::string& file) {
    UsEnglishClock clock;
    std::vector<ImportedPage> pages = ReadImportFile(file, clock).pages;
    OrderByDate(pages);
    return pages;
}

// Appending the same pages through the core, the least an import can cost: each page enciphered and written after
// the book's last record, and one fsync, into a copy of the empty book.
void BM_Reference_AppendSamePages(benchmark::State& state) {
    const std::vector<ImportedPage> pages = PagesOf(state.range(1) ? JrnlJson(20000) : OwnJson(20000));
    const std::string copy = WorkDir() + "append.dvl";
    for (auto _ : state) {
        std::filesystem::copy_file(EmptyBook(), copy, std::filesystem::copy_options::overwrite_existing);
        const int fd = ::open(copy.c_str(), O_WRONLY | O_APPEND);
        RecordWriter writer(SystemFileSystem(), fd);
        std::int64_t number = 0;
        for (const ImportedPage& p : pages)
            writer.write(RecordView{Encode(PageNumberText(++number), kKey), Encode(p.page.date, kKey),
                                    Encode(p.page.time, kKey), Encode(p.page.text, kKey), kEndMark});
        writer.flush();
        ::fsync(fd);
        ::close(fd);
    }
    state.SetLabel(state.range(1) ? "jrnl pages" : "own pages");
}

// The import's change to the book alone: the pages already read, added in one rewrite.
void BM_ImportPages(benchmark::State& state) {
    const std::vector<ImportedPage> pages = PagesOf(state.range(1) ? JrnlJson(20000) : OwnJson(20000));
    const std::string copy = WorkDir() + "import.dvl";
    NoProgress progress;
    for (auto _ : state) {
        std::filesystem::copy_file(EmptyBook(), copy, std::filesystem::copy_options::overwrite_existing);
        Book book(copy, kKey);
        ImportPages(book, pages, progress);
    }
    state.SetLabel(state.range(1) ? "jrnl pages" : "own pages");
}

// The whole import as the windows and the command line run it: the file read and checked, the pages ordered and
// tried against the key, and added in one rewrite.
void BM_ImportFile(benchmark::State& state) {
    const std::string& file = state.range(1) ? JrnlJson(20000) : OwnJson(20000);
    const std::string copy = WorkDir() + "import.dvl";
    NoProgress progress;
    for (auto _ : state) {
        std::filesystem::copy_file(EmptyBook(), copy, std::filesystem::copy_options::overwrite_existing);
        Book book(copy, kKey);
        std::vector<ImportedPage> pages = PagesOf(file);
        for (std::size_t i = 0; i < pages.size(); ++i)
            benchmark::DoNotOptimize(StorageProblem(pages[i], book, static_cast<std::int64_t>(i + 1)));
        ImportPages(book, pages, progress);
    }
    state.SetLabel(state.range(1) ? "jrnl json" : "own json");
    SetBytes(state, file);
}

// Reading the JSON file alone, through the parser, beside the import.
void BM_ReadImportFile(benchmark::State& state) {
    const std::string& file = state.range(1) ? JrnlJson(20000) : OwnJson(20000);
    UsEnglishClock clock;
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadImportFile(file, clock).pages.size());
    state.SetLabel(state.range(1) ? "jrnl json" : "own json");
    SetBytes(state, file);
}

// Peak memory of an export above the resident size before: pages stream from the book to the file, so this must
// not grow with the book.
void BM_PeakMemoryExport(benchmark::State& state) {
    const auto format = static_cast<ExportFormat>(state.range(1));
    Book book(GeneratedBook(static_cast<int>(state.range(0))), kKey);
    const std::string target = WorkDir() + "peak" + InfoOf(format).extension;
    NoProgress progress;
    long peakAbove = 0;
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = StatusKb("VmRSS:");
        ExportBook(book, format, target, Existing::Replace, progress);
        peakAbove = std::max(peakAbove, StatusKb("VmHWM:") - before);
    }
    state.SetLabel(InfoOf(format).name);
    state.counters["peak_kb_above_start"] = static_cast<double>(peakAbove);
}

void ExportFormats(benchmark::internal::Benchmark* b) {
    for (int format : {0, 1, 2, 3, 4})
        b->Args({20000, format});
}

void MemoryCases(benchmark::internal::Benchmark* b) {
    for (int pages : {1000, 20000})
        for (int format : {0, 2, 3, 4})
            b->Args({pages, format});
}

} // namespace

BENCHMARK(BM_Reference_CopyBookFile)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_ReadAndDecipherAll)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export)->Apply(ExportFormats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_AppendSamePages)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportPages)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadImportFile)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportFile)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakMemoryExport)->Apply(MemoryCases)->Iterations(2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

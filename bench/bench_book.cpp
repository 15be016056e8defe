// SPDX-License-Identifier: GPL-3.0-or-later
// Book storage on generated books of 1,000 and 20,000 pages (about 1,500 bytes of text a page; 200,000 for what
// must cost the same on any book), each figure beside a physical reference measured in the same run: a memchr scan
// of the same bytes, a plain copy plus fsync, and an append of the same record plus fsync.
#include "GeneratedBooks.h"
#include "core/Book.h"
#include "core/Codec.h"
#include "core/Numbers.h"
#include "core/Record.h"
#include "core/Search.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::bench;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void SetBytes(benchmark::State& state, const std::string& path) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

// References.

// memchr over the bytes already in memory: the fastest any scan of the book can be.
void BM_Reference_MemchrInMemory(benchmark::State& state) {
    const std::string bytes = Slurp(GeneratedBook(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        size_t lines = 0;
        const char* p = bytes.data();
        const char* end = p + bytes.size();
        while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) != nullptr) {
            ++lines;
            ++p;
        }
        benchmark::DoNotOptimize(lines);
    }
    SetBytes(state, GeneratedBook(static_cast<int>(state.range(0))));
}

// Reading the file from the page cache and scanning it with memchr: the floor for any operation that opens the
// book and looks at every byte.
void BM_Reference_ReadAndMemchr(benchmark::State& state) {
    const std::string path = GeneratedBook(static_cast<int>(state.range(0)));
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_RDONLY);
        size_t lines = 0;
        ssize_t n;
        while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
            const char* p = buffer.data();
            const char* end = p + n;
            while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) != nullptr) {
                ++lines;
                ++p;
            }
        }
        ::close(fd);
        benchmark::DoNotOptimize(lines);
    }
    SetBytes(state, path);
}

// A plain copy of the book to another file plus fsync: the floor for a rewrite.
void BM_Reference_CopyAndFsync(benchmark::State& state) {
    const std::string path = GeneratedBook(static_cast<int>(state.range(0)));
    const std::string copy = WorkDir() + "copy.tmp";
    for (auto _ : state) {
        CopyAndFsync(path, copy);
        ::rename(copy.c_str(), (copy + "2").c_str());
    }
    SetBytes(state, path);
}

// Operations.

void BM_OpenCheckPassword(benchmark::State& state) {
    Book book(GeneratedBook(static_cast<int>(state.range(0))), kKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(book.checkPassword());
}

void BM_CountPages(benchmark::State& state) {
    Book book(GeneratedBook(static_cast<int>(state.range(0))), kKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(book.countPages());
    SetBytes(state, book.path());
}

void BM_ReadLastPage(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Book book(GeneratedBook(n), kKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(book.readPage(n));
    SetBytes(state, book.path());
}

// What a search does: every page read and deciphered.
void BM_DecodeAllPages(benchmark::State& state) {
    Book book(GeneratedBook(static_cast<int>(state.range(0))), kKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(DecipherAll(book));
    SetBytes(state, book.path());
}

// A save: two different pages in turn, so that every one is really appended (the same page twice in a row is found
// already there and only synced).
void BM_AppendPage(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Book book(CopyOfBook(n, "append.dvl"), kKey);
    std::mt19937 rng(1);
    const Page pages[] = {{PageNumberText(n + 1), "Thursday, 12/10/2026", "1:46:33 PM", PageText(rng)},
                          {PageNumberText(n + 1), "Thursday, 12/10/2026", "1:46:34 PM", PageText(rng)}};
    std::size_t i = 0;
    for (auto _ : state)
        book.appendPage(pages[i++ % 2]);
}

// The save's physical reference: the same record's bytes appended to a book of the same size and synced, with the
// file opened and closed as a save does.
void BM_Reference_AppendAndFsync(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string path = CopyOfBook(n, "append-reference.dvl");
    std::mt19937 rng(1);
    std::string record;
    AppendRecord(record, {Encode(PageNumberText(n + 1), kKey), Encode("Thursday, 12/10/2026", kKey),
                          Encode("1:46:33 PM", kKey), Encode(PageText(rng), kKey), "_"});
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        if (fd < 0 || ::write(fd, record.data(), record.size()) != static_cast<ssize_t>(record.size()) ||
            ::fsync(fd) != 0)
            state.SkipWithError("append failed");
        ::close(fd);
    }
}

// What the new-page window counts on every activation: the last page's number, from the end of the book.
void BM_CountPagesAtEnd(benchmark::State& state) {
    Book book(GeneratedBook(static_cast<int>(state.range(0))), kKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(book.pageCountAtEnd());
}

void BM_ReplacePage(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Book book(CopyOfBook(n, "replace.dvl"), kKey);
    std::mt19937 rng(2);
    const std::string text = PageText(rng);
    for (auto _ : state)
        book.replacePage(PageNumberText(n / 2), text);
    SetBytes(state, book.path());
}

const char* SearchWord(int64_t which) {
    return which == 0 ? "rarewordxyz" : "the";
}

// The search's reference: grep -ci in the C locale over the same pages deciphered into a plain text file.
void BM_Reference_GrepCi(benchmark::State& state) {
    const std::string& plain = PlainTextOf(static_cast<int>(state.range(0)));
    for (auto _ : state)
        if (!GrepCi(SearchWord(state.range(1)), plain))
            state.SkipWithError("grep could not run");
}

// Range 1: 0 searches a word on few pages, 1 a word on every page.
void BM_Search(benchmark::State& state) {
    Book book(GeneratedBook(static_cast<int>(state.range(0))), kKey);
    int64_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        SearchBook(book, SearchWord(state.range(1)), [&](const std::string&) { ++matches; });
    }
    state.counters["matches"] = static_cast<double>(matches);
    SetBytes(state, book.path());
}

// Peak memory while counting and then reading every page of the book, above the resident size before: the reader
// streams, so this must not grow with the book. The kernel's peak is reset first (clear_refs 5).
void BM_PeakMemoryCountAndReadAll(benchmark::State& state) {
    Book book(GeneratedBook(static_cast<int>(state.range(0))), kKey);
    long peakAbove = 0;
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = StatusKb("VmRSS:");
        benchmark::DoNotOptimize(book.countPages());
        size_t total = 0;
        book.forEachPage([&](std::int64_t, const PageView& r) {
            total += PageOf(r).text.size();
            return true;
        });
        benchmark::DoNotOptimize(total);
        peakAbove = std::max(peakAbove, StatusKb("VmHWM:") - before);
    }
    state.counters["peak_kb_above_start"] = static_cast<double>(peakAbove);
}

} // namespace

// A book with one page of 64 MB, read by a disk (or network file system, or pipe) that hands out 64 KiB per read:
// the reader must go on parsing where the last read stopped, not from the page's start after every read.
class ShortReads : public FileSystem {
public:
    ssize_t read(int fd, void* buffer, size_t size) override {
        return FileSystem::read(fd, buffer, std::min<size_t>(size, 64 << 10));
    }
};

const std::string& HugePageBook() {
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "dayvell-bench-huge.dvl").string();
        std::filesystem::remove(p);
        Book::Create(SystemFileSystem(), p, kKey, Book::NewHeader("/tmp/", "1/1/2027"));
        Book(p, kKey).appendPage({"", "Friday, 1/1/2027", "1:00:00 PM", std::string(64 << 20, 'a')});
        return p;
    }();
    return path;
}

// The same file read in 64 KiB pieces into fresh memory of its size, then scanned with memchr: the floor for any
// reader that must hold the whole record (its pages are faulted in as they are filled, as the reader's are).
void BM_Reference_HugePageReadIn64KiBAndMemchr(benchmark::State& state) {
    const std::string& path = HugePageBook();
    const size_t size = std::filesystem::file_size(path);
    for (auto _ : state) {
        std::unique_ptr<char[]> buffer(new char[size]);
        int fd = ::open(path.c_str(), O_RDONLY);
        size_t filled = 0;
        ssize_t n;
        while ((n = ::read(fd, buffer.get() + filled, std::min<size_t>(64 << 10, size - filled))) > 0)
            filled += static_cast<size_t>(n);
        ::close(fd);
        size_t quotes = 0;
        for (const char* p = buffer.get();
             (p = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(buffer.get() + filled - p)))) !=
             nullptr;
             ++p)
            ++quotes;
        benchmark::DoNotOptimize(quotes);
    }
    SetBytes(state, path);
}

void BM_HugePageCountPagesIn64KiBReads(benchmark::State& state) {
    const std::string& path = HugePageBook();
    ShortReads fs;
    for (auto _ : state)
        benchmark::DoNotOptimize(Book(path, kKey, fs).countPages());
    SetBytes(state, path);
}

BENCHMARK(BM_Reference_HugePageReadIn64KiBAndMemchr)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HugePageCountPagesIn64KiBReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_MemchrInMemory)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reference_ReadAndMemchr)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reference_CopyAndFsync)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCheckPassword)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountPages)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadLastPage)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeAllPages)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reference_AppendAndFsync)->Arg(1000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppendPage)->Arg(1000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountPagesAtEnd)->Arg(1000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplacePage)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_GrepCi)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakMemoryCountAndReadAll)->Arg(20000)->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

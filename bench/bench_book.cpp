// SPDX-License-Identifier: GPL-3.0-or-later
// Book storage on generated books of 1,000 and 20,000 pages (about 1,500 bytes of text a page), each figure beside
// a physical reference measured in the same run: a memchr scan of the same bytes, and a plain copy plus fsync.
#include "core/Book.h"
#include "core/Codec.h"
#include "core/Numbers.h"
#include "core/Search.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <unistd.h>

using namespace dayvell;

namespace {

constexpr const char* kKey = "Secret99";

std::string WorkDir() {
    static const std::string dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "dayvell-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(WorkDir(), ec);
        });
        return pattern + "/";
    }();
    return dir;
}

std::string PageText(std::mt19937& rng) {
    static const char* words[] = {"the", "day",   "was",  "long",   "and",   "we",      "walked",
                                  "to",  "town",  "rain", "later",  "I",     "thought", "of",
                                  "you", "again", "work", "dinner", "quiet", "evening"};
    std::string text;
    while (text.size() < 1500) {
        text += words[rng() % std::size(words)];
        text += (rng() % 12 == 0) ? "\r\n" : " ";
    }
    return text;
}

// Builds the book once per size; later calls return its path.
std::string BookOf(int pages) {
    static std::map<int, std::string> made;
    auto it = made.find(pages);
    if (it != made.end())
        return it->second;
    const std::string path = WorkDir() + "b" + std::to_string(pages) + ".dvl";
    std::mt19937 rng(pages);
    std::string bytes = FormatRecord({Encode(kCheckPhrase, kKey), Encode(WorkDir(), kKey), Encode("My Dayvell", kKey),
                                      Encode("12/10/2026", kKey), Encode(kNewBookFlags, kKey)});
    for (int i = 1; i <= pages; ++i) {
        std::string text = PageText(rng);
        if (i % 5000 == 0)
            text += " rarewordxyz";
        AppendRecord(bytes, {Encode(PageNumberText(i), kKey), Encode("Thursday, 12/10/2026", kKey),
                             Encode("1:46:33 PM", kKey), Encode(text, kKey), "_"});
    }
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    made[pages] = path;
    return path;
}

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
    const std::string bytes = Slurp(BookOf(static_cast<int>(state.range(0))));
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
    SetBytes(state, BookOf(static_cast<int>(state.range(0))));
}

// Reading the file from the page cache and scanning it with memchr: the floor for any operation that opens the
// book and looks at every byte.
void BM_Reference_ReadAndMemchr(benchmark::State& state) {
    const std::string path = BookOf(static_cast<int>(state.range(0)));
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
    const std::string path = BookOf(static_cast<int>(state.range(0)));
    const std::string copy = WorkDir() + "copy.tmp";
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        int in = ::open(path.c_str(), O_RDONLY);
        int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ssize_t n;
        while ((n = ::read(in, buffer.data(), buffer.size())) > 0)
            if (::write(out, buffer.data(), static_cast<size_t>(n)) != n)
                std::abort();
        ::fsync(out);
        ::close(out);
        ::close(in);
        ::rename(copy.c_str(), (copy + "2").c_str());
    }
    SetBytes(state, path);
}

// Operations.

void BM_OpenCheckPassword(benchmark::State& state) {
    Book book(BookOf(static_cast<int>(state.range(0))), kKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(book.checkPassword());
}

void BM_CountPages(benchmark::State& state) {
    Book book(BookOf(static_cast<int>(state.range(0))), kKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(book.countPages());
    SetBytes(state, book.path());
}

void BM_ReadLastPage(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Book book(BookOf(n), kKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(book.readPage(n));
    SetBytes(state, book.path());
}

// What a search does: every page read and deciphered.
void BM_DecodeAllPages(benchmark::State& state) {
    Book book(BookOf(static_cast<int>(state.range(0))), kKey);
    for (auto _ : state) {
        size_t total = 0;
        book.forEachRecord([&](std::int64_t, const Record& r) {
            total += book.decodePage(r).text.size();
            return true;
        });
        benchmark::DoNotOptimize(total);
    }
    SetBytes(state, book.path());
}

// Works on a copy so the generated book stays as it is for the other benchmarks.
std::string CopyOfBook(int pages, const std::string& name) {
    const std::string copy = WorkDir() + name;
    std::filesystem::copy_file(BookOf(pages), copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
}

void BM_AppendPage(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Book book(CopyOfBook(n, "append.dvl"), kKey);
    std::mt19937 rng(1);
    const Page page{PageNumberText(n + 1), "Thursday, 12/10/2026", "1:46:33 PM", PageText(rng)};
    for (auto _ : state)
        book.appendPage(page);
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

// The search's reference: grep -ci in the C locale over the same pages deciphered into a plain text file, one page
// a line (its line breaks made blanks), so that grep counts matching pages as the search does.
std::string PlainTextOf(int pages) {
    const std::string plain = WorkDir() + "plain" + std::to_string(pages) + ".txt";
    if (!std::filesystem::exists(plain)) {
        Book book(BookOf(pages), kKey);
        std::ofstream out(plain, std::ios::binary);
        book.forEachRecord([&](std::int64_t, const Record& r) {
            Page p = book.decodePage(r);
            std::string line = p.number + p.date + p.time + p.text;
            for (char& ch : line)
                if (ch == '\r' || ch == '\n')
                    ch = ' ';
            out << line << '\n';
            return true;
        });
    }
    return plain;
}

const char* SearchWord(int64_t which) {
    return which == 0 ? "rarewordxyz" : "the";
}

void BM_Reference_GrepCi(benchmark::State& state) {
    const std::string plain = PlainTextOf(static_cast<int>(state.range(0)));
    const std::string command =
        std::string("LC_ALL=C grep -ci ") + SearchWord(state.range(1)) + " " + plain + " > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0 && state.range(1) != 0)
            state.SkipWithError("grep failed");
}

// Range 1: 0 searches a word on few pages, 1 a word on every page.
void BM_Search(benchmark::State& state) {
    Book book(BookOf(static_cast<int>(state.range(0))), kKey);
    int64_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        SearchBook(book, SearchWord(state.range(1)), [&](const std::string&) { ++matches; });
    }
    state.counters["matches"] = static_cast<double>(matches);
    SetBytes(state, book.path());
}

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    return -1;
}

// Peak memory while counting and then reading every page of the book, above the resident size before: the reader
// streams, so this must not grow with the book. The kernel's peak is reset first (clear_refs 5).
void BM_PeakMemoryCountAndReadAll(benchmark::State& state) {
    Book book(BookOf(static_cast<int>(state.range(0))), kKey);
    long peakAbove = 0;
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = StatusKb("VmRSS:");
        benchmark::DoNotOptimize(book.countPages());
        size_t total = 0;
        book.forEachRecord([&](std::int64_t, const Record& r) {
            total += book.decodePage(r).text.size();
            return true;
        });
        benchmark::DoNotOptimize(total);
        peakAbove = std::max(peakAbove, StatusKb("VmHWM:") - before);
    }
    state.counters["peak_kb_above_start"] = static_cast<double>(peakAbove);
}

} // namespace

BENCHMARK(BM_Reference_MemchrInMemory)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reference_ReadAndMemchr)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reference_CopyAndFsync)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCheckPassword)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountPages)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadLastPage)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeAllPages)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppendPage)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplacePage)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_GrepCi)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakMemoryCountAndReadAll)->Arg(20000)->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

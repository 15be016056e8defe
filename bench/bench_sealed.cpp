// SPDX-License-Identifier: GPL-3.0-or-later
// Sealed books. The password hash at candidate limits, to choose the production limits (about half a second here,
// never under 64 MiB): its CPU column is the process's CPU time, which on a busy machine is the figure an idle one
// would show as wall time; beside it, the physical floor of any such hash, touching the same memory once. Then
// sealing and opening records beside memcpy of the same bytes, and the operations of a sealed book of 1 and 20,000
// pages (about 1,500 bytes of text a page) beside a plain read of the same file. Last, every operation of a book
// through Book on the generated 20,000-page book in both kinds, in one run: the described file, and the same book
// sealed (by converting a copy of it) under the production limits, beside the hash alone and a copy plus fsync.
#include "GeneratedBooks.h"
#include "core/Book.h"
#include "core/Numbers.h"
#include "core/SealedKeys.h"
#include "core/SealedRecords.h"
#include "core/Search.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <unistd.h>
#include <vector>

using namespace dayvell;
using namespace dayvell::bench;
using namespace dayvell::sealed;

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

// Password hash.

void BM_Argon2id(benchmark::State& state) {
    KeySlot slot;
    slot.kdf = {static_cast<std::uint64_t>(state.range(0)), static_cast<std::uint64_t>(state.range(1)) * kMiB};
    for (auto _ : state)
        benchmark::DoNotOptimize(detail::DeriveKey("correct horse battery staple", slot));
    state.SetLabel(std::to_string(state.range(0)) + " passes, " + std::to_string(state.range(1)) + " MiB");
}

// Writing every byte of the same memory once, freshly mapped as the hash's is: no hash of that memory can be
// faster.
void BM_Reference_TouchMemory(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0)) * kMiB;
    for (auto _ : state) {
        std::unique_ptr<char[]> memory(new char[size]);
        std::memset(memory.get(), 1, size);
        benchmark::DoNotOptimize(memory.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}

// One record.

// The book every benchmark below works on; its password is checked with the weakest limits, which no benchmark
// here measures.
const NewBook& Book() {
    static const NewBook book = MakeBook("correct horse", KdfLimits::WeakForTests(1, kMinMemlimit));
    return book;
}
const SealedHead& Head() {
    return Book().head;
}
const SecureBytes& Key() {
    return Book().key;
}

void BM_Reference_Memcpy(benchmark::State& state) {
    const std::string text(static_cast<std::size_t>(state.range(0)), 'x');
    std::string copy(text.size(), '\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), text.data(), text.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_SealRecord(benchmark::State& state) {
    const std::string text(static_cast<std::size_t>(state.range(0)), 'x');
    std::string out;
    for (auto _ : state) {
        out.clear();
        AppendSealedRecord(out, Head(), Key(), RecordKind::Page, 1, {" 1", "", "", text, "_"});
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// Sealed books on disk.

std::string SealedBookOf(int pages) {
    static std::map<int, std::string> made;
    if (auto it = made.find(pages); it != made.end())
        return it->second;
    const std::string path = WorkDir() + "s" + std::to_string(pages) + ".dvl";
    std::mt19937 rng(static_cast<unsigned>(pages));
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    SealedWriter writer(SystemFileSystem(), fd, Head(), Key());
    writer.writeHeader({WorkDir(), "My Dayvell", "12/10/2026", "0000000"});
    for (int i = 1; i <= pages; ++i) {
        const std::string number = PageNumberText(i);
        const std::string text = PageText(rng);
        writer.writePage({number, "Thursday, 12/10/2026", "1:46:33 PM", text, "_"});
    }
    writer.finish();
    ::close(fd);
    return made[pages] = path;
}

void SetFileBytes(benchmark::State& state, const std::string& path) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// Reading the whole file from the page cache: the floor for any operation that looks at every page.
void BM_Reference_ReadFile(benchmark::State& state) {
    const std::string path = SealedBookOf(static_cast<int>(state.range(0)));
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        while (::read(fd, buffer.data(), buffer.size()) > 0)
            benchmark::DoNotOptimize(buffer.data());
        ::close(fd);
    }
    SetFileBytes(state, path);
}

// Opens the generated book of `state.range(0)` pages once per iteration, as every operation does, and hands `read` a
// reader at its start.
template <class Read> void ReadEachTime(benchmark::State& state, Read read) {
    const std::string path = SealedBookOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
        const SealedHead head = ReadSealedHead(SystemFileSystem(), in.fd());
        SealedReader reader(SystemFileSystem(), in.fd(), head, Key());
        read(reader);
    }
}

void BM_SealedReadAllPages(benchmark::State& state) {
    ReadEachTime(state, [](SealedReader& reader) {
        benchmark::DoNotOptimize(reader.readHeader().folder.data());
        SealedPage page;
        while (reader.nextPage(page))
            benchmark::DoNotOptimize(page.text.data());
    });
    SetFileBytes(state, SealedBookOf(static_cast<int>(state.range(0))));
}

// The tally's count, and no page past its end to step over.
void BM_SealedCountPages(benchmark::State& state) {
    ReadEachTime(state, [](SealedReader& reader) {
        reader.skipToTallyEnd();
        while (reader.skipPage()) {
        }
        benchmark::DoNotOptimize(reader.position());
    });
}

// Stepping over every page but the last and opening that, as the viewer does.
void BM_SealedReadLastPage(benchmark::State& state) {
    ReadEachTime(state, [](SealedReader& reader) {
        const auto last = reader.tally().tally.pages;
        for (std::uint64_t i = 1; i < last; ++i)
            reader.skipPage();
        SealedPage page;
        reader.nextPage(page);
        benchmark::DoNotOptimize(page.text.data());
    });
}

// Each append grows the copy by one page; the figure must not depend on the pages already there. Includes the
// two syncs, so the reference is one write of the same size and one sync.
void BM_SealedAppendPage(benchmark::State& state) {
    const std::string source = SealedBookOf(static_cast<int>(state.range(0)));
    const std::string path = WorkDir() + "append.dvl";
    std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
    std::mt19937 rng(1);
    const std::string text = PageText(rng);
    const int fd = ::open(path.c_str(), O_RDWR);
    const SealedHead head = ReadSealedHead(SystemFileSystem(), fd);
    for (auto _ : state) {
        SealedAppender appender(SystemFileSystem(), fd, head, Key());
        const std::string number = PageNumberText(appender.nextPosition());
        appender.append({number, "Thursday, 12/10/2026", "1:46:33 PM", text, "_"});
    }
    ::close(fd);
}

// A password change re-wraps the book key in place: two small writes and two syncs, whatever the book's size.
// The password hash is at its weakest here, so the figure is the change's own.
void BM_SealedChangePassword(benchmark::State& state) {
    const std::string source = SealedBookOf(static_cast<int>(state.range(0)));
    const std::string path = WorkDir() + "password.dvl";
    std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
    const int fd = ::open(path.c_str(), O_RDWR);
    for (auto _ : state) {
        const SealedHead head = ReadSealedHead(SystemFileSystem(), fd);
        ChangePassword(SystemFileSystem(), fd, head, Key(), "another passphrase",
                       KdfLimits::WeakForTests(1, kMinMemlimit));
    }
    ::close(fd);
}

void BM_Reference_WriteAndFsync(benchmark::State& state) {
    const std::string path = WorkDir() + "write.tmp";
    const std::string bytes(1600, 'x');
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    for (auto _ : state) {
        benchmark::DoNotOptimize(::write(fd, bytes.data(), bytes.size()));
        ::fsync(fd);
    }
    ::close(fd);
}

// One book, both kinds, through Book. Range 0: 0 the described book, 1 the same book sealed.

constexpr int kBookPages = 20000;
constexpr const char* kPassphrase = "correct horse battery staple";

const char* PasswordOf(std::int64_t kind) {
    return kind == 0 ? kKey : kPassphrase;
}

// The generated book (GeneratedBooks.h) converted once into a sealed book under the production limits.
const std::string& SealedGeneratedBook() {
    static const std::string path = [] {
        const std::string sealedPath = CopyOfBook(kBookPages, "sealed-generated.dvl");
        dayvell::Book(sealedPath, kKey).changePassword(kPassphrase, BookKind::Sealed);
        return sealedPath;
    }();
    return path;
}

const std::string& BookOfKind(std::int64_t kind) {
    return kind == 0 ? GeneratedBook(kBookPages) : SealedGeneratedBook();
}

// A copy of the book of `kind` to change.
std::string CopyOfKind(std::int64_t kind, const std::string& name) {
    const std::string copy = WorkDir() + name;
    std::filesystem::copy_file(BookOfKind(kind), copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
}

void Label(benchmark::State& state) {
    state.SetLabel(state.range(0) == 0 ? "described" : "sealed");
}

// Opening as the password prompt does: a sealed book runs the hash, its kept key forgotten as when a book closes.
void BM_Book_OpenCheckPassword(benchmark::State& state) {
    const dayvell::Book book(BookOfKind(state.range(0)), PasswordOf(state.range(0)));
    for (auto _ : state) {
        ForgetKeys();
        if (!book.checkPassword())
            state.SkipWithError("the password does not open the book");
    }
    Label(state);
}

void BM_Book_CountPages(benchmark::State& state) {
    const dayvell::Book book(BookOfKind(state.range(0)), PasswordOf(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(book.countPages());
    Label(state);
}

void BM_Book_ReadLastPage(benchmark::State& state) {
    const dayvell::Book book(BookOfKind(state.range(0)), PasswordOf(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(book.readPage(kBookPages));
    Label(state);
}

// Range 1: 0 a word on four pages, 1 a word on every page.
void BM_Book_Search(benchmark::State& state) {
    const dayvell::Book book(BookOfKind(state.range(0)), PasswordOf(state.range(0)));
    std::int64_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        SearchBook(book, state.range(1) == 0 ? "rarewordxyz" : "the", [&](const std::string&) { ++matches; });
    }
    state.counters["matches"] = static_cast<double>(matches);
    state.SetLabel(std::string(state.range(0) == 0 ? "described" : "sealed") +
                   (state.range(1) == 0 ? ", rare word" : ", common word"));
}

// Two different pages in turn, so that every one is really appended.
void BM_Book_AppendPage(benchmark::State& state) {
    dayvell::Book book(CopyOfKind(state.range(0), "append-kind.dvl"), PasswordOf(state.range(0)));
    std::mt19937 rng(1);
    const Page pages[] = {{{}, "Thursday, 12/10/2026", "1:46:33 PM", PageText(rng)},
                          {{}, "Thursday, 12/10/2026", "1:46:34 PM", PageText(rng)}};
    std::size_t i = 0;
    for (auto _ : state)
        book.appendPage(pages[i++ % 2]);
    Label(state);
}

void BM_Book_ReplacePage(benchmark::State& state) {
    dayvell::Book book(CopyOfKind(state.range(0), "replace-kind.dvl"), PasswordOf(state.range(0)));
    std::mt19937 rng(2);
    const std::string text = PageText(rng);
    for (auto _ : state)
        book.replacePage(PageNumberText(kBookPages / 2), text);
    Label(state);
}

// To a new password and back in turn, the kind kept: the described book enciphered anew through the scratch file,
// the sealed one's key wrapped anew in place under the production limits (one hash a change).
void BM_Book_ChangePassword(benchmark::State& state) {
    const std::int64_t kind = state.range(0);
    dayvell::Book book(CopyOfKind(kind, "password-kind.dvl"), PasswordOf(kind));
    const std::string passwords[] = {kind == 0 ? "Other123" : "another passphrase", PasswordOf(kind)};
    std::size_t i = 0;
    for (auto _ : state)
        book.changePassword(passwords[i++ % 2]);
    Label(state);
}

// The book converted into the other kind, from a fresh copy each time: described to sealed (one hash for the new
// book's slot), sealed to described.
void BM_Book_Convert(benchmark::State& state) {
    const std::int64_t kind = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        dayvell::Book book(CopyOfKind(kind, "convert-kind.dvl"), PasswordOf(kind));
        state.ResumeTiming();
        book.changePassword(PasswordOf(1 - kind), kind == 0 ? BookKind::Sealed : BookKind::Described);
    }
    state.SetLabel(kind == 0 ? "described to sealed" : "sealed to described");
}

// A plain copy of the book of that kind plus fsync: the floor for a rewrite.
void BM_Reference_CopyKindAndFsync(benchmark::State& state) {
    const std::string copy = WorkDir() + "copy-kind.tmp";
    for (auto _ : state)
        CopyAndFsync(BookOfKind(state.range(0)), copy);
    Label(state);
}

void HashCandidates(benchmark::internal::Benchmark* b) {
    for (const auto& [ops, mib] : std::vector<std::pair<int, int>>{
             {2, 64}, {3, 64}, {4, 64}, {6, 64}, {2, 128}, {3, 128}, {4, 128}, {1, 256}, {2, 256}, {3, 256}})
        b->Args({ops, mib});
}

} // namespace

BENCHMARK(BM_Reference_TouchMemory)->Arg(64)->Arg(128)->Arg(256)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Argon2id)
    ->Apply(HashCandidates)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_Memcpy)->Arg(1500)->Arg(1 << 20)->Arg(64 << 20);
BENCHMARK(BM_SealRecord)->Arg(1500)->Arg(1 << 20)->Arg(64 << 20);
BENCHMARK(BM_Reference_ReadFile)->Arg(1)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SealedReadAllPages)->Arg(1)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SealedCountPages)->Arg(1)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SealedReadLastPage)->Arg(1)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reference_WriteAndFsync)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SealedAppendPage)->Arg(1)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SealedChangePassword)->Arg(1)->Arg(20000)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_Reference_CopyKindAndFsync)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Book_OpenCheckPassword)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Book_CountPages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Book_ReadLastPage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Book_Search)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Book_AppendPage)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Book_ReplacePage)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Book_ChangePassword)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Book_Convert)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

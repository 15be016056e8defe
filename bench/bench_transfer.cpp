// SPDX-License-Identifier: GPL-3.0-or-later
// Changing the password, copying and moving the 20,000-page book, each beside a plain copy of the same file plus
// fsync measured in the same run: the floor for anything that writes the whole book anew.
#include "GeneratedBooks.h"
#include "core/Book.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

using namespace dayvell;
using namespace dayvell::bench;

namespace {

constexpr int kPages = 20000;

void SetBytes(benchmark::State& state, const std::string& path) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

// A fresh folder in the work directory; ends in '/'.
std::string Folder(const std::string& name) {
    const std::string dir = WorkDir() + name + "/";
    std::filesystem::create_directories(dir);
    return dir;
}

// Reads the book and writes it to a file beside the target, fsyncs it and renames it into place.
void BM_Reference_CopyAndFsync(benchmark::State& state) {
    const std::string path = GeneratedBook(kPages);
    const std::string dir = Folder("reference");
    for (auto _ : state) {
        CopyAndFsync(path, dir + "copy.tmp");
        ::rename((dir + "copy.tmp").c_str(), (dir + "copy.dvl").c_str());
    }
    SetBytes(state, path);
}

// Every field deciphered under the old key, tried and enciphered under the new one, written through the scratch
// file; the keys take turns so that every round changes the whole book.
void BM_ChangePassword(benchmark::State& state) {
    Book book(CopyOfBook(kPages, "password.dvl"), kKey);
    const std::string keys[] = {"Other123", kKey};
    int turn = 0;
    for (auto _ : state)
        book.changePassword(keys[turn++ % 2]);
    SetBytes(state, book.path());
}

void BM_Copy(benchmark::State& state) {
    Book book(CopyOfBook(kPages, "copied.dvl"), kKey);
    const std::string target = Folder("backups");
    for (auto _ : state)
        book.copyTo(target, Existing::Replace, Transfer::Copy);
    SetBytes(state, book.path());
}

// Back and forth between two folders: each round writes the book into the other and removes it from this one.
void BM_Move(benchmark::State& state) {
    const std::string here = Folder("here"), there = Folder("there");
    std::filesystem::remove(there + "moved.dvl"); // where an earlier run of this benchmark may have left it
    std::filesystem::rename(CopyOfBook(kPages, "moved.dvl"), here + "moved.dvl");
    Book book(here + "moved.dvl", kKey);
    int turn = 0;
    for (auto _ : state)
        book.copyTo(turn++ % 2 ? here : there, Existing::Keep, Transfer::Move);
    SetBytes(state, book.path());
}

} // namespace

BENCHMARK(BM_Reference_CopyAndFsync)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangePassword)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Move)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

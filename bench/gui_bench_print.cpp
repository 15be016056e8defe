// SPDX-License-Identifier: GPL-3.0-or-later
// Printing the whole book to a PDF file, on books of 2,000 and 20,000 pages: pages a second and the peak memory of
// the process while it prints, which must not grow with the book. Beside it, measured in the same run: a plain
// copy of the book file plus fsync, and reading and deciphering every page with its text wrapped for print (all
// the printing does except drawing).
#include "GeneratedBooks.h"
#include "core/Book.h"
#include "core/Dialogs.h"
#include "core/PrintBook.h"
#include "core/PrintText.h"
#include "core/Progress.h"
#include "platform/QtPrinter.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::bench;

namespace {

// The progress of a task nobody watches: it always goes on.
class Unwatched : public Progress {
    struct Task : ProgressTask {
        bool advance(std::int64_t) override { return true; }
    };

public:
    std::unique_ptr<ProgressTask> start(const std::string&, const std::string&, std::int64_t) override {
        return std::make_unique<Task>();
    }
};

// Boxes nobody reads: a PDF printout with no printer asks none, so none is expected.
class Unread : public Dialogs {
public:
    Answer message(const std::string&, const std::string&, Buttons, Icon, std::optional<Answer>) override {
        return Answer::Ok;
    }
    std::string input(const std::string&, const std::string&) override { return {}; }
};

// A /proc/self/status figure in megabytes ("VmHWM", the peak resident set; "VmRSS", the current one).
double StatusMB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0)
            return std::stod(line.substr(key.size() + 1)) / 1024.0;
    }
    return -1;
}

// Starts the peak resident set afresh from the current one, so that each run's peak is its own.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_PrintBookToPdf(benchmark::State& state) {
    const int pages = int(state.range(0));
    const std::string& path = GeneratedBook(pages);
    const std::string pdf = WorkDir() + "book" + std::to_string(pages) + ".pdf";
    Unread dialogs;
    QtPrinter printer(
        dialogs, [] { return PrinterStatus{}; }, [&] { return QString::fromStdString(pdf); });
    Unwatched progress;
    double before = 0, peak = 0;
    for (auto _ : state) {
        before = StatusMB("VmRSS");
        ResetPeak();
        const Book book(path, kKey);
        if (PrintBook(book, printer, progress) != PrintOutcome::Sent)
            state.SkipWithError("the print did not end");
        peak = StatusMB("VmHWM");
    }
    state.counters["pages_per_s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["rss_before_MB"] = before;
    state.counters["peak_rss_MB"] = peak;
    state.counters["peak_growth_MB"] = peak - before;
    state.counters["book_MB"] = double(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
    state.counters["pdf_MB"] = double(std::filesystem::file_size(pdf)) / (1024.0 * 1024.0);
}

// Reference: a plain copy of the book file to another file, plus fsync.
void BM_Reference_CopyAndFsync(benchmark::State& state) {
    const int pages = int(state.range(0));
    const std::string& path = GeneratedBook(pages);
    const std::string copy = WorkDir() + "copy" + std::to_string(pages) + ".dvl";
    for (auto _ : state) {
        std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
        const int fd = ::open(copy.c_str(), O_WRONLY);
        ::fsync(fd);
        ::close(fd);
    }
    state.counters["pages_per_s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsIterationInvariantRate);
}

// Reference: every page read, deciphered and wrapped for print, nothing drawn.
void BM_Reference_DecipherAndWrap(benchmark::State& state) {
    const int pages = int(state.range(0));
    const Book book(GeneratedBook(pages), kKey);
    for (auto _ : state) {
        std::size_t bytes = 0;
        book.forEachPage([&](std::int64_t, const PageView& record) {
            const Page page = PageOf(record);
            bytes += page.number.size() + page.date.size() + page.time.size() + WrapForPrint(page.text).size();
            return true;
        });
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["pages_per_s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_Reference_CopyAndFsync)->Arg(2000)->Arg(20000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_DecipherAndWrap)->Arg(2000)->Arg(20000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintBookToPdf)->Arg(2000)->Arg(20000)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // Printing to a file needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

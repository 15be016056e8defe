// SPDX-License-Identifier: GPL-3.0-or-later
// Printing the whole book to a PDF file, on books of 2,000 and 20,000 pages: pages a second, CPU time, and the peak
// memory of the process while it prints, which must not grow with the book. Beside it, measured in the same run:
//   cups-filters' texttopdf, the tool a user would pick to make a PDF of a text, run as CUPS runs a filter on the
//     very text the print lays out (the plain-text export of the same book), its CPU time taken from the child;
//   reading and deciphering every page, the least any printout costs;
//   reading and deciphering every page with its text wrapped for print (all the printing does except drawing);
//   a plain copy of the book file plus fsync.
// The machine is shared: run with --benchmark_repetitions=5 and compare the medians, CPU time ("cpu_s") first.
#include "GeneratedBooks.h"
#include "core/Book.h"
#include "core/Dialogs.h"
#include "core/Export.h"
#include "core/PrintBook.h"
#include "core/PrintText.h"
#include "core/Progress.h"
#include "platform/QtPrinter.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// The CPU time, user and system, this process has used so far, in seconds.
double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_PrintBookToPdf(benchmark::State& state) {
    const int pages = int(state.range(0));
    const std::string& path = GeneratedBook(pages);
    const std::string pdf = WorkDir() + "book" + std::to_string(pages) + ".pdf";
    Unread dialogs;
    QtPrinter printer(
        dialogs, [] { return PrinterStatus{}; }, [&] { return QString::fromStdString(pdf); });
    Unwatched progress;
    double before = 0, peak = 0, cpu = 0;
    for (auto _ : state) {
        before = StatusMB("VmRSS");
        ResetPeak();
        const double cpuBefore = CpuSeconds();
        const Book book(path, kKey);
        if (PrintBook(book, printer, progress) != PrintOutcome::Sent)
            state.SkipWithError("the print did not end");
        cpu += CpuSeconds() - cpuBefore;
        peak = StatusMB("VmHWM");
    }
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
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

// The text the whole-book print lays out, as UTF-8: the plain-text export of the book, which is that print line for
// line. Made once per size.
const std::string& PrintedText(int pages) {
    static std::map<int, std::string> made;
    if (const auto it = made.find(pages); it != made.end())
        return it->second;
    const std::string text = WorkDir() + "printed" + std::to_string(pages) + ".txt";
    NoProgress progress;
    ExportBook(Book(GeneratedBook(pages), kKey), ExportFormat::Text, text, Existing::Replace, progress);
    return made[pages] = text;
}

constexpr const char* kTexttopdf = "/usr/lib/cups/filter/texttopdf";

// Reference: cups-filters' texttopdf on the same text, called as the CUPS scheduler calls a filter (printer name,
// job, user, title, copies, options, file; the scheduler's environment), its PDF written to a file. Its wall time,
// and its CPU time as the kernel counts it for the child.
void BM_Reference_Texttopdf(benchmark::State& state) {
    const int pages = int(state.range(0));
    if (::access(kTexttopdf, X_OK) != 0) {
        state.SkipWithError("texttopdf is missing (package cups-filters)");
        return;
    }
    const std::string text = PrintedText(pages);
    const std::string pdf = WorkDir() + "texttopdf" + std::to_string(pages) + ".pdf";
    std::vector<std::string> arguments = {"dayvell-bench", "1", "user", "dayvell", "1", "", text};
    std::vector<std::string> environment = {"PATH=/usr/bin:/bin",
                                            "LANG=C.UTF-8",
                                            "CHARSET=utf-8",
                                            "CONTENT_TYPE=text/plain",
                                            "FINAL_CONTENT_TYPE=application/pdf",
                                            "CUPS_DATADIR=/usr/share/cups",
                                            "CUPS_SERVERBIN=/usr/lib/cups",
                                            "CUPS_SERVERROOT=/etc/cups",
                                            "PRINTER=dayvell-bench",
                                            "TMPDIR=" + WorkDir()};
    std::vector<char*> argv, envp;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    double cpu = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, pdf.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t child = 0;
        const int spawned = posix_spawn(&child, kTexttopdf, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        rusage usage{};
        if (spawned != 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("texttopdf failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpu += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    state.counters["pages_per_s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["text_MB"] = double(std::filesystem::file_size(text)) / (1024.0 * 1024.0);
    state.counters["pdf_MB"] = double(std::filesystem::file_size(pdf)) / (1024.0 * 1024.0);
}

// Reference: every page read and deciphered, nothing else.
void BM_Reference_ReadAndDecipher(benchmark::State& state) {
    const int pages = int(state.range(0));
    const Book book(GeneratedBook(pages), kKey);
    double cpu = 0;
    for (auto _ : state) {
        const double cpuBefore = CpuSeconds();
        benchmark::DoNotOptimize(DecipherAll(book));
        cpu += CpuSeconds() - cpuBefore;
    }
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
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
BENCHMARK(BM_Reference_ReadAndDecipher)->Arg(2000)->Arg(20000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_DecipherAndWrap)->Arg(2000)->Arg(20000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_Texttopdf)->Arg(2000)->Arg(20000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
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

// SPDX-License-Identifier: GPL-3.0-or-later
// The page windows' handlers on a generated book of 20,000 pages (about 1,500 bytes of text a page, 30 MB), run
// on real windows under the offscreen platform. Each window figure stands beside what core alone takes for the
// same work, and the search beside grep -ci over the same pages deciphered into a plain text file, all measured in
// the same run.
#include "GeneratedBooks.h"
#include "core/Book.h"
#include "core/Codec.h"
#include "core/Dialogs.h"
#include "core/Numbers.h"
#include "core/PageCounter.h"
#include "core/Printer.h"
#include "core/Progress.h"
#include "core/Record.h"
#include "core/RuntimeError.h"
#include "core/Search.h"
#include "core/SharedState.h"
#include "platform/Disks.h"
#include "platform/Services.h"
#include "platform/SystemClock.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"
#include "screens/NewPageWindow.h"
#include "screens/PageViewerWindow.h"
#include "screens/SearchWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::bench;

namespace {

constexpr int kPages = 20000;

// The book every benchmark starts from; "rarewordxyz" is on every 5,000th page.
const std::string& Book20000() {
    return GeneratedBook(kPages);
}

// A copy for the benchmarks that change the book, so that the others see it as built; returns its file name.
std::string Copy(const std::string& name) {
    CopyOfBook(kPages, name);
    return name;
}

// Boxes are answered at once, and counted: a benchmark that meets one has met an error.
class SilentDialogs : public Dialogs {
public:
    Answer message(const std::string&, const std::string&, Buttons buttons, Icon, std::optional<Answer>) override {
        ++shown;
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::string input(const std::string&, const std::string&) override {
        ++shown;
        return {};
    }
    int shown = 0;
};

class NoPrinter : public Printer {
public:
    std::unique_ptr<PrintJob> begin() override { throw RuntimeError(code::PrinterError); }
};

class NoProgress : public Progress {
public:
    std::unique_ptr<ProgressTask> start(const std::string&, const std::string&, std::int64_t) override {
        throw RuntimeError(code::PrinterError);
    }
};

// The services of one benchmark, with `bookname` open in the work directory.
struct Bench {
    explicit Bench(const std::string& bookname) {
        state.bookdir = WorkDir();
        state.bookname = bookname;
        state.password = kKey;
        state.covername = "My Dayvell";
        state.secflags = "0000000";
    }
    SharedState state;
    SilentDialogs dialogs;
    SystemClock clock;
    SystemDisks disks;
    NoPrinter printer;
    NoProgress progress;
    WindowSystem windows{[] {}};
    Services services{windows, dialogs, clock, disks, printer, progress, state};
};

// The windows with their activation in reach, as the window system runs it.
struct Viewer : PageViewerWindow {
    using PageViewerWindow::Form_Activate;
    using PageViewerWindow::PageViewerWindow;
};
struct NewPage : NewPageWindow {
    using NewPageWindow::Form_Activate;
    using NewPageWindow::NewPageWindow;
};

void FailOnBox(benchmark::State& state, const SilentDialogs& dialogs) {
    if (dialogs.shown != 0)
        state.SkipWithError("a message box was shown");
}

const char* SearchWord(int64_t which) {
    return which == 0 ? "rarewordxyz" : "the";
}

// References: core alone.

void BM_Core_CountAndReadLastPage(benchmark::State& state) {
    Book book(Book20000(), kKey);
    for (auto _ : state) {
        benchmark::DoNotOptimize(book.countPages());
        benchmark::DoNotOptimize(book.readPageOrLast(kPages));
    }
}

void BM_Core_Search(benchmark::State& state) {
    Book book(Book20000(), kKey);
    int64_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        SearchBook(book, SearchWord(state.range(0)), [&](const std::string&) { ++matches; });
    }
    state.counters["matches"] = static_cast<double>(matches);
}

// grep -ci in the C locale over the pages deciphered into a plain text file, one page a line (its line breaks
// made blanks), so that grep counts matching pages as the search does.
void BM_Reference_GrepCi(benchmark::State& state) {
    const std::string& plain = PlainTextOf(kPages);
    for (auto _ : state)
        if (!GrepCi(SearchWord(state.range(0)), plain))
            state.SkipWithError("grep could not run");
}

// The windows.

// Opening the viewer from the cover: its activation counts the pages and reads and shows the last page.
void BM_Viewer_Activation(benchmark::State& state) {
    Bench b(Copy("view.dvl"));
    Viewer viewer(b.services);
    for (auto _ : state)
        viewer.Form_Activate();
    FailOnBox(state, b.dialogs);
}

// Jump to the last page: the worst page read, without the count.
void BM_Viewer_JumpToLastPage(benchmark::State& state) {
    Bench b(Copy("view.dvl"));
    Viewer viewer(b.services);
    viewer.Form_Activate();
    viewer.findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QString::number(kPages));
    for (auto _ : state)
        viewer.Command8_Click();
    FailOnBox(state, b.dialogs);
}

// Begin search, the list filled with the result lines: a few, or one for each of the 20,000 pages.
void BM_Search_BeginSearch(benchmark::State& state) {
    Bench b(Copy("search.dvl"));
    SearchWindow window(b.services);
    window.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QString::fromLatin1(SearchWord(state.range(0))));
    auto* list = window.findChild<QListWidget*>(QStringLiteral("List1"));
    for (auto _ : state)
        window.Command2_Click();
    state.counters["lines"] = list->count();
    FailOnBox(state, b.dialogs);
}

// Save and Exit's writing: the text checked for characters that cannot be stored, then one record appended.
void BM_NewPage_Save(benchmark::State& state) {
    Bench b(Copy("append.dvl"));
    NewPage window(b.services);
    window.Form_Activate();
    std::mt19937 rng(1);
    window.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->setPlainText(EditorTextFromPage(PageText(rng)));
    for (auto _ : state)
        if (!window.savepage())
            state.SkipWithError("not saved");
    FailOnBox(state, b.dialogs);
}

// Saving an edited page in the middle of the book: the whole book rewritten through the scratch file.
void BM_Viewer_SaveEditedPage(benchmark::State& state) {
    Bench b(Copy("replace.dvl"));
    Viewer viewer(b.services);
    viewer.Form_Activate();
    viewer.findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QString::number(kPages / 2));
    viewer.Command8_Click();
    viewer.editpage_Click();
    std::mt19937 rng(2);
    viewer.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->setPlainText(EditorTextFromPage(PageText(rng)));
    for (auto _ : state)
        if (!viewer.replacepage())
            state.SkipWithError("not saved");
    FailOnBox(state, b.dialogs);
}

// One key typed into a long page in edit mode: the save button and the hint about characters that cannot be
// stored follow every keystroke. Range: the page's length in characters, in lines of 80.
void BM_Viewer_TypeOneKey(benchmark::State& state) {
    Bench b(Copy("type.dvl"));
    Viewer viewer(b.services);
    viewer.Form_Activate();
    viewer.editpage_Click();
    auto* text = viewer.findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
    QString page;
    while (page.size() < state.range(0))
        page += QString(79, QLatin1Char('a')) + QLatin1Char('\n');
    text->setPlainText(page);
    text->moveCursor(QTextCursor::End);
    for (auto _ : state) {
        QTest::keyClick(text, Qt::Key_B);
        QTest::keyClick(text, Qt::Key_Backspace);
    }
    state.SetItemsProcessed(2 * static_cast<int64_t>(state.iterations()));
    FailOnBox(state, b.dialogs);
}

} // namespace

BENCHMARK(BM_Core_CountAndReadLastPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Viewer_Activation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Viewer_JumpToLastPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_GrepCi)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Core_Search)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search_BeginSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewPage_Save)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Viewer_SaveEditedPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Viewer_TypeOneKey)->Arg(1500)->Arg(100000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    // Real windows, but nothing on screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    if (::benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}

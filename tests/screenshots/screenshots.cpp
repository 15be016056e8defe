// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the main windows for the README, taken from the real windows on the offscreen platform over a small
// sample book, with the clock and locale fixed so that the pictures change only when the windows do.
// Usage: dayvell_screenshots OUTPUT-FOLDER (scripts/screenshots runs it).
#include "gui/GuiTest.h"
#include "gui/PageSteps.h"

#include "platform/ProgramIdentity.h"
#include "screens/Windows.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>

namespace {

using namespace dayvell;

// Answers every box as a user who goes on would, so that no box stops the pictures.
class GoingOnDialogs : public Dialogs {
public:
    Answer message(const std::string&, const std::string&, Buttons buttons, Icon, std::optional<Answer>) override {
        return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::No : Answer::Ok;
    }
    std::string input(const std::string&, const std::string&) override { return {}; }
};

bool Picture(QWidget* window, const QString& file) {
    test::settle();
    if (!window || !window->grab().save(file)) {
        std::fprintf(stderr, "could not take %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    IdentifyProgram();

    test::TestServices t;
    GoingOnDialogs dialogs;
    Services services{t.windows, dialogs, t.clock, t.disks, t.printer, t.progress, t.state};
    RegisterWindows(services);
    const test::Diary diary(
        {test::StampedPage(1, "Moved the desk to the window today. The light is better for writing."),
         test::StampedPage(2, "Rain all morning, then a long walk by the river.\r\nSaw the first heron of the year."),
         test::StampedPage(3, "Finished the book about lighthouses. Started planning the trip in May.")},
        "0000000", "Days of 2026");

    bool ok = Picture(t.windows.show(QStringLiteral("form1")), out.filePath(QStringLiteral("start.png")));
    t.windows.unloadAll();

    diary.open(t.state);
    ok = Picture(t.windows.show(QStringLiteral("Form5")), out.filePath(QStringLiteral("cover.png"))) && ok;

    ProgramWindow* page = t.windows.show(QStringLiteral("Form2"));
    test::settle();
    if (auto* text = page ? page->findChild<QPlainTextEdit*>(QStringLiteral("Text1")) : nullptr)
        text->setPlainText(QStringLiteral("A quiet Saturday. Wrote letters and mended the garden gate."));
    ok = Picture(page, out.filePath(QStringLiteral("new-page.png"))) && ok;
    t.windows.unload(QStringLiteral("Form2"));

    t.state.gotopage = 2;
    ok = Picture(t.windows.show(QStringLiteral("Form7")), out.filePath(QStringLiteral("viewer.png"))) && ok;
    t.windows.unload(QStringLiteral("Form7"));

    ProgramWindow* search = t.windows.show(QStringLiteral("Form8"));
    test::settle();
    if (search) {
        if (auto* text = search->findChild<QLineEdit*>(QStringLiteral("Text1")))
            text->setText(QStringLiteral("the"));
        if (auto* begin = search->findChild<QPushButton*>(QStringLiteral("Command2")))
            begin->click();
    }
    ok = Picture(search, out.filePath(QStringLiteral("search.png"))) && ok;
    t.windows.unloadAll();
    test::settle();
    return ok ? 0 : 1;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "core/FileSystem.h"
#include "core/SecureMemory.h"
#include "core/SharedState.h"
#include "platform/Disks.h"
#include "platform/ProgramIdentity.h"
#include "platform/QtDialogs.h"
#include "platform/QtPrinter.h"
#include "platform/QtProgress.h"
#include "platform/Services.h"
#include "platform/SystemClock.h"
#include "platform/WindowSystem.h"
#include "screens/BookFromOutside.h"
#include "screens/Windows.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

void DescribeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Keeps a diary in books protected by a password.\n\n"
                       "Subcommands for scripts, each with its own --help:\n"
                       "  dayvell export BOOK.dvl --format txt|md|json|html|pdf [-o FILE]\n"
                       "  dayvell import BOOK.dvl FILE...\n"
                       "  dayvell search BOOK.dvl WORD\n"
                       "  dayvell count BOOK.dvl\n"
                       "  dayvell password BOOK.dvl [--seal | --unseal]"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("book"), QStringLiteral("A book file (.dvl) to open."),
                                 QStringLiteral("[book]"));
}

bool AsksOnlyForInformation(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "--help-all", "-?", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

// Whether the toolkit has a display to open the windows on. Without one it would abort the program with a core dump
// and a page about plugins; a person at a terminal, or a script that meant a subcommand, is told in one line instead.
// A platform chosen on the command line, or one that needs no display (offscreen, vnc ...), is left to the toolkit.
bool DisplayAvailable(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return true;
    }
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (!chosen || !*chosen)
        return set("DISPLAY") || set("WAYLAND_DISPLAY");
    // A list of platforms to try in turn, each with its own options after a colon.
    for (const QString& entry : QString::fromLocal8Bit(chosen).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString platform = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (platform == QLatin1String("xcb")                ? set("DISPLAY")
            : platform.startsWith(QLatin1String("wayland")) ? set("WAYLAND_DISPLAY")
                                                            : true)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    // No core dump for the whole run, not only while a book is open: a password is typed into the toolkit's own
    // buffers before any book opens, and the pages shown and the texts typed stay in freed memory after a book
    // closes, out of reach of any wiping. A crash at any moment would write them to the disk in the clear.
    std::optional<dayvell::NoCoreDumps> noCoreDumps;
    try {
        noCoreDumps.emplace();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dayvell: core dumps cannot be turned off (%s); no book is opened without that.\n",
                     e.what());
        return 1;
    }
    // The subcommands for scripts go first: they never touch the window system.
    if (const std::optional<int> status = dayvell::cli::RunSubcommand(argc, argv))
        return *status;

    dayvell::NameProgram();
    // Help and version are answered on a terminal without a display, as packaging tools and users over ssh ask.
    if (AsksOnlyForInformation(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCommandLineParser parser;
        DescribeCommandLine(parser);
        // The toolkit's own options (-style, -platform) are unknown here and may stand beside the question.
        parser.parse(QCoreApplication::arguments());
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        parser.showHelp(0);
    }

    if (!DisplayAvailable(argc, argv)) {
        std::fputs("dayvell: there is no display to open the windows on (DISPLAY is not set). The subcommands for "
                   "scripts need none: see dayvell --help.\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    dayvell::IdentifyProgram();
    // The window system ends the program when its last window is unloaded, not when one is merely hidden.
    app.setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    DescribeCommandLine(parser);
    parser.process(app);
    const QStringList books = parser.positionalArguments();
    if (books.size() > 1) {
        std::fputs("dayvell: give at most one book to open.\n", stderr);
        return 1;
    }

    dayvell::SharedState state;
    dayvell::SystemClock clock;
    dayvell::SystemDisks disks;
    dayvell::WindowSystem windows([] { QCoreApplication::quit(); });
    dayvell::QtDialogs dialogs(windows);
    dayvell::QtPrinter printer(dialogs);
    dayvell::QtProgress progress(windows);
    // A change that finds its folder busy with another running copy of the program says so while it waits.
    dayvell::SystemFileSystem().showWaitingWith(&progress);
    dayvell::Services services{windows, dialogs, clock, disks, printer, progress, state};
    dayvell::RegisterWindows(services);

    windows.show(QStringLiteral("form1"));
    if (!books.isEmpty()) {
        // Queued behind the start window's activation, which puts the program directory where the book's goes.
        QMetaObject::invokeMethod(
            &app, [&services, book = books.front()] { dayvell::OpenBookFromOutside(services, book); },
            Qt::QueuedConnection);
    }
    return app.exec();
}

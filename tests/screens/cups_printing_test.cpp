// SPDX-License-Identifier: GPL-3.0-or-later
// Printing as a desktop does it: through a CUPS scheduler to the default queue. The test runs a scheduler of its own
// in a private folder (configuration, socket, spool, logs), so no system service is touched and nothing is installed
// in /etc; the queue writes what it receives to a file, whose text is read back with pdftotext.
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"
#include "gui/PdfText.h"

#include "core/Book.h"
#include "core/Numbers.h"
#include "core/PrintText.h"
#include "core/TempDir.h"
#include "platform/QtPrinter.h"
#include "screens/Windows.h"

#include <QPrinterInfo>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace dayvell::test {
namespace {

namespace fs = std::filesystem;

// The PDF printer of cups-filters: the document reaches the queue's file as PDF, after the usual filter chain.
const char* const kPdfDriver = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";
const char* const kQueue = "dayvell-test";

struct ToolRun {
    int status = -1;
    QString output;
};

ToolRun RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    // The administration tools live in sbin, which an ordinary user's search path may leave out.
    const QString found = QStandardPaths::findExecutable(program, {"/usr/sbin", "/usr/bin", "/sbin", "/bin"});
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(found.isEmpty() ? program : found, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("%1 did not finish").arg(program)};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A CUPS scheduler running in a private folder for as long as the object lives.
class PrivateScheduler {
public:
    PrivateScheduler() = default;
    ~PrivateScheduler() {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(10000)) {
                m_cupsd.kill();
                m_cupsd.waitForFinished();
            }
        }
    }
    PrivateScheduler(const PrivateScheduler&) = delete;
    PrivateScheduler& operator=(const PrivateScheduler&) = delete;

    // Stops the scheduler, as a desktop whose printing service is not running has none.
    void stop() {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000)) {
            m_cupsd.kill();
            m_cupsd.waitForFinished();
        }
    }

    // Starts the scheduler; the empty text when it runs, else why it cannot.
    QString start() {
        const QString cupsd = QStandardPaths::findExecutable(QStringLiteral("cupsd"), {"/usr/sbin", "/sbin"});
        if (cupsd.isEmpty())
            return QStringLiteral("cupsd is not installed (package cups)");
        for (const char* tool :
             {"lpadmin", "lpstat", "pdftotext", "cupsdisable", "cupsenable", "cupsreject", "cupsaccept"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool), {"/usr/sbin", "/usr/bin"}).isEmpty())
                return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
        }
        if (!fs::exists(kPdfDriver))
            return QStringLiteral("%1 is missing (package cups-filters)").arg(QString::fromLatin1(kPdfDriver));

        // The scheduler drops to the "lp" user for filters when it runs as root: they must reach the folder.
        fs::permissions(m_root.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
        for (const char* sub : {"etc", "etc/ppd", "state", "cache", "spool", "log", "out", "home"})
            fs::create_directories(m_root.path() / sub);
        fs::create_directories(m_root.path() / "tmp");
        fs::create_directories(m_root.path() / "saved");
        fs::permissions(m_root.path() / "tmp", fs::perms::all | fs::perms::sticky_bit);
        fs::permissions(m_root.path() / "out", fs::perms::all | fs::perms::sticky_bit);

        const std::string root = m_root.path().string();
        WriteText(m_root.path() / "etc/cupsd.conf", "Listen " + socket() +
                                                        "\nLogLevel info\nBrowsing No\nWebInterface No\n"
                                                        "DefaultAuthType None\n"
                                                        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                                        "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                                        "  </Limit>\n</Policy>\n");
        WriteText(m_root.path() / "etc/cups-files.conf",
                  "ServerRoot " + root + "/etc\nStateDir " + root + "/state\nCacheDir " + root +
                      "/cache\nRequestRoot " + root + "/spool\nTempDir " + root + "/tmp\nAccessLog " + root +
                      "/log/access_log\nErrorLog " + root + "/log/error_log\nPageLog " + root +
                      "/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\nFileDevice Yes\n");

        // This process and the tools it starts talk to the private scheduler only, and no user or system default
        // printer setting can stand in for the test's own.
        qputenv("CUPS_SERVER", QByteArray::fromStdString(socket()));
        qputenv("CUPS_SERVERROOT", QByteArray::fromStdString(root + "/etc"));
        qputenv("HOME", QByteArray::fromStdString(root + "/home"));
        qunsetenv("LPDEST");
        qunsetenv("PRINTER");

        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(cupsd,
                      {QStringLiteral("-f"), QStringLiteral("-c"), QString::fromStdString(root + "/etc/cupsd.conf"),
                       QStringLiteral("-s"), QString::fromStdString(root + "/etc/cups-files.conf")});
        if (!m_cupsd.waitForStarted(10000))
            return QStringLiteral("cupsd could not be started: %1").arg(m_cupsd.errorString());
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            if (m_cupsd.state() == QProcess::NotRunning)
                return QStringLiteral("cupsd ended at once: %1 %2")
                    .arg(QString::fromLocal8Bit(m_cupsd.readAll()), log());
            if (RunTool(QStringLiteral("lpstat"), {QStringLiteral("-r")}).output.contains(QLatin1String("is running")))
                return {};
            QThread::msleep(100);
        }
        return QStringLiteral("cupsd did not answer: %1").arg(log());
    }

    // Adds the queue whose output is the file `printed()`, and makes it the default printer.
    ToolRun addDefaultQueue() {
        ToolRun added =
            RunTool(QStringLiteral("lpadmin"),
                    {QStringLiteral("-p"), QString::fromLatin1(kQueue), QStringLiteral("-E"), QStringLiteral("-v"),
                     QStringLiteral("file://") + QString::fromStdString(printed().string()), QStringLiteral("-P"),
                     QString::fromLatin1(kPdfDriver)});
        if (added.status != 0)
            return added;
        return RunTool(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QString::fromLatin1(kQueue)});
    }

    fs::path printed() const { return m_root.path() / "out" / "printed.pdf"; }
    // Where a printout goes that is saved as a PDF file instead.
    fs::path saved() const { return m_root.path() / "saved" / "page.pdf"; }

    struct Printout {
        QString text;
        int sheets = 0;
    };

    // Waits until every job has left the queue, then reads what the queue wrote and removes the file, so that the
    // next job is read on its own. An empty printout when nothing arrived.
    Printout takePrinted() {
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            const ToolRun pending =
                RunTool(QStringLiteral("lpstat"), {QStringLiteral("-o"), QString::fromLatin1(kQueue)});
            if (pending.status == 0 && pending.output.trimmed().isEmpty())
                break;
            QThread::msleep(100);
        }
        if (!fs::exists(printed()))
            return {};
        const QString file = QString::fromStdString(printed().string());
        Printout printout;
        const ToolRun text = RunTool(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
        printout.text = text.status == 0 ? text.output : QStringLiteral("pdftotext failed: ") + text.output;
        for (const QString& line : RunTool(QStringLiteral("pdfinfo"), {file}).output.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("Pages:")))
                printout.sheets = line.mid(6).trimmed().toInt();
        }
        fs::remove(printed());
        return printout;
    }

    QString log() const {
        QFile file(QString::fromStdString((m_root.path() / "log/error_log").string()));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll().right(2000)) : QString();
    }

private:
    std::string socket() const { return (m_root.path() / "cups.sock").string(); }

    TempDir m_root;
    QProcess m_cupsd;
};

// One scheduler for all tests of this file: starting one takes a moment, and the queue is emptied between jobs.
class CupsPrintingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scheduler = std::make_unique<PrivateScheduler>();
        whyNot = scheduler->start();
        if (whyNot.isEmpty()) {
            const ToolRun queue = scheduler->addDefaultQueue();
            if (queue.status != 0)
                queueError = queue.output + scheduler->log();
        }
    }
    static void TearDownTestSuite() { scheduler.reset(); }

    void SetUp() override {
        if (!whyNot.isEmpty())
            GTEST_SKIP() << "No CUPS scheduler can run here, so printing through CUPS is not tested: "
                         << whyNot.toStdString();
        ASSERT_TRUE(queueError.isEmpty()) << "The test's queue could not be set up: " << queueError.toStdString();
        RegisterWindows(services);
    }

    // The lines that reached the queue. pdftotext ends each sheet with a form feed and keeps neither leading nor
    // repeated blanks, so lines are compared with their blanks simplified and empty lines left out.
    static std::string Lines(const QString& text) {
        QStringList lines;
        for (const QString& line :
             QString(text).replace(QLatin1Char('\f'), QLatin1Char('\n')).split(QLatin1Char('\n'))) {
            if (!line.trimmed().isEmpty())
                lines << line.simplified();
        }
        return lines.join(QLatin1Char('\n')).toStdString();
    }

    // The windows get the printer port the program itself uses.
    static inline std::unique_ptr<PrivateScheduler> scheduler;
    static inline QString whyNot;
    static inline QString queueError;

    TestServices t;
    QtPrinter printer{t.dialogs};
    Services services{t.windows, t.dialogs, t.clock, t.disks, printer, t.progress, t.state};
};

TEST_F(CupsPrintingTest, ThePagePrintedFromTheViewerReachesTheDefaultQueue) {
    ASSERT_EQ(QPrinterInfo::defaultPrinterName(), QString::fromLatin1(kQueue));
    const std::vector<Page> pages = {
        {PageNumberText(1), "Monday, 11/2/2026", "9:00:01 AM", "The first page stays at home."},
        {PageNumberText(2), "Tuesday, 11/3/2026", "9:00:02 AM",
         "Rain all morning, " + std::string(70, 'w') + " and then sun\r\nA second line"},
    };
    Diary diary(pages);
    diary.open(t.state);
    t.state.gotopage = 2;
    t.windows.show(QStringLiteral("Form7"));
    waitUntilActive(t.windows, QStringLiteral("Form7"));

    t.dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Ok, "Printer check");
    trigger(t.windows.window(QStringLiteral("Form7")), QStringLiteral("printpage"));
    EXPECT_TRUE(t.dialogs.allAnswered());

    // The long line is broken at its last space within 90 characters, as the wrapped printing lays it out.
    const PrivateScheduler::Printout printout = scheduler->takePrinted();
    EXPECT_EQ(Lines(printout.text), "Days of 2026\nTuesday, 11/3/2026 9:00:02 AM\n2 of 2\nRain all morning, " +
                                        std::string(70, 'w') + "\nand then sun\nA second line");
    EXPECT_EQ(printout.sheets, 1);
}

// The whole book printed from the cover window as one job: the cover name, then for each page its number, date,
// time, wrapped text and an empty line. Long enough to need several sheets.
TEST_F(CupsPrintingTest, AWholeBookReachesTheQueueAsOneJobOverSeveralSheets) {
    std::vector<Page> pages;
    for (int n = 1; n <= 40; ++n)
        pages.push_back({PageNumberText(n), "Monday, 11/2/2026", "9:00:01 AM",
                         "Entry number " + std::to_string(n) + " of the diary.\r\nIt has a second line."});
    Diary diary(pages, "0000000", "A year in pages");
    diary.open(t.state);

    t.windows.show(QStringLiteral("Form5"));
    waitUntilActive(t.windows, QStringLiteral("Form5"));

    t.dialogs
        .expectMessage("This will print your entire dayvell, it could take a while, depending on dayvell size.",
                       Answer::Ok, "Print dayvell?")
        .expectInput("Please enter your password.", kDiaryPassword, "Password required.")
        .expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Ok, "Printer check");
    trigger(t.windows.window(QStringLiteral("Form5")), QStringLiteral("printbook"));
    EXPECT_TRUE(t.dialogs.allAnswered());

    QStringList expected{QStringLiteral("A year in pages")};
    for (int n = 1; n <= 40; ++n) {
        expected << QStringLiteral("%1").arg(n) << QStringLiteral("Monday, 11/2/2026") << QStringLiteral("9:00:01 AM")
                 << QStringLiteral("Entry number %1 of the diary.").arg(n) << QStringLiteral("It has a second line.");
    }
    const PrivateScheduler::Printout printout = scheduler->takePrinted();
    EXPECT_EQ(Lines(printout.text), expected.join(QLatin1Char('\n')).toStdString());
    EXPECT_GT(printout.sheets, 1);
}

// What the viewer prints of a page, through CUPS or into a PDF file, as the lines pdftotext reads.
const std::vector<Page> kOnePage = {
    {PageNumberText(1), "Monday, 11/2/2026", "9:00:01 AM", "A page for a printer that holds its jobs."},
};

// A run of tabs reaches far to the right on paper; the text after it reaches the queue all the same.
TEST_F(CupsPrintingTest, TextAfterARunOfTabsReachesTheQueue) {
    Diary diary({{PageNumberText(1), "Monday, 11/2/2026", "9:00:01 AM",
                  std::string(30, '\t') + "|TABEND3\r\n\tindented\tand on"}});
    diary.open(t.state);
    t.windows.show(QStringLiteral("Form7"));
    waitUntilActive(t.windows, QStringLiteral("Form7"));
    t.dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Ok, "Printer check");
    trigger(t.windows.window(QStringLiteral("Form7")), QStringLiteral("printpage"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    // pdftotext reads the far right of a sheet after its left: the words are compared, not their order.
    QStringList words =
        scheduler->takePrinted().text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    words.sort();
    QStringList expected{"Days", "of", "2026", "Monday,",  "11/2/2026", "9:00:01", "AM",
                         "1",    "of", "1",    "|TABEND3", "indented",  "and",     "on"};
    expected.sort();
    EXPECT_EQ(words, expected);
}

// A paused printer takes the job and holds it: the user is told it waits, and it prints once the printer resumes.
TEST_F(CupsPrintingTest, APrintoutSentToAPausedPrinterIsSaidToWaitAndPrintsWhenItResumes) {
    ASSERT_EQ(RunTool(QStringLiteral("cupsdisable"), {QString::fromLatin1(kQueue)}).status, 0);
    Diary diary(kOnePage);
    diary.open(t.state);
    t.windows.show(QStringLiteral("Form7"));
    waitUntilActive(t.windows, QStringLiteral("Form7"));
    t.dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Ok, "Printer check");
    t.dialogs.expectMessage("Your printout is waiting in the queue of the printer \"dayvell-test\", which is paused. "
                            "It will print once the printer is resumed.",
                            Answer::Ok, "Printer");
    trigger(t.windows.window(QStringLiteral("Form7")), QStringLiteral("printpage"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_FALSE(RunTool(QStringLiteral("lpstat"), {QStringLiteral("-o"), QString::fromLatin1(kQueue)})
                     .output.trimmed()
                     .isEmpty())
        << "the job waits in the queue";

    ASSERT_EQ(RunTool(QStringLiteral("cupsenable"), {QString::fromLatin1(kQueue)}).status, 0);
    EXPECT_EQ(Lines(scheduler->takePrinted().text),
              "Days of 2026\nMonday, 11/2/2026 9:00:01 AM\n1 of 1\nA page for a printer that holds its jobs.");
}

// A printer that refuses jobs, or no scheduler at all: the user is told what is wrong before the PDF file is
// offered, and the page goes into the file, never to the queue.
TEST_F(CupsPrintingTest, APrinterThatRefusesJobsOrNoSchedulerIsNamedBeforeThePdfIsOffered) {
    const std::string instead = " You can save the printout as a PDF file instead.";
    struct Case {
        const char* what;
        std::string said;
    };
    const Case cases[] = {
        {"rejecting", "The printer \"dayvell-test\" is not accepting jobs: Closed for the test." + instead},
        {"no scheduler",
         "No printing service is running on this computer, so nothing can be sent to a printer." + instead},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool rejecting = c.what == std::string("rejecting");
        if (rejecting)
            ASSERT_EQ(
                RunTool(QStringLiteral("cupsreject"),
                        {QStringLiteral("-r"), QStringLiteral("Closed for the test"), QString::fromLatin1(kQueue)})
                    .status,
                0);
        else
            scheduler->stop();

        int chosen = 0;
        QtPrinter saving(t.dialogs, DefaultPrinterStatus, [&] {
            ++chosen;
            return QString::fromStdString(scheduler->saved().string());
        });
        Services savingServices{t.windows, t.dialogs, t.clock, t.disks, saving, t.progress, t.state};
        RegisterWindows(savingServices);
        Diary diary(kOnePage);
        diary.open(t.state);
        t.windows.show(QStringLiteral("Form7"));
        waitUntilActive(t.windows, QStringLiteral("Form7"));
        t.dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Ok,
                                "Printer check");
        t.dialogs.expectMessage(c.said, Answer::Ok, "Printer");
        trigger(t.windows.window(QStringLiteral("Form7")), QStringLiteral("printpage"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(chosen, 1);
        EXPECT_EQ(Lines(PdfText(scheduler->saved().string())),
                  "Days of 2026\nMonday, 11/2/2026 9:00:01 AM\n1 of 1\nA page for a printer that holds its jobs.");
        fs::remove(scheduler->saved());
        t.windows.unloadAll();
        settle();

        if (rejecting) {
            ASSERT_EQ(RunTool(QStringLiteral("cupsaccept"), {QString::fromLatin1(kQueue)}).status, 0);
            EXPECT_TRUE(scheduler->takePrinted().text.isEmpty()) << "nothing reached the queue";
        } else {
            ASSERT_EQ(scheduler->start(), QString());
        }
    }
}

} // namespace
} // namespace dayvell::test

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportWindow.h"

#include "FolderLists.h"
#include "ScreenParts.h"

#include "core/Book.h"
#include "core/ErrorReporter.h"
#include "core/Import.h"
#include "core/PageCounter.h"
#include "core/SharedState.h"
#include "platform/DirList.h"
#include "platform/DriveList.h"
#include "platform/FileList.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dayvell {

namespace {

constexpr const char* kTitle = "Import pages";

} // namespace

ImportWindow::ImportWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form14")) {
    setWindowTitle(QStringLiteral("Import pages into your Dayvell"));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* label1 = parts::Label(
        central, "Label1",
        QStringLiteral("Choose the files to import: an export of a Dayvell or of jrnl (jrnl --export json), or text "
                       "files, one page each. The pages are added after the last page of this dayvell, in the order "
                       "of their dates."));
    label1->setWordWrap(true);
    layout->addWidget(label1);
    layout->addWidget(parts::Line(central, "Line1"));

    auto* grid = new QGridLayout;
    m_drive1 = new DriveList(central);
    m_drive1->setObjectName(QStringLiteral("Drive1"));
    m_drive1->setToolTip(QStringLiteral("The drive the files are on."));
    grid->addWidget(m_drive1, 0, 0);
    m_dir1 = new DirList(services.dialogs, central);
    m_dir1->setObjectName(QStringLiteral("Dir1"));
    m_dir1->setToolTip(QStringLiteral("The folder the files are in."));
    grid->addWidget(m_dir1, 1, 0);
    m_file1 = new FileList(central);
    m_file1->setObjectName(QStringLiteral("File1"));
    m_file1->setToolTip(QStringLiteral("The files to import: hold Ctrl or Shift to choose several."));
    m_file1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_file1->setPattern(QStringLiteral("*.json;*.txt;*.text;*.md;*.markdown"));
    grid->addWidget(m_file1, 0, 1, 2, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid, 1);

    layout->addWidget(parts::Line(central, "Line2"));
    auto* command1 =
        parts::Button(central, "Command1", QStringLiteral("&Import"), QStringLiteral("Add the pages of these files"));
    auto* command2 = parts::Button(central, "Command2", QStringLiteral("E&xit"), QStringLiteral("Get me out of here!"));
    layout->addLayout(parts::ButtonRow({command1, command2}));
    setCentralWidget(central);

    connect(m_drive1, &DriveList::changed, this, &ImportWindow::Drive1_Change);
    connect(m_dir1, &DirList::changed, this, &ImportWindow::Dir1_Change);
    connect(command1, &QPushButton::clicked, this, &ImportWindow::Command1_Click);
    // Enter or a double click on the chosen files goes on with them, as choosing a book does in the open browser;
    // the import asks before anything is written.
    connect(m_file1, &FileList::fileDoubleClicked, this, &ImportWindow::Command1_Click);
    connect(command2, &QPushButton::clicked, this, &ImportWindow::Command2_Click);
    setDefaultButton(command1);
    setCancelButton(command2);

    resize(640, 440);
    parts::CentreOnScreen(this);
}

void ImportWindow::Form_Activate() {
    // The lists start in the book's own folder once; coming back to the window keeps what the user chose.
    if (m_placed)
        return;
    m_placed = true;
    Guarded(services().dialogs, [&] {
        ShowBookFolder(services().state.bookdir, *m_drive1, *m_dir1);
        m_file1->setPath(m_dir1->path());
    });
}

void ImportWindow::Drive1_Change() {
    Guarded(services().dialogs, [&] { m_dir1->setDrive(m_drive1->drive()); });
}

void ImportWindow::Dir1_Change() {
    Guarded(services().dialogs, [&] { m_file1->setPath(m_dir1->path()); });
}

void ImportWindow::Command1_Click() {
    Dialogs& dialogs = services().dialogs;
    SharedState& state = services().state;
    QStringList names;
    for (const QListWidgetItem* item : m_file1->selectedItems())
        names << item->text();
    if (names.isEmpty()) {
        dialogs.message("Choose the files to import in the list first.", kTitle, Buttons::Ok, Icon::Exclamation);
        return;
    }
    names.sort();

    std::vector<ImportedPage> pages;
    std::int64_t first = 0;
    const bool read = Guarded(dialogs, [&] {
        try {
            for (const QString& name : names) {
                ImportFile file = ReadImportFile(QFile::encodeName(QDir(m_file1->path()).filePath(name)).toStdString(),
                                                 services().clock);
                pages.insert(pages.end(), std::make_move_iterator(file.pages.begin()),
                             std::make_move_iterator(file.pages.end()));
            }
        } catch (const ImportError& e) {
            dialogs.message(e.description() + " Nothing has been imported.", kTitle, Buttons::Ok, Icon::Exclamation);
            pages.clear();
            return;
        }
        first = OpenBook(state).countPages() + 1;
    });
    if (!read || pages.empty())
        return;
    OrderByDate(pages);

    // Every page is tried before anything is written; the user says what becomes of each that cannot be stored.
    std::vector<ImportedPage> kept;
    kept.reserve(pages.size());
    const Book book = OpenBook(state);
    for (ImportedPage& page : pages) {
        const std::string problem = StorageProblem(page, book, first + static_cast<std::int64_t>(kept.size()));
        if (problem.empty()) {
            kept.push_back(std::move(page));
            continue;
        }
        if (dialogs.message(DescribeImportedPage(page) + " cannot be stored in this dayvell.\r\n" + problem +
                                "\r\n\r\nSkip this page and import the others? No stops the import: nothing is "
                                "written.",
                            "Page cannot be stored", Buttons::YesNo, Icon::Exclamation, Answer::No) != Answer::Yes)
            return;
    }
    if (kept.empty()) {
        dialogs.message("There are no pages left to import.", kTitle, Buttons::Ok, Icon::Information);
        return;
    }
    if (dialogs.message(std::to_string(kept.size()) + (kept.size() == 1 ? " page" : " pages") +
                            " will be added after the last page of your dayvell. Go on?",
                        kTitle, Buttons::OkCancel, Icon::Question) != Answer::Ok)
        return;

    ImportResult result;
    if (!Guarded(dialogs, [&] {
            Book book = OpenBook(state);
            result = ImportPages(book, kept, services().progress);
        }))
        return;
    if (result.cancelled) {
        dialogs.message("The import was cancelled. Nothing has been added.", kTitle, Buttons::Ok, Icon::Information);
        return;
    }
    dialogs.message(std::to_string(result.added) + (result.added == 1 ? " page was" : " pages were") +
                        " added to your dayvell.",
                    kTitle, Buttons::Ok, Icon::Information);
    handOverTo(QStringLiteral("Form5"));
}

void ImportWindow::Command2_Click() {
    handOverTo(QStringLiteral("Form5"));
}

} // namespace dayvell

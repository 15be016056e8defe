// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExportWindow.h"

#include "FolderLists.h"
#include "ScreenParts.h"

#include "core/Book.h"
#include "core/ErrorReporter.h"
#include "core/Export.h"
#include "core/PageCounter.h"
#include "core/SharedState.h"
#include "platform/DirList.h"
#include "platform/DriveList.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace dayvell {

namespace {

// The book's file name without ".dvl": the exported file's name to begin with.
QString BookStem(const std::string& bookname) {
    QString stem = QStringFromCp1252(bookname);
    if (stem.endsWith(QStringLiteral(".dvl"), Qt::CaseInsensitive))
        stem.chop(4);
    return stem;
}

} // namespace

ExportWindow::ExportWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form13")) {
    setWindowTitle(QStringLiteral("Export your Dayvell"));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* label1 = parts::Label(central, "Label1",
                                QStringLiteral("Write every page of this dayvell to a file that other programs can "
                                               "read, to keep it or to take it elsewhere."));
    label1->setWordWrap(true);
    layout->addWidget(label1);
    auto* label2 = parts::Label(central, "Label2",
                                QStringLiteral("The exported file is NOT protected by your password: anyone who can "
                                               "open the file can read every page."),
                                QStringLiteral("Keep the exported file somewhere safe, or delete it when done."));
    label2->setWordWrap(true);
    label2->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    layout->addWidget(label2);
    layout->addWidget(parts::Line(central, "Line1"));

    auto* grid = new QGridLayout;
    auto* label3 = parts::Label(central, "Label3", QStringLiteral("&Format:"));
    grid->addWidget(label3, 0, 0);
    m_combo1 = new QComboBox(central);
    m_combo1->setObjectName(QStringLiteral("Combo1"));
    m_combo1->setToolTip(QStringLiteral("What kind of file to write."));
    for (const ExportFormatInfo& info : ExportFormats()) {
        m_combo1->addItem(QString::fromLatin1(info.title) + QStringLiteral(" (") + QString::fromLatin1(info.extension) +
                          QStringLiteral(")"));
        if (!info.available) {
            // Listed, so that it is known to be coming, but not to be chosen yet.
            auto* model = qobject_cast<QStandardItemModel*>(m_combo1->model());
            model->item(m_combo1->count() - 1)->setEnabled(false);
        }
    }
    grid->addWidget(m_combo1, 0, 1);
    grid->addWidget(parts::Label(central, "Label4", QStringLiteral("Folder:")), 1, 0, Qt::AlignTop);
    m_drive1 = new DriveList(central);
    m_drive1->setObjectName(QStringLiteral("Drive1"));
    m_drive1->setToolTip(QStringLiteral("The drive to write the file on."));
    grid->addWidget(m_drive1, 1, 1);
    m_dir1 = new DirList(services.dialogs, central);
    m_dir1->setObjectName(QStringLiteral("Dir1"));
    m_dir1->setToolTip(QStringLiteral("The folder to write the file in."));
    grid->addWidget(m_dir1, 2, 1);
    auto* label5 = parts::Label(central, "Label5", QStringLiteral("File &name:"));
    grid->addWidget(label5, 3, 0);
    m_text1 = new QLineEdit(central);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setToolTip(QStringLiteral("The name of the file to write."));
    grid->addWidget(m_text1, 3, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    layout->addLayout(grid, 1);
    label3->setBuddy(m_combo1);
    label5->setBuddy(m_text1);

    layout->addWidget(parts::Line(central, "Line2"));
    auto* command1 = parts::Button(central, "Command1", QStringLiteral("&Export"), QStringLiteral("Write the file"));
    auto* command2 = parts::Button(central, "Command2", QStringLiteral("E&xit"), QStringLiteral("Get me out of here!"));
    layout->addLayout(parts::ButtonRow({command1, command2}));
    setCentralWidget(central);

    connect(m_combo1, &QComboBox::currentIndexChanged, this, &ExportWindow::Combo1_Change);
    connect(m_drive1, &DriveList::changed, this, &ExportWindow::Drive1_Change);
    connect(command1, &QPushButton::clicked, this, &ExportWindow::Command1_Click);
    connect(command2, &QPushButton::clicked, this, &ExportWindow::Command2_Click);
    setDefaultButton(command1);
    setCancelButton(command2);

    m_text1->setText(BookStem(services.state.bookname) + QString::fromLatin1(ExportFormats().front().extension));
    resize(560, 460);
    parts::CentreOnScreen(this);
}

void ExportWindow::Form_Activate() {
    // The folder is put on the book's own once; coming back to the window keeps what the user chose.
    if (m_placed)
        return;
    m_placed = true;
    Guarded(services().dialogs, [&] { ShowBookFolder(services().state.bookdir, *m_drive1, *m_dir1); });
}

const ExportFormatInfo& ExportWindow::chosen() const {
    return ExportFormats()[static_cast<std::size_t>(std::max(0, m_combo1->currentIndex()))];
}

void ExportWindow::Combo1_Change() {
    // A name that ends in one format's extension takes the new one's; a name of the user's own stays.
    QString name = m_text1->text();
    for (const ExportFormatInfo& info : ExportFormats()) {
        const QString extension = QString::fromLatin1(info.extension);
        if (name.endsWith(extension, Qt::CaseInsensitive)) {
            name.chop(extension.size());
            m_text1->setText(name + QString::fromLatin1(chosen().extension));
            return;
        }
    }
}

void ExportWindow::Drive1_Change() {
    Guarded(services().dialogs, [&] { m_dir1->setDrive(m_drive1->drive()); });
}

void ExportWindow::Command1_Click() {
    Dialogs& dialogs = services().dialogs;
    const QString name = m_text1->text().trimmed();
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..") ||
        name.contains(QLatin1Char('/'))) {
        dialogs.message("Type a name for the exported file (without a folder: choose the folder in the list).",
                        "Export dayvell", Buttons::Ok, Icon::Exclamation);
        return;
    }
    const QString path = QDir(m_dir1->path()).filePath(name);
    const ExportFormat format = chosen().format;
    const std::string shownPath = LossyCp1252FromQString(QDir::toNativeSeparators(path));
    Existing existing = Existing::Keep;
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        if (dialogs.message("A file named " + LossyCp1252FromQString(name) +
                                " already exists in this folder. Do you want to replace it?",
                            "File already exists!", Buttons::YesNo, Icon::Question, Answer::No) != Answer::Yes)
            return;
        existing = Existing::Replace;
    }
    ExportOutcome outcome = ExportOutcome::Cancelled;
    const bool done = Guarded(dialogs, [&] {
        try {
            outcome = ExportBook(OpenBook(services().state), format, QFile::encodeName(path).toStdString(), existing,
                                 services().progress);
        } catch (const ExportRefused& e) {
            dialogs.message(e.description() + ". Nothing has been written.", "Export dayvell", Buttons::Ok,
                            Icon::Exclamation);
            outcome = ExportOutcome::Cancelled;
        }
    });
    if (!done || outcome != ExportOutcome::Written)
        return;
    dialogs.message("Your dayvell was exported to " + shownPath +
                        ".\r\n\r\nThis file is not protected by your password: keep it somewhere safe.",
                    "Export complete", Buttons::Ok, Icon::Information);
    handOverTo(QStringLiteral("Form5"));
}

void ExportWindow::Command2_Click() {
    handOverTo(QStringLiteral("Form5"));
}

} // namespace dayvell

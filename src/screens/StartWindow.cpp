// SPDX-License-Identifier: GPL-3.0-or-later
#include "StartWindow.h"

#include "BookPicture.h"

#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/SharedState.h"
#include "core/Version.h"
#include "platform/Disks.h"
#include "platform/Services.h"
#include "platform/WindowSystem.h"

#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>

namespace dayvell {

namespace {

constexpr int kStartWindowHelp = 1;

QAction* AddAction(QWidget* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {}) {
    auto* action = new QAction(caption, menu);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    menu->addAction(action);
    return action;
}

} // namespace

std::string AboutText() {
    const std::string version = "Dayvell    Version " + std::string(kVersion);
    const char* paragraphs[] = {
        version.c_str(),
        "Revised 03/05/2009: fixed the faults in path handling that made the program fail after it had been moved "
        "to another directory.",
        "Keep a record of your daily thoughts.",
        "Multiple dayvells can be created, each requiring a password, "
        "which keeps others from seeing what is in your dayvell.",
        "     With thanks to everyone who tested Dayvell and told us what to fix.",
    };
    std::string text;
    for (const char* paragraph : paragraphs) {
        if (!text.empty())
            text += '\r';
        text += paragraph;
        text += '\r';
    }
    return text;
}

StartWindow::StartWindow(Services& services) : ProgramWindow(services, QStringLiteral("form1")) {
    setWindowTitle(QStringLiteral("Dayvell"));
    const QPixmap picture = BookPicture();
    setWindowIcon(QIcon(picture));

    auto* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File"));
    connect(AddAction(file, "Open", QStringLiteral("&Open a Dayvell"), QKeySequence(Qt::CTRL | Qt::Key_O)),
            &QAction::triggered, this, &StartWindow::Open_Click);
    connect(AddAction(file, "Create", QStringLiteral("&Create a  Dayvell"), QKeySequence(Qt::CTRL | Qt::Key_C)),
            &QAction::triggered, this, &StartWindow::Create_Click);
    connect(AddAction(file, "Quit", QStringLiteral("&Quit")), &QAction::triggered, this, &StartWindow::Quit_Click);
    // A top-level item that acts at once, without a menu of its own.
    connect(AddAction(menuBar(), "Helper", QStringLiteral("&Help")), &QAction::triggered, this,
            &StartWindow::Helper_Click);
    auto* about = menuBar()->addMenu(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("about"));
    connect(AddAction(about, "aboutlg", QStringLiteral("&About Dayvell")), &QAction::triggered, this,
            &StartWindow::aboutlg_Click);

    auto* central = new QWidget(this);
    auto* layout = new QGridLayout(central);
    auto* image = new QLabel(central);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(picture);
    image->setFixedSize(picture.size());
    auto* banner = new QLabel(central);
    banner->setObjectName(QStringLiteral("Label1"));
    banner->setTextFormat(Qt::RichText);
    banner->setText(QStringLiteral("<h1>Dayvell</h1><p>Your daily thoughts, behind a password.</p>"
                                   "<p><i>Written by the Dayvell developers</i></p>"));
    banner->setToolTip(QStringLiteral("Written by the Dayvell developers"));
    banner->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(
        QStringLiteral("Version ") + QString::fromLatin1(kVersion.data(), qsizetype(kVersion.size())), central);
    version->setObjectName(QStringLiteral("Label2"));
    version->setToolTip(QStringLiteral("Last updated 10/03/2004 V1.0.1(Fixed delete)"));
    layout->addWidget(image, 0, 0, 2, 1);
    layout->addWidget(banner, 0, 1);
    layout->addWidget(version, 1, 1, Qt::AlignRight | Qt::AlignBottom);
    setCentralWidget(central);

    adjustSize();
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void StartWindow::Form_Activate() {
    Guarded(services().dialogs, [&] {
        SharedState& state = services().state;
        state.bookdir = services().disks.programDirectory();
        // A terminator, not a separator: the browser and the wizard drop this last character to get the directory
        // back. The root "/" already ends in a slash and must get one more, or nothing would be left of it.
        state.bookdir += '/';
    });
}

// Windows still being built are not registered yet; until then their menu items do nothing.
void StartWindow::Open_Click() {
    WindowSystem& windows = services().windows;
    if (!windows.isRegistered(QStringLiteral("form3")))
        return;
    windows.unload(id());
    windows.show(QStringLiteral("form3"));
}

void StartWindow::Create_Click() {
    WindowSystem& windows = services().windows;
    if (!windows.isRegistered(QStringLiteral("Form4")))
        return;
    windows.unload(id());
    windows.show(QStringLiteral("Form4"));
}

void StartWindow::Quit_Click() {
    services().windows.unload(id());
}

void StartWindow::Helper_Click() {
    ShowHelp(services().dialogs, kStartWindowHelp);
}

void StartWindow::aboutlg_Click() {
    services().dialogs.message(AboutText(), "About Dayvell.", Buttons::Ok, Icon::None);
}

} // namespace dayvell

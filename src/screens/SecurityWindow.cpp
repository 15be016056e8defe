// SPDX-License-Identifier: GPL-3.0-or-later
#include "SecurityWindow.h"

#include "ScreenParts.h"

#include "core/Book.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/PageCounter.h"
#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/WindowSystem.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dayvell {

namespace {

constexpr int kSecurityWindowHelp = 6;

// A check box's state as the flag digit stores it: 0 clear, 1 ticked, 2 greyed.
Qt::CheckState StateOfFlag(char flag) {
    switch (flag) {
    case '1':
        return Qt::Checked;
    case '2':
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

char FlagOfState(Qt::CheckState state) {
    switch (state) {
    case Qt::Checked:
        return '1';
    case Qt::PartiallyChecked:
        return '2';
    default:
        return '0';
    }
}

} // namespace

SecurityWindow::SecurityWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form6")) {
    setWindowTitle(QStringLiteral("Security"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(
        parts::Label(central, "label1", QStringLiteral("Choose when your password is required to do these things:")));

    const char* const captions[] = {"Change Cover &Name",    "Change &File Name", "&Security",      "&View/Edit",
                                    "&Move or Copy Dayvell", "&Enter a new page", "Sea&rch dayvell"};
    for (std::size_t i = 0; i < m_checks.size(); ++i) {
        auto* check = new QCheckBox(QString::fromLatin1(captions[i]), central);
        check->setObjectName(QStringLiteral("Check%1").arg(i + 1));
        check->setToolTip(QStringLiteral("Check to require password"));
        layout->addWidget(check);
        m_checks[i] = check;
    }

    auto* ok = parts::Button(central, "Command2", QStringLiteral("&OK"), QStringLiteral("Im finished!"));
    auto* cancel = parts::Button(central, "Command1", QStringLiteral("&Cancel"), QStringLiteral("Get me out of here!"));
    auto* help = parts::Button(central, "Command3", QStringLiteral("&Help"), QStringLiteral("More info"));
    setDefaultButton(ok);
    setCancelButton(cancel);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(help);
    layout->addLayout(buttons);
    setCentralWidget(central);

    connect(ok, &QPushButton::clicked, this, &SecurityWindow::Command2_Click);
    connect(cancel, &QPushButton::clicked, this, &SecurityWindow::Command1_Click);
    connect(help, &QPushButton::clicked, this, &SecurityWindow::Command3_Click);
}

void SecurityWindow::Form_Activate() {
    const SharedState& state = services().state;
    Guarded(services().dialogs, [&] {
        const std::string flags = OpenBook(state).readHeader().flags;
        for (std::size_t i = 0; i < m_checks.size(); ++i)
            m_checks[i]->setCheckState(StateOfFlag(i < flags.size() ? flags[i] : '0'));
    });
}

void SecurityWindow::Command2_Click() {
    std::string flags;
    for (const QCheckBox* check : m_checks)
        flags += FlagOfState(check->checkState());
    // The cover window reads the flags from the book when it is active again: they take effect at once.
    if (Guarded(services().dialogs, [&] { OpenBook(services().state).replaceFlags(flags); }))
        leave();
}

void SecurityWindow::Command1_Click() {
    leave();
}

void SecurityWindow::Command3_Click() {
    ShowHelp(services().dialogs, kSecurityWindowHelp);
}

void SecurityWindow::leave() {
    handOverTo(QStringLiteral("Form5"));
}

} // namespace dayvell

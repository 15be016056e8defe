// SPDX-License-Identifier: GPL-3.0-or-later
#include "PasswordPrompt.h"

#include "ScreenParts.h"

#include "core/Book.h"
#include "core/Charset.h"
#include "core/ErrorReporter.h"
#include "core/PageCounter.h"
#include "core/Purposes.h"
#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowPlacement.h"
#include "platform/WindowSystem.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <optional>

namespace dayvell {

namespace {

// The windows a refused or cancelled prompt closes, in this order; the prompt itself goes last. The export and
// import windows reach the book as the others do: left open, they would go on offering it after a lock-out.
const char* const kBookWindows[] = {"Form2", "form3",  "Form4",  "Form5",       "Form6",  "Form7", "Form8",
                                    "Form9", "Form10", "Form12", "newpassword", "Form13", "Form14"};

} // namespace

PasswordPrompt::PasswordPrompt(Services& services) : ProgramWindow(services, QStringLiteral("frmpassword")) {
    setWindowTitle(QStringLiteral("Please enter the Password"));
    parts::KeepOutOfTaskbar(this);
    // A fixed dialog border: neither minimised nor maximised.
    setWindowFlags((windowFlags() & ~(Qt::WindowMinMaxButtonsHint)) | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->addWidget(parts::Label(central, "lblLabels", QStringLiteral("Password:")), 0, 0);
    m_txtPassword = new QLineEdit(central);
    m_txtPassword->setObjectName(QStringLiteral("txtPassword"));
    m_txtPassword->setToolTip(QStringLiteral("Type password here"));
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    grid->addWidget(m_txtPassword, 0, 1, 1, 2);
    auto* ok = parts::Button(central, "cmdOK", QStringLiteral("&OK"), QStringLiteral("Move on"));
    auto* cancel = parts::Button(central, "cmdCancel", QStringLiteral("&Cancel"), QStringLiteral("Get me out of here"));
    setDefaultButton(ok);
    setCancelButton(cancel);
    grid->addWidget(ok, 1, 1);
    grid->addWidget(cancel, 1, 2);
    setCentralWidget(central);
    setTabOrder(m_txtPassword, ok);
    setTabOrder(ok, cancel);
    m_txtPassword->setFocus();

    connect(ok, &QPushButton::clicked, this, &PasswordPrompt::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &PasswordPrompt::cmdCancel_Click);

    adjustSize();
    // A fixed border cannot be widened by the user: it must be wide enough for its title from the start.
    setFixedSize(std::max(width(), WidthForTitle(*this, windowTitle())), height());
    parts::CentreOnScreen(this);
}

// The typed text becomes the password in force only once the book has proven it: until then it authorises nothing,
// and a file that cannot be read leaves the password in force as it was.
void PasswordPrompt::cmdOK_Click() {
    SharedState& state = services().state;
    const SecretText keyInForce(state.password);
    state.passwordok = 0;
    const QString typed = m_txtPassword->text();
    const std::optional<std::string> key = PasswordFromTyped(typed);
    if (typed.isEmpty()) {
        wrongPassword(keyInForce.str());
        return;
    }
    state.bookdir = WithSeparator(state.bookdir);

    // A file that cannot be read is reported and leaves the prompt as it is, for another try or Cancel.
    const parts::PasswordTrial trial = parts::TryPassword(services().dialogs, BookPath(state), key);
    if (!trial.read)
        return;
    if (!trial.right) {
        wrongPassword(keyInForce.str());
        return;
    }
    state.setPassword(*key);
    state.passwordok = 1;
    // A purpose whose window is not part of the program opens nothing; the prompt closes all the same.
    services().windows.show(QString::fromStdString(WindowForPurpose(state.purpose)));
    services().windows.unload(id());
}

void PasswordPrompt::cmdCancel_Click() {
    const SecretText keyInForce(services().state.password);
    services().state.clearPassword();
    services().state.purpose = purpose::None;
    backToStart(keyInForce.str());
}

void PasswordPrompt::wrongPassword(const std::string& keyInForce) {
    SharedState& state = services().state;
    state.clearPassword();
    state.passwordok = 0;
    services().dialogs.message("Invalid Password!", "Incorrect Password!", Buttons::Ok, Icon::None);
    state.purpose = purpose::None;
    backToStart(keyInForce);
}

// Closing the book's windows runs none of their own steps: in particular the cover window's Quit, which would
// stamp the date into a book whose password was just refused, does not run. Only a page typed and not saved is
// offered for saving first, under the password it was typed under; a page that cannot be saved keeps its window.
// The book is closed then: the keys kept to open it quickly go with it.
void PasswordPrompt::backToStart(const std::string& keyInForce) {
    WindowSystem& windows = services().windows;
    SharedState& state = services().state;
    const auto close = [&](const QString& window) {
        state.setPassword(keyInForce);
        const bool closes = windows.queryUnload(window, Closing::Forced);
        state.clearPassword();
        if (closes)
            windows.unload(window);
    };
    for (const char* name : kBookWindows)
        close(QString::fromLatin1(name));
    // Any other window of the book (one added later, say) goes too: only the start window may stay once the book
    // is shut.
    for (const QString& window : windows.loadedIds()) {
        if (window != id() && window != QStringLiteral("form1"))
            close(window);
    }
    state.forgetKeys();
    // Shown while the prompt is still loaded, so that the program never finds itself without a window.
    windows.show(QStringLiteral("form1"));
    windows.unload(id());
}

} // namespace dayvell

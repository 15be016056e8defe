// SPDX-License-Identifier: GPL-3.0-or-later
#include "PasswordChangeWindow.h"

#include "ScreenParts.h"
#include "StorableText.h"

#include "core/Book.h"
#include "core/Charset.h"
#include "core/DescribedFormat.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/PageCounter.h"
#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

namespace dayvell {

namespace {

constexpr int kPasswordChangeWindowHelp = 13;
constexpr const char* kDescribedRange = "Password must be between 4-10 characters";
constexpr const char* kSealedRange = "Password must be between 4-128 characters";
constexpr const char* kTooShort = "Password must be longer than 4 characters!";
constexpr const char* kTooLong = "Password cannot be more than 10 chracters!";
constexpr const char* kPassphraseTooShort = "A sealed dayvell's password must have at least 4 characters!";
constexpr const char* kPassphraseTooLong = "A sealed dayvell's password cannot be more than 128 characters!";
constexpr const char* kUnprovableText =
    "The new password cannot be used: it repeats itself, and your dayvell could not tell it from the shorter "
    "password that repeats the same way. Please choose another password; your current password stays in force.";

// Why a new password was refused, and that the old one still holds.
std::string RefusalText(const UncarriedCharacter& e) {
    const std::string tail = " Please choose another password; your current password stays in force.";
    if (e.place() == Place::CheckPhrase)
        return "The new password cannot be used: its character \"" + std::string(1, char(e.keyCharacter())) +
               "\" is too far up the character set to encipher your dayvell." + tail;
    return "The new password cannot be used: it cannot encipher the character \"" +
           std::string(1, char(e.character())) + "\"" + (e.place() == Place::Page ? " on " : " in ") + e.placeName() +
           "." + tail;
}

// The characters of a typed password that no book can hold, as they look and by their numbers; empty when there are
// none.
QString UnusableInPassword(const QString& typed) {
    const UnstorableCharacters found = FindUnstorable(typed, nullptr);
    if (found.outsideCharset.isEmpty())
        return {};
    return QStringLiteral("Cannot be used in a password: ") + ShownWithNumbers(found.outsideCharset);
}

} // namespace

PasswordChangeWindow::PasswordChangeWindow(Services& services)
    : ProgramWindow(services, QStringLiteral("newpassword")) {
    setWindowTitle(QStringLiteral("Newpassword"));
    parts::KeepOutOfTaskbar(this);

    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->addWidget(parts::Label(central, "lblLabels", QStringLiteral("Please enter current password:")), 0, 0);
    m_txtPassword = new QLineEdit(central);
    m_txtPassword->setObjectName(QStringLiteral("txtPassword"));
    m_txtPassword->setToolTip(QStringLiteral("Enter your current password here"));
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    grid->addWidget(m_txtPassword, 0, 1);
    m_command1 = parts::Button(central, "Command1", QStringLiteral("&OK"), QStringLiteral("Move to next step"));
    grid->addWidget(m_command1, 0, 2);

    m_label1 = parts::Label(central, "Label1", QStringLiteral("Please enter new password:"));
    grid->addWidget(m_label1, 1, 0);
    m_text1 = new QLineEdit(central);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setToolTip(QStringLiteral("Type your new password here"));
    grid->addWidget(m_text1, 1, 1);
    m_command2 = parts::Button(central, "command2", QStringLiteral("&OK"), QStringLiteral("Accept new password"));
    grid->addWidget(m_command2, 1, 2);
    m_label2 = parts::Label(central, "Label2", QString::fromLatin1(kDescribedRange));
    grid->addWidget(m_label2, 2, 0, 1, 3);
    // The box that refuses such a password cannot show the characters themselves: they are shown here.
    m_hint = MakeUnstorableHint(central);
    grid->addWidget(m_hint, 3, 0, 1, 3);
    // The kind the book will be under its new password: as it is now, unless the user changes it.
    m_check1 = parts::SealCheckBox(central, "Check1");
    grid->addWidget(m_check1, 5, 0, 1, 3);
    m_label3 = parts::SealingNote(central, "Label3");
    grid->addWidget(m_label3, 6, 0, 1, 3);

    auto* buttons = new QHBoxLayout;
    auto* command3 =
        parts::Button(central, "command3", QStringLiteral("&Cancel"), QStringLiteral("Cancel, keep current password"));
    auto* command4 = parts::Button(central, "Command4", QStringLiteral("&Help"), QStringLiteral("More info"));
    buttons->addStretch();
    buttons->addWidget(command3);
    buttons->addWidget(command4);
    grid->addLayout(buttons, 7, 0, 1, 3);
    setCentralWidget(central);

    m_label1->hide();
    m_text1->hide();
    m_command2->hide();
    m_check1->hide();
    m_label3->hide();
    m_txtPassword->setFocus();

    setDefaultButton(m_command1);
    setCancelButton(command3);

    connect(m_command1, &QPushButton::clicked, this, &PasswordChangeWindow::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &PasswordChangeWindow::command2_Click);
    connect(command3, &QPushButton::clicked, this, &PasswordChangeWindow::command3_Click);
    connect(command4, &QPushButton::clicked, this, &PasswordChangeWindow::Command4_Click);
    connect(m_text1, &QLineEdit::textChanged, this, &PasswordChangeWindow::Text1_Change);
    connect(m_check1, &QCheckBox::toggled, this, &PasswordChangeWindow::Check1_Click);

    adjustSize();
    parts::CentreOnScreen(this);
}

void PasswordChangeWindow::Command1_Click() {
    checkpassword();
}

// The typed password is tried as a key of its own: the password in force stays the book's key whatever happens
// here, so that no failure can leave an untried text in its place.
void PasswordChangeWindow::checkpassword() {
    SharedState& state = services().state;
    state.passwordok = 0;
    const QString typed = m_txtPassword->text();
    if (!typed.isEmpty()) {
        const std::optional<std::string> key = PasswordFromTyped(typed);
        // A file that cannot be read is reported and the window stays, for another try or Cancel.
        const parts::PasswordTrial trial = parts::TryPassword(services().dialogs, BookPath(state), key);
        if (!trial.read)
            return;
        if (trial.right) {
            state.passwordok = 1;
            m_txtPassword->hide();
            m_command1->hide();
            m_command2->show();
            setDefaultButton(m_command2);
            m_label1->show();
            m_label2->show();
            m_text1->show();
            m_check1->setChecked(trial.kind == BookKind::Sealed);
            m_check1->show();
            m_label3->show();
            Check1_Click();
            m_text1->setFocus();
            return;
        }
    }
    services().dialogs.message("Incorrect password!");
    state.clearNewpass();
    backToCover();
}

void PasswordChangeWindow::command2_Click() {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;
    const QString typed = m_text1->text();
    if (typed.isEmpty())
        return;
    const BookKind kind = m_check1->isChecked() ? BookKind::Sealed : BookKind::Described;
    const bool sealed = kind == BookKind::Sealed;
    const PasswordRange range = Book::PasswordsOf(kind);
    if (static_cast<std::size_t>(typed.size()) < range.least) {
        dialogs.message(sealed ? kPassphraseTooShort : kTooShort);
        return;
    }
    if (static_cast<std::size_t>(typed.size()) > range.most) {
        dialogs.message(sealed ? kPassphraseTooLong : kTooLong);
        return;
    }
    const UnstorableCharacters unusable = FindUnstorable(typed, nullptr);
    if (!unusable.outsideCharset.isEmpty()) {
        Text1_Change();
        dialogs.message(std::string("The new password cannot be used: a dayvell cannot store ") +
                            (unusable.outsideCharset.toUcs4().size() == 1 ? "the character " : "the characters ") +
                            Cp1252FromQString(UnicodeNumbers(unusable.outsideCharset)) +
                            ", shown in red under the new password. Please choose another password; your current "
                            "password stays in force.",
                        {}, Buttons::Ok, Icon::Exclamation);
        return;
    }
    bool refused = false;
    const bool done = Guarded(dialogs, [&] {
        state.setNewpass(Cp1252FromQString(typed));
        Book book(BookPath(state), state.password);
        try {
            // A sealed book's new password takes half a second to set; a book changing its kind is rewritten whole.
            const parts::WaitCursor busy;
            book.changePassword(state.newpass, kind);
        } catch (const UncarriedCharacter& e) {
            state.clearNewpass();
            refused = true;
            dialogs.message(RefusalText(e), {}, Buttons::Ok, Icon::Exclamation);
            return;
        } catch (const UnprovableKey&) {
            state.clearNewpass();
            refused = true;
            dialogs.message(kUnprovableText, {}, Buttons::Ok, Icon::Exclamation);
            return;
        } catch (...) {
            // Whatever step failed, the password in force is the one the book on disk answers to.
            state.setPassword(book.password());
            state.clearNewpass();
            throw;
        }
        state.setPassword(book.password());
    });
    if (!done || refused)
        return;
    state.clearNewpass();
    backToCover();
}

// The rule under the new password follows the kind of book it is for.
void PasswordChangeWindow::Check1_Click() {
    m_label2->setText(QString::fromLatin1(m_check1->isChecked() ? kSealedRange : kDescribedRange));
}

// The password in force is left as it is: it is the book's key, which after a change that failed late may already
// be the new one.
void PasswordChangeWindow::command3_Click() {
    services().state.clearNewpass();
    backToCover();
}

void PasswordChangeWindow::Text1_Change() {
    SetUnstorableHint(*m_hint, UnusableInPassword(m_text1->text()));
}

void PasswordChangeWindow::Command4_Click() {
    ShowHelp(services().dialogs, kPasswordChangeWindowHelp);
}

void PasswordChangeWindow::backToCover() {
    handOverTo(QStringLiteral("Form5"));
}

} // namespace dayvell

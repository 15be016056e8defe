// SPDX-License-Identifier: GPL-3.0-or-later
#include "CreateWizard.h"

#include "FolderLists.h"
#include "ScreenParts.h"
#include "StorableText.h"

#include "core/Book.h"
#include "core/BookName.h"
#include "core/Clock.h"
#include "core/DescribedFormat.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/PageCounter.h"
#include "core/Purposes.h"
#include "core/SharedState.h"
#include "platform/DirList.h"
#include "platform/DriveList.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dayvell {

namespace {

constexpr int kCreateWizardHelp = 4;

const char* const kNamePrompt = "Enter a name for your dayvell (1-8 characters)";
const char* const kNameTitle = "Dayvell Name";
const char* const kNameTooLong = "Name cannot be over 8 characters in lenght";
const char* const kNameTaken = "That dayvell already exists! Please choose a different name.";
const char* const kPasswordPrompt = "Please enter a password 4-10 characters.";
const char* const kPasswordTooShort = "Password must have at least 4 characters!";
const char* const kPasswordTooLong = "Password cannot be over 10 characters long!!";
const char* const kPassphrasePrompt = "Please enter a password or passphrase of 4-128 characters.";
const char* const kPassphraseTooShort = "A sealed dayvell's password must have at least 4 characters!";
const char* const kPassphraseTooLong = "A sealed dayvell's password cannot be over 128 characters long!";

// A name with a separator would put the book into another directory, and one with a NUL would be cut short.
bool NameFitsFileSystem(const std::string& name) {
    return name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

// A name is taken when a book of that name is already there, and always when it is the scratch file's: a book by
// that name would be overwritten by the next rewrite in its directory.
bool NameTaken(const SharedState& state) {
    if (IsScratchName(state.bookname))
        return true;
    return NameFitsFileSystem(state.bookname) && KindOfFile(BookPath(state)) == FileKind::Regular;
}

} // namespace

CreateWizard::CreateWizard(Services& services) : ProgramWindow(services, QStringLiteral("Form4")) {
    setWindowTitle(QStringLiteral("Create a new Dayvell"));
    parts::KeepOutOfTaskbar(this);

    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);

    grid->addWidget(
        parts::Label(central, "Label1", QStringLiteral("Here is where you begin by creating your dayvell.")), 0, 0, 1,
        3);
    auto* step1 = new QHBoxLayout;
    step1->addWidget(parts::Label(central, "Label2", QStringLiteral("Step 1:")));
    step1->addWidget(parts::Label(central, "Label3", QStringLiteral("Select drive and directory ")));
    step1->addStretch();
    grid->addLayout(step1, 1, 0);

    auto* lists = new QVBoxLayout;
    lists->addWidget(parts::Label(central, "Label5", QStringLiteral("Choose drive")));
    m_drive1 = new DriveList(central);
    m_drive1->setObjectName(QStringLiteral("Drive1"));
    m_drive1->setToolTip(QStringLiteral("Choose drive"));
    lists->addWidget(m_drive1);
    lists->addWidget(parts::Label(central, "Label6", QStringLiteral("Choose directory")));
    m_dir1 = new DirList(services.dialogs, central);
    m_dir1->setObjectName(QStringLiteral("Dir1"));
    m_dir1->setToolTip(QStringLiteral("Choose directory"));
    lists->addWidget(m_dir1);
    auto* path = new QHBoxLayout;
    path->addWidget(parts::Label(central, "Label14", QStringLiteral("Path:")));
    m_label15 = parts::LongText(central, "Label15", QStringLiteral("This is path you have chosen"), 3);
    path->addWidget(m_label15, 1);
    lists->addLayout(path);
    lists->addWidget(parts::Label(central, "Label4", QStringLiteral("where you want your dayvell to be saved")));
    grid->addLayout(lists, 2, 0);

    grid->addWidget(parts::Line(central, "Line1", Qt::Vertical), 1, 1, 3, 1);

    // The step buttons, one above the other, each with its arrow to its left.
    auto* steps = new QGridLayout;
    steps->addWidget(parts::Line(central, "Line2"), 0, 0, 1, 2);
    m_label11 = parts::Label(central, "Label11", QStringLiteral("--->"));
    m_command2 = parts::Button(central, "Command2",
                               QStringLiteral("Step &2:\nChoose a file name for your dayvell (1-8 characters)"),
                               QStringLiteral("Choose a file name for your new dayvell"));
    steps->addWidget(m_label11, 1, 0);
    steps->addWidget(m_command2, 1, 1);
    steps->addWidget(parts::Line(central, "Line3"), 2, 0, 1, 2);
    m_label12 = parts::Label(central, "Label12", QStringLiteral("--->"));
    m_command3 = parts::Button(central, "Command3", QStringLiteral("Step &3: Choose a password for your dayvell"),
                               QStringLiteral("Choose a password"));
    steps->addWidget(m_label12, 3, 0);
    steps->addWidget(m_command3, 3, 1);
    m_label13 = parts::Label(central, "Label13", QStringLiteral("--->"));
    m_command4 = parts::Button(
        central, "Command4",
        QStringLiteral("Step &4:\nMake sure the information on the left is correct, if so, press this button."),
        QStringLiteral("If all looks good, finish it!"));
    steps->addWidget(m_label13, 4, 0);
    steps->addWidget(m_command4, 4, 1);
    steps->addWidget(parts::Line(central, "Line4"), 5, 0, 1, 2);
    steps->setRowStretch(6, 1);
    grid->addLayout(steps, 1, 2, 2, 1);

    // The summary at the lower left: what Finish is going to write.
    auto* summary = new QGridLayout;
    m_label7 = parts::Label(central, "Label7", QStringLiteral("Your dayvell name is:"));
    m_label8 = parts::Label(central, "Label8", {}, QStringLiteral("Dayvell file name"));
    m_label9 = parts::Label(central, "Label9", QStringLiteral("Your password is:"));
    // A passphrase may be long: it wraps and ends in an ellipsis rather than widening the window.
    m_label10 = parts::LongText(central, "Label10", QStringLiteral("Password"), 2);
    summary->addWidget(m_label7, 0, 0);
    summary->addWidget(m_label8, 0, 1);
    summary->addWidget(m_label9, 1, 0);
    summary->addWidget(m_label10, 1, 1);
    summary->setColumnStretch(1, 1);
    grid->addLayout(summary, 3, 0);

    auto* sealing = new QVBoxLayout;
    m_check1 = parts::SealCheckBox(central, "Check1");
    sealing->addWidget(m_check1);
    sealing->addWidget(parts::SealingNote(central, "Label16"));
    grid->addLayout(sealing, 3, 2);

    auto* buttons = new QHBoxLayout;
    auto* command1 =
        parts::Button(central, "Command1", QStringLiteral("&Cancel   (ESC)"), QStringLiteral("Get me out of here!"));
    auto* command5 = parts::Button(central, "Command5", QStringLiteral("&Start over."),
                                   QStringLiteral("Clear all fields and start again."));
    auto* command6 = parts::Button(central, "Command6", QStringLiteral("&Help"), QStringLiteral("More info"));
    buttons->addWidget(command1);
    buttons->addWidget(command5);
    buttons->addWidget(command6);
    buttons->addStretch();
    grid->addLayout(buttons, 4, 0, 1, 3);
    setCentralWidget(central);

    // The steps show and hide their controls; the places of the hidden ones stay reserved, so that the window keeps
    // one size and nothing moves from one step to the next.
    for (QWidget* widget : std::initializer_list<QWidget*>{m_command2, m_command3, m_command4, m_label7, m_label8,
                                                           m_label9, m_label10, m_label11, m_label12, m_label13}) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
    m_command3->hide();
    m_command4->hide();
    m_label7->hide();
    m_label8->hide();
    m_label9->hide();
    m_label10->hide();

    connect(m_drive1, &DriveList::changed, this, &CreateWizard::Drive1_Change);
    connect(m_dir1, &DirList::changed, this, &CreateWizard::Dir1_Change);
    connect(command1, &QPushButton::clicked, this, &CreateWizard::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &CreateWizard::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &CreateWizard::Command3_Click);
    connect(m_command4, &QPushButton::clicked, this, &CreateWizard::Command4_Click);
    connect(command5, &QPushButton::clicked, this, &CreateWizard::Command5_Click);
    connect(command6, &QPushButton::clicked, this, &CreateWizard::Command6_Click);
    connect(m_check1, &QCheckBox::clicked, this, &CreateWizard::Check1_Click);
    // The Cancel button promises Esc on its caption.
    setCancelButton(command1);

    resize(760, 520);
    parts::CentreOnScreen(this);
}

void CreateWizard::Form_Activate() {
    SharedState& state = services().state;
    m_savedDir = state.bookdir;
    m_label11->show();
    m_label12->hide();
    m_label13->hide();
    m_command2->show();
    m_label8->clear();
    m_label10->clear();
    state.clearPassword();
    state.bookname.clear();
    m_command3->hide();
    m_command4->hide();
    // Setting the lists runs their change handlers, which make `bookdir` and Label15 follow.
    Guarded(services().dialogs, [&] {
        const QString first = FirstDirectory(m_savedDir);
        m_drive1->setDrive(first);
        m_dir1->setPath(first);
        showLabel15();
    });
}

void CreateWizard::Drive1_Change() {
    Guarded(services().dialogs, [&] {
        m_dir1->setDrive(m_drive1->drive());
        showLabel15();
    });
}

void CreateWizard::Dir1_Change() {
    Guarded(services().dialogs, [&] {
        services().state.bookdir = Cp1252Path(m_dir1->path());
        showLabel15();
    });
}

void CreateWizard::Command2_Click() {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;
    Guarded(dialogs, [&] {
        for (;;) {
            state.bookname = dialogs.input(kNamePrompt, kNameTitle);
            if (state.bookname.empty())
                return;
            if (state.bookname.size() > kMaxBookNameLength) {
                dialogs.message(kNameTooLong);
                continue;
            }
            if (const std::string refusal = BookNameRefusal(state.bookname); !refusal.empty()) {
                dialogs.message(refusal);
                continue;
            }
            state.bookname += kBookExtension;
            state.bookdir = WithSeparator(state.bookdir);
            if (NameTaken(state)) {
                dialogs.message(kNameTaken);
                continue;
            }
            break;
        }
        m_label7->show();
        m_label8->show();
        m_label8->setText(QStringFromCp1252(
            std::string_view(state.bookname).substr(0, state.bookname.size() - kBookExtension.size())));
        m_command3->show();
        m_label11->hide();
        m_label12->show();
        m_command2->hide();
    });
}

BookKind CreateWizard::chosenKind() const {
    return m_check1->isChecked() ? BookKind::Sealed : BookKind::Described;
}

void CreateWizard::Command3_Click() {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;
    const BookKind kind = chosenKind();
    const PasswordRange range = Book::PasswordsOf(kind);
    const bool sealed = kind == BookKind::Sealed;
    for (;;) {
        state.setPassword(dialogs.input(sealed ? kPassphrasePrompt : kPasswordPrompt));
        if (state.password.empty())
            return;
        if (state.password.size() < range.least) {
            dialogs.message(sealed ? kPassphraseTooShort : kPasswordTooShort);
            continue;
        }
        if (state.password.size() > range.most) {
            dialogs.message(sealed ? kPassphraseTooLong : kPasswordTooLong);
            continue;
        }
        break;
    }
    m_label9->show();
    m_label10->show();
    m_label10->setText(QStringFromCp1252(state.password));
    m_command4->show();
    m_label12->hide();
    m_label13->show();
    m_command3->hide();
}

// A password chosen for one kind of book that the other kind cannot have is chosen again.
void CreateWizard::Check1_Click() {
    SharedState& state = services().state;
    if (m_command4->isHidden() || Book::PasswordsOf(chosenKind()).fits(state.password))
        return;
    state.clearPassword();
    m_label10->clear();
    m_command4->hide();
    m_label13->hide();
    m_label12->show();
    m_command3->show();
}

void CreateWizard::Command4_Click() {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;
    WindowSystem& windows = services().windows;
    Guarded(dialogs, [&] {
        state.bookdir = WithSeparator(state.bookdir);
        // The name was tested against the directory of step 2; the user may have chosen another since, and a book
        // that is already there must never be replaced.
        if (NameTaken(state)) {
            dialogs.message(kNameTaken);
            return;
        }
        if (!NameFitsFileSystem(state.bookname))
            throw RuntimeError(code::BadFileName);
        // A described book records its folder enciphered with its password: a name the password cannot carry is
        // the folder's fault, and another folder mends it.
        try {
            const parts::WaitCursor busy;
            Book::Create(SystemFileSystem(), BookPath(state), state.password,
                         Book::NewHeader(state.bookdir, services().clock.shortDate()), chosenKind());
        } catch (const UncarriedCharacter& e) {
            if (e.place() != Place::Folder)
                throw;
            dialogs.message(UncarriedFolderMessage(e, state.bookdir), {}, Buttons::Ok, Icon::Exclamation);
            return;
        }

        const Answer open = dialogs.message("Do you wish to open your dayvell now?", "Open your dayvell?",
                                            Buttons::YesNo, Icon::Question);
        if (open == Answer::Yes) {
            windows.unload(id());
            state.clearPassword();
            state.passwordok = 0;
            state.purpose = purpose::OpenBook;
            windows.show(QStringLiteral("frmpassword"));
        } else {
            state.clearPassword();
            state.bookname.clear();
            windows.unload(id());
            windows.show(QStringLiteral("form1"));
        }
    });
}

void CreateWizard::Command1_Click() {
    // No book is open once the wizard is left: the name and password chosen so far go with it.
    services().state.bookname.clear();
    services().state.clearPassword();
    services().windows.unload(id());
    services().windows.show(QStringLiteral("form1"));
}

void CreateWizard::Command5_Click() {
    SharedState& state = services().state;
    state.bookdir = m_savedDir;
    state.clearPassword();
    state.bookname.clear();
    m_check1->setChecked(false);
    Form_Activate();
}

void CreateWizard::Command6_Click() {
    ShowHelp(services().dialogs, kCreateWizardHelp);
}

void CreateWizard::showLabel15() {
    m_label15->setText(QStringFromCp1252(services().state.bookdir));
}

} // namespace dayvell

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Help.h"

#include "core/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dayvell {
namespace {

using test::ScriptedDialogs;

struct Topic {
    int number;
    bool endsWithLineBreak;
    std::vector<std::string> lines;
};

const std::vector<Topic>& Topics() {
    static const std::vector<Topic> topics = {
        {1,
         false,
         {
             "Click FILE- OPEN A DAYVELL to open an existing Dayvell.",
             "",
             "Click FILE- CREATE A DAYVELL to create a new Dayvell.",
             "",
             "Click QUIT to exit this program.",
             "",
             "Click ABOUT to see info on this program.",
         }},
        {2,
         false,
         {
             "This is where you create your pages.",
             "Write your thoughts, then press Save and Exit to save",
             "the page into your dayvell. Pressing Exit and dont save",
             "will cancel this function and not save your new page.",
             "You can edit the page later.",
             "",
             "The date and time will be stamped onto",
             "the new page permanantly.",
         }},
        {3,
         false,
         {
             "Here is where you load your dayvell.",
             "Choose the drive that your dayvell is saved on,",
             "then choose the directory that it is in.",
             "All the dayvells in that directory should be displayed.",
             "Click on the dayvell you wish to open, then click the Open button,",
             "or just double click on the dayvell.",
             "You will be asked for the password for that dayvell.",
             "",
             "NOTE: If you open a dayvell stored on a floppy or a re-writable CD,",
             "the program may run a lot slower.",
         }},
        {4,
         false,
         {
             "Create your new dayvell here.",
             "First, choose the drive you wish to save your dayvell to.",
             "Then choose the directory to save your dayvell to. Default drive/directory is C:/Dayvell.",
             "",
             "Second, choose the file name of your new dayvell. Name must be between 1 and 8 characters.",
             "If you choose a file name that already exists, you will be told it is not allowed.",
             "",
             "Third, choose the password for your new dayvell. Password must be between 4 and 10 characters,",
             "and is case sensitive.",
             "",
             "Finally, double check that the filename and password are correct, then press finish. If you wish",
             "to change anything, you can press Start Over to begin again.",
         }},
        {5,
         true,
         {
             "This is the cover of your Dayvell.",
             "You can add pages and maintain your Dayvell here.",
             "",
             "The dayvell's file size is displayed in lower left corner.",
             "The available space left on the disk where the Dayvell is stored is also displayed.",
             "You will be alarmed if the available space gets to 20 KiloBytes or less.",
             "",
             "The Cover name can be whatever name you want to give it. The cover name cannot be seen,",
             "unless the book is successfully opened. The file name is the name stored on disk. File name is",
             "the one you selected to open, to get here. File name can be seen by anyone.",
             "Example: the file name may be mine.dvl, but the cover name could be My Dayvell.",
             "The cover name is shown here, while the file name is in the title bar.",
             "You can navigate through the Dayvell menu to Enter a New Page,",
             "View and Edit existing pages, Search your dayvell, and Print your Dayvell.",
             "Under the Maintenance menu, you can change the Cover's name, the File's name,",
             "Change your Password, Move or Copy your Dayvell, or Delete your Dayvell.",
         }},
        {51,
         false,
         {
             "This message means that your dayvell is getting too big.",
             "",
             "Each time you add a page or add to a page, the",
             "dayvell grows in size, taking more space where it is stored.",
             "It's size is approaching the limit to the space on",
             "the disk where it is stored.",
             "",
             "If your dayvell is stored on a floppy disk, it is suggested",
             "that you move the dayvell to the hard drive, or a writable CD, or",
             "you can simply start a new dayvell on a new floppy.",
             "",
             "If you keep your dayvell on a re-writable CD,",
             "you may want to start a new dayvell on a new CD.",
             "",
             "If your dayvell is stored on the computer's hard drive,",
             "then you may want to move the dayvell to a writable CD and start a new dayvell.",
             "",
             "Other suggestions:",
             "Delete some pages from your Dayvell.",
             "Delete any Dayvells you have started but never use.",
             "De-frag the disk. (You must use Windows to do this.)",
         }},
        {6,
         true,
         {
             "On this screen you can set up which areas require the password.",
             "",
             "Placing a check in the box beside a function, will require",
             "that a password be entered before gaining access to the function.",
             "Checking all of these will give you added security, but can become annoying,",
             "so, you decide which areas you want to password protect.",
         }},
        {7,
         false,
         {
             "Here is where you can look at the pages already in your book.",
             "You can scroll through the pages by pressing the buttons at the bottom.",
             "The page number is displayed between the scroll buttons, as is the total number of pages",
             "in your Dayvell.",
             "",
             "You can also jump to a specific page by typing the page number in the box in lower",
             "right corner, then pressing the Jump button.",
             "",
             "In the top menu bar, you can edit or print the page. You can also delete the page.",
             "Be aware that using Delete command will erase the page forever!.",
             "Clicking on Search will take you to the search menu.",
         }},
        {71,
         false,
         {
             "This is the edit mode.",
             "You can make changes to the text on this page.",
             "When you begin to make the changes, the save button will be lit.",
             "You can press this button to save your changes, or press Cancel to",
             "to discard the changes. You can also press Exit in top menu. You will be asked",
             "if you want to save, if you made any changes.",
             "",
             "You cannot edit the original page's date or time.",
         }},
        {8,
         false,
         {
             "This is where you can search your dayvell pages for items.",
             "Simply type into the search window what it is you want to search for, and press Begin Search.",
             "If any pages contain what is typed into the search window, the partial page will be displayed in the "
             "Search Results window.",
             "You may double click on any result, and that page will be displayed.",
             "",
             "Here are a few search examples: ing will find using, running, walking, etc.",
             "12/10 will find 12/10/2004, 12/10/04, 12/10, 04/12/10, etc.",
         }},
        {9,
         false,
         {
             "To copy your dayvell to a different place, choose the directory to copy it to on the right, then press "
             "COPY.",
             "You will have 2 exact copies, 1 at the original and 1 at the new place.",
             "",
             // Two sentences run together, with no space between them.
             "To move your dayvell to the place on the right, press MOVE."
             "The dayvell will no longer be at the original place.",
             "",
             "To make a backup of your Dayvell, simply copy it to a new place (I.E. floppy or writable CD).",
             "",
             "To restore the backup copy, Open the backup copy as you would your normal dayvell,",
             "then return here and copy it back to wherever you keep your Dayvell normally.",
             "You will have to reopen your dayvell in it's original location after restoring a backup.",
         }},
        {10,
         true,
         {
             "Type in the new cover name and press accept. This name",
             "appears on your cover, after you open your dayvell.",
         }},
        {12,
         false,
         {
             "Here is where you can change the name of your dayvell file.",
             "The file name is the name saved on the disk. It is the name you open",
             "at the open menu. It is a name followed by .dvl. The .dvl is the file type.",
             "dvl means dayvell type file. The filename is always followed by the .dvl.",
             "",
             "When you enter the new file name, it is not necessary to include the .dvl,",
             "because, if you dont add it, it will be added automatically.",
             "",
             "If you look at the folder where you keep your dayvell, using Windows explorer,",
             "or through DOS DIR command, you will see your filename. It will appear as yourfilename.dvl.",
             "",
             "The file name must be at least one character, but not more than 8 characters in length.",
             "Examples: 1.dvl or my1stdvl.dvl are both good file names.",
             "",
             "If there is already a file by the name you wish to change yours to, you will be",
             "told that you cannot use that name.",
         }},
        {13,
         false,
         {
             "You can change your password here.",
             "",
             "You must first enter your current password.",
             "Then enter your new password. Password must be longer than 4",
             "characters, but not over 10 characters. It is also case sensitive.",
             "",
             "This will be the last time you can see the new password, so be",
             "sure to remember it. ",
         }},
        {15,
         false,
         {
             "Repair rescues a dayvell that has been damaged, for example by a disk that",
             "became full or a copy that did not finish.",
             "",
             "It reads every page that can still be read, and writes them into a new dayvell",
             "in the same folder, with the same password. The new dayvell gets a name of its own,",
             "such as mine-r1.dvl, and you will be told its name and which pages could not be read.",
             "",
             "Your damaged dayvell is not changed. Open the new one from the start window.",
         }},
        {16,
         false,
         {
             "A dayvell is kept in one of two ways; its cover says which.",
             "",
             "Enciphered with the classic Dayvell cipher: the way every copy of Dayvell keeps a dayvell.",
             "The cipher keeps a casual reader out and no more: anyone who has the file can work out",
             "the password from it, and then read every page. The password has 4 to 10 characters.",
             "",
             "Sealed with modern encryption: the password is put through Argon2id, which takes about",
             "half a second on purpose so that guessing passwords is slow, and every page is sealed with",
             "XChaCha20-Poly1305, both from the libsodium library. The password cannot be read off the",
             "file, and a page that was changed or damaged is reported instead of shown. The password",
             "may be a passphrase of 4 to 128 characters. Older copies of Dayvell cannot open a sealed",
             "dayvell.",
             "",
             "Sealing does not hide everything: the file's name, its size, the number of pages and the",
             "length of each can be seen by anyone who has the file. A short password can still be",
             "guessed, only slowly. Nobody can open a sealed dayvell whose password is forgotten.",
             "",
             "You choose when you create a dayvell. To seal or unseal it later, change its password",
             "under Maintenance and tick or clear Seal this dayvell.",
         }},
    };
    return topics;
}

// Lines are separated by a lone CR, never CR LF or LF.
std::string Joined(const Topic& t) {
    std::string text;
    for (std::size_t i = 0; i < t.lines.size(); ++i) {
        if (i > 0)
            text += '\r';
        text += t.lines[i];
    }
    if (t.endsWithLineBreak)
        text += '\r';
    return text;
}

TEST(Help, EveryTopicShowsItsTextTitledHelp) {
    for (const auto& t : Topics()) {
        SCOPED_TRACE("topic " + std::to_string(t.number));
        const std::string expected = Joined(t);
        EXPECT_EQ(HelpText(t.number), expected);

        ScriptedDialogs dialogs;
        dialogs.expectMessage(expected, Answer::Ok, "Help");
        ShowHelp(dialogs, t.number);
        ASSERT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(dialogs.shown()[0].buttons, Buttons::Ok);
        EXPECT_EQ(dialogs.shown()[0].icon, Icon::None);
    }
}

TEST(Help, TopicsWithoutATextShowAnEmptyBox) {
    for (int topic : {11, 0, -1, 14, 50, 52, 70, 72, 32767}) {
        SCOPED_TRACE("topic " + std::to_string(topic));
        EXPECT_EQ(HelpText(topic), "");

        ScriptedDialogs dialogs;
        dialogs.expectMessage("", Answer::Ok, "Help");
        ShowHelp(dialogs, topic);
        ASSERT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(dialogs.shown()[0].buttons, Buttons::Ok);
        EXPECT_EQ(dialogs.shown()[0].icon, Icon::None);
    }
}

} // namespace
} // namespace dayvell

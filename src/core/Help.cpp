// SPDX-License-Identifier: GPL-3.0-or-later
#include "Help.h"

namespace dayvell {

// Lines end in a bare CR, the program's own line separator; a few texts end with one as well.
std::string HelpText(int topic) {
    switch (topic) {
    case 1:
        return "Click FILE- OPEN A DAYVELL to open an existing Dayvell.\r"
               "\r"
               "Click FILE- CREATE A DAYVELL to create a new Dayvell.\r"
               "\r"
               "Click QUIT to exit this program.\r"
               "\r"
               "Click ABOUT to see info on this program.";
    case 2:
        return "This is where you create your pages.\r"
               "Write your thoughts, then press Save and Exit to save\r"
               "the page into your dayvell. Pressing Exit and dont save\r"
               "will cancel this function and not save your new page.\r"
               "You can edit the page later.\r"
               "\r"
               "The date and time will be stamped onto\r"
               "the new page permanantly.";
    case 3:
        return "Here is where you load your dayvell.\r"
               "Choose the drive that your dayvell is saved on,\r"
               "then choose the directory that it is in.\r"
               "All the dayvells in that directory should be displayed.\r"
               "Click on the dayvell you wish to open, then click the Open button,\r"
               "or just double click on the dayvell.\r"
               "You will be asked for the password for that dayvell.\r"
               "\r"
               "NOTE: If you open a dayvell stored on a floppy or a re-writable CD,\r"
               "the program may run a lot slower.";
    case 4:
        return "Create your new dayvell here.\r"
               "First, choose the drive you wish to save your dayvell to.\r"
               "Then choose the directory to save your dayvell to. Default drive/directory is C:/Dayvell.\r"
               "\r"
               "Second, choose the file name of your new dayvell. Name must be between 1 and 8 characters.\r"
               "If you choose a file name that already exists, you will be told it is not allowed.\r"
               "\r"
               "Third, choose the password for your new dayvell. Password must be between 4 and 10 characters,\r"
               "and is case sensitive.\r"
               "\r"
               "Finally, double check that the filename and password are correct, then press finish. If you wish\r"
               "to change anything, you can press Start Over to begin again.";
    case 5:
        return "This is the cover of your Dayvell.\r"
               "You can add pages and maintain your Dayvell here.\r"
               "\r"
               "The dayvell's file size is displayed in lower left corner.\r"
               "The available space left on the disk where the Dayvell is stored is also displayed.\r"
               "You will be alarmed if the available space gets to 20 KiloBytes or less.\r"
               "\r"
               "The Cover name can be whatever name you want to give it. The cover name cannot be seen,\r"
               "unless the book is successfully opened. The file name is the name stored on disk. File name is\r"
               "the one you selected to open, to get here. File name can be seen by anyone.\r"
               "Example: the file name may be mine.dvl, but the cover name could be My Dayvell.\r"
               "The cover name is shown here, while the file name is in the title bar.\r"
               "You can navigate through the Dayvell menu to Enter a New Page,\r"
               "View and Edit existing pages, Search your dayvell, and Print your Dayvell.\r"
               "Under the Maintenance menu, you can change the Cover's name, the File's name,\r"
               "Change your Password, Move or Copy your Dayvell, or Delete your Dayvell.\r";
    case 51:
        return "This message means that your dayvell is getting too big.\r"
               "\r"
               "Each time you add a page or add to a page, the\r"
               "dayvell grows in size, taking more space where it is stored.\r"
               "It's size is approaching the limit to the space on\r"
               "the disk where it is stored.\r"
               "\r"
               "If your dayvell is stored on a floppy disk, it is suggested\r"
               "that you move the dayvell to the hard drive, or a writable CD, or\r"
               "you can simply start a new dayvell on a new floppy.\r"
               "\r"
               "If you keep your dayvell on a re-writable CD,\r"
               "you may want to start a new dayvell on a new CD.\r"
               "\r"
               "If your dayvell is stored on the computer's hard drive,\r"
               "then you may want to move the dayvell to a writable CD and start a new dayvell.\r"
               "\r"
               "Other suggestions:\r"
               "Delete some pages from your Dayvell.\r"
               "Delete any Dayvells you have started but never use.\r"
               "De-frag the disk. (You must use Windows to do this.)";
    case 6:
        return "On this screen you can set up which areas require the password.\r"
               "\r"
               "Placing a check in the box beside a function, will require\r"
               "that a password be entered before gaining access to the function.\r"
               "Checking all of these will give you added security, but can become annoying,\r"
               "so, you decide which areas you want to password protect.\r";
    case 7:
        return "Here is where you can look at the pages already in your book.\r"
               "You can scroll through the pages by pressing the buttons at the bottom.\r"
               "The page number is displayed between the scroll buttons, as is the total number of pages\r"
               "in your Dayvell.\r"
               "\r"
               "You can also jump to a specific page by typing the page number in the box in lower\r"
               "right corner, then pressing the Jump button.\r"
               "\r"
               "In the top menu bar, you can edit or print the page. You can also delete the page.\r"
               "Be aware that using Delete command will erase the page forever!.\r"
               "Clicking on Search will take you to the search menu.";
    case 71:
        return "This is the edit mode.\r"
               "You can make changes to the text on this page.\r"
               "When you begin to make the changes, the save button will be lit.\r"
               "You can press this button to save your changes, or press Cancel to\r"
               "to discard the changes. You can also press Exit in top menu. You will be asked\r"
               "if you want to save, if you made any changes.\r"
               "\r"
               "You cannot edit the original page's date or time.";
    case 8:
        return "This is where you can search your dayvell pages for items.\r"
               "Simply type into the search window what it is you want to search for, and press Begin Search.\r"
               "If any pages contain what is typed into the search window, the partial page will be displayed in the "
               "Search Results window.\r"
               "You may double click on any result, and that page will be displayed.\r"
               "\r"
               "Here are a few search examples: ing will find using, running, walking, etc.\r"
               "12/10 will find 12/10/2004, 12/10/04, 12/10, 04/12/10, etc.";
    case 9:
        return "To copy your dayvell to a different place, choose the directory to copy it to on the right, then press "
               "COPY.\r"
               "You will have 2 exact copies, 1 at the original and 1 at the new place.\r"
               "\r"
               "To move your dayvell to the place on the right, press MOVE.The dayvell will no longer be at the "
               "original place.\r"
               "\r"
               "To make a backup of your Dayvell, simply copy it to a new place (I.E. floppy or writable CD).\r"
               "\r"
               "To restore the backup copy, Open the backup copy as you would your normal dayvell,\r"
               "then return here and copy it back to wherever you keep your Dayvell normally.\r"
               "You will have to reopen your dayvell in it's original location after restoring a backup.";
    case 10:
        return "Type in the new cover name and press accept. This name\r"
               "appears on your cover, after you open your dayvell.\r";
    case 12:
        return "Here is where you can change the name of your dayvell file.\r"
               "The file name is the name saved on the disk. It is the name you open\r"
               "at the open menu. It is a name followed by .dvl. The .dvl is the file type.\r"
               "dvl means dayvell type file. The filename is always followed by the .dvl.\r"
               "\r"
               "When you enter the new file name, it is not necessary to include the .dvl,\r"
               "because, if you dont add it, it will be added automatically.\r"
               "\r"
               "If you look at the folder where you keep your dayvell, using Windows explorer,\r"
               "or through DOS DIR command, you will see your filename. It will appear as yourfilename.dvl.\r"
               "\r"
               "The file name must be at least one character, but not more than 8 characters in length.\r"
               "Examples: 1.dvl or my1stdvl.dvl are both good file names.\r"
               "\r"
               "If there is already a file by the name you wish to change yours to, you will be\r"
               "told that you cannot use that name.";
    case 13:
        return "You can change your password here.\r"
               "\r"
               "You must first enter your current password.\r"
               "Then enter your new password. Password must be longer than 4\r"
               "characters, but not over 10 characters. It is also case sensitive.\r"
               "\r"
               "This will be the last time you can see the new password, so be\r"
               "sure to remember it. ";
    case 15:
        return "Repair rescues a dayvell that has been damaged, for example by a disk that\r"
               "became full or a copy that did not finish.\r"
               "\r"
               "It reads every page that can still be read, and writes them into a new dayvell\r"
               "in the same folder, with the same password. The new dayvell gets a name of its own,\r"
               "such as mine-r1.dvl, and you will be told its name and which pages could not be read.\r"
               "\r"
               "Your damaged dayvell is not changed. Open the new one from the start window.";
    case 16:
        return "A dayvell is kept in one of two ways; its cover says which.\r"
               "\r"
               "Enciphered with the classic Dayvell cipher: the way every copy of Dayvell keeps a dayvell.\r"
               "The cipher keeps a casual reader out and no more: anyone who has the file can work out\r"
               "the password from it, and then read every page. The password has 4 to 10 characters.\r"
               "\r"
               "Sealed with modern encryption: the password is put through Argon2id, which takes about\r"
               "half a second on purpose so that guessing passwords is slow, and every page is sealed with\r"
               "XChaCha20-Poly1305, both from the libsodium library. The password cannot be read off the\r"
               "file, and a page that was changed or damaged is reported instead of shown. The password\r"
               "may be a passphrase of 4 to 128 characters. Older copies of Dayvell cannot open a sealed\r"
               "dayvell.\r"
               "\r"
               "Sealing does not hide everything: the file's name, its size, the number of pages and the\r"
               "length of each can be seen by anyone who has the file. A short password can still be\r"
               "guessed, only slowly. Nobody can open a sealed dayvell whose password is forgotten.\r"
               "\r"
               "You choose when you create a dayvell. To seal or unseal it later, change its password\r"
               "under Maintenance and tick or clear Seal this dayvell.";
    default:
        return {};
    }
}

void ShowHelp(Dialogs& dialogs, int topic) {
    dialogs.message(HelpText(topic), "Help", Buttons::Ok, Icon::None);
}

} // namespace dayvell

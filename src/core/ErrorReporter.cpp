// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorReporter.h"

namespace dayvell {

std::string ErrorTitle(int code, const std::string& description) {
    return "ERROR   #" + std::to_string(code) + "    !!!!" + description;
}

std::string ErrorMessageText(int c) {
    switch (c) {
    case code::InvalidArgument:
        return "Software error. Your dayvell or the main program may be corrupted.";
    case code::BadFileName:
        return "File error!. If using a floppy or Cd, make sure it is properly inserted. Or your dayvell might be "
               "corrupted.";
    case code::FileAlreadyOpen:
        return "Disk Write error! Make sure floppy disk is not write protected, or CD drive is a CDRW.";
    case code::DeviceUnavailable:
        return "Disk Error! Make sure disk is properly inserted into drive.";
    case code::PathFileAccessError:
        return "File error! Make sure disk is a writable disk.";
    case code::PermissionDenied:
        return "Disk Error!! Make sure the disk is not write ptotected.";
    case code::DiskNotReady:
        return "Disk Error!! Make sure disk is properly inserted in drive.";
    case code::PrinterError:
        return "Printer Error!! Make sure the printer is ready to print!";
    case code::BookInUse:
        return "Another copy of Dayvell is changing a book in this folder. Nothing has been changed. Wait a moment "
               "and try again.";
    case code::BookChangedElsewhere:
        return "This dayvell was changed elsewhere, by another copy of Dayvell, since you opened it: its password may "
               "have been changed. Nothing has been saved. Close the book and open it again.";
    case code::NotABookFile:
        return "This is not a dayvell: a book is an ordinary file, and this name belongs to something else. Nothing "
               "has been read or written.";
    case code::OwnerNotKept:
        return "This dayvell belongs to another user, or to a group of users, and a change made here would take it "
               "from them. Nothing has been changed. Ask its owner to make the change.";
    case code::SealedBookDamaged:
        return "This dayvell is sealed, and part of it has been damaged or changed outside Dayvell (the title says "
               "where). Nothing of the damaged part has been shown, and nothing has been written. Keep a copy of the "
               "file as it is.";
    case code::NewerSealedBook:
        return "This dayvell was sealed by a newer version of Dayvell, which this one cannot read. The book is not "
               "damaged: open it with the newer Dayvell.";
    case code::KdfLimitsOutOfRange:
        return "This dayvell asks for more memory or time to check its password than Dayvell allows, or for less "
               "than it needs. It was not opened: the file may have been changed outside Dayvell.";
    case code::SealedRecordTooLarge:
        return "This page is too large for a sealed book: a page may hold up to 4 GB. Nothing has been written.";
    default:
        // Reading past the end has no text of its own (a box before it says so); every other code is named by the
        // title alone.
        return {};
    }
}

std::string ErrorBoxText(int code, const std::string& description) {
    std::string text = ErrorMessageText(code);
    return text.empty() ? description : text;
}

void ReportError(const RuntimeError& e, Dialogs& dialogs) {
    if (e.code() == code::PastEndOfFile)
        dialogs.message("Dont know what this error is.", {}, Buttons::Ok, Icon::None);
    // Code 20 means there was no failure to speak of.
    if (e.code() != code::NoError)
        dialogs.message(ErrorBoxText(e.code(), e.description()), ErrorTitle(e.code(), e.description()), Buttons::Ok,
                        Icon::None);
}

namespace detail {

void ReportGuarded(const RuntimeError& e, Dialogs& dialogs) noexcept {
    try {
        ReportError(e, dialogs);
    } catch (...) {
    }
}

void ReportUnstorable(const UnstorableText& e, Dialogs& dialogs) noexcept {
    try {
        dialogs.message(e.what(), {}, Buttons::Ok, Icon::Exclamation);
    } catch (...) {
    }
}

void ReportOutOfMemory(Dialogs& dialogs) noexcept {
    try {
        ReportError(RuntimeError(code::OutOfMemory), dialogs);
    } catch (...) {
    }
}

void ReportUnexpected(Dialogs& dialogs) noexcept {
    try {
        ReportError(RuntimeError(code::InvalidArgument), dialogs);
    } catch (...) {
    }
}

} // namespace detail

} // namespace dayvell

// SPDX-License-Identifier: GPL-3.0-or-later
#include "RuntimeError.h"

#include <cerrno>

namespace dayvell {

std::string ErrorDescription(int c) {
    switch (c) {
    case code::InvalidArgument:
        return "Invalid procedure call or argument";
    case code::OutOfMemory:
        return "Out of memory";
    case code::NoError:
        return "Resume without error";
    case code::BadFileName:
        return "Bad file name or number";
    case code::FileNotFound:
        return "File not found";
    case code::FileAlreadyOpen:
        return "File already open";
    case code::IoError:
        return "Device I/O error";
    case code::FileExists:
        return "File already exists";
    case code::DiskFull:
        return "Disk full";
    case code::PastEndOfFile:
        return "Input past end of file";
    case code::DeviceUnavailable:
        return "Device unavailable";
    case code::PermissionDenied:
        return "Permission denied";
    case code::DiskNotReady:
        return "Disk not ready";
    case code::PathFileAccessError:
        return "Path/File access error";
    case code::PathNotFound:
        return "Path not found";
    case code::PrinterError:
        return "Printer error";
    case code::BookInUse:
        return "Another copy of Dayvell is changing a book in this folder";
    case code::BookChangedElsewhere:
        return "The book was changed elsewhere";
    case code::NotABookFile:
        return "Not a book file";
    case code::OwnerNotKept:
        return "The book belongs to another user";
    case code::SealedBookDamaged:
        return "Sealed book damaged";
    case code::NewerSealedBook:
        return "Made by a newer Dayvell";
    case code::KdfLimitsOutOfRange:
        return "Password check limits out of range";
    case code::SealedRecordTooLarge:
        return "Page too large for a sealed book";
    default:
        return "Application-defined or object-defined error";
    }
}

RuntimeError ErrnoError(int err, bool onDirectory) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return RuntimeError(onDirectory ? code::PathNotFound : code::FileNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return RuntimeError(code::PermissionDenied);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return RuntimeError(code::DiskFull);
    case EIO:
        return RuntimeError(code::IoError);
    case ENOMEDIUM:
        return RuntimeError(code::DiskNotReady);
    case ENXIO:
    case ENODEV:
    case ESTALE:
        return RuntimeError(code::DeviceUnavailable);
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
        return RuntimeError(code::BadFileName);
    case EEXIST:
        return RuntimeError(code::FileExists);
    case EBUSY:
    case EWOULDBLOCK:
        return RuntimeError(code::PermissionDenied);
    default:
        return RuntimeError(code::PathFileAccessError);
    }
}

} // namespace dayvell

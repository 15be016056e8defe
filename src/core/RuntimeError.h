// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace dayvell {

// The error codes the error reporter knows, and those the file layer raises.
namespace code {
inline constexpr int InvalidArgument = 5;
inline constexpr int OutOfMemory = 7;
inline constexpr int NoError = 20;
inline constexpr int BadFileName = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int IoError = 57;
inline constexpr int FileExists = 58;
inline constexpr int DiskFull = 61;
inline constexpr int PastEndOfFile = 62;
inline constexpr int DeviceUnavailable = 68;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskNotReady = 71;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int PrinterError = 482;
// The program's own conditions, beyond the run-time library's table.
// Another running copy holds the folder's lock for longer than a change takes.
inline constexpr int BookInUse = 1001;
// The book's key no longer deciphers its check phrase: another copy changed its password since it was opened.
inline constexpr int BookChangedElsewhere = 1002;
// The book's name belongs to something that is not a regular file (a folder, a named pipe, a device).
inline constexpr int NotABookFile = 1003;
// A change would hand the book to the user making it: its owner or group cannot be kept.
inline constexpr int OwnerNotKept = 1004;
// A sealed book whose content does not authenticate: damaged, or changed outside Dayvell.
inline constexpr int SealedBookDamaged = 1005;
// A sealed book in a later version of the format than this program reads.
inline constexpr int NewerSealedBook = 1006;
// A sealed book asks for more (or less) memory or time to check its password than is sane.
inline constexpr int KdfLimitsOutOfRange = 1007;
// A page too large for one sealed record (4 GiB).
inline constexpr int SealedRecordTooLarge = 1008;
} // namespace code

// The description that ends an error box's title, for every code the program raises.
std::string ErrorDescription(int code);

// A run-time failure: a code of the error reporter's table and a description for people.
class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(int code) : RuntimeError(code, ErrorDescription(code)) {}
    RuntimeError(int code, const std::string& description) : std::runtime_error(description), m_code(code) {}
    int code() const { return m_code; }
    std::string description() const { return what(); }

private:
    int m_code;
};

// Maps an errno value onto the reporter's codes; `onDirectory` tells a missing path from a missing file.
RuntimeError ErrnoError(int err, bool onDirectory = false);

} // namespace dayvell

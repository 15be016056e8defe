// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BookFormat.h"
#include "FileSystem.h"
#include "Rescue.h"
#include "RuntimeError.h"
#include "Transaction.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dayvell {

inline constexpr std::string_view kBookExtension = ".dvl";

// Whether a file name is the scratch file's, in any letter case: on a disk that ignores case (a memory stick, say)
// DVLTEMP.DVL is the same file.
bool IsScratchName(std::string_view name);
// Whether a file name ends in ".dvl", in any letter case: the name of a book.
bool HasBookExtension(std::string_view name);

// A copy leaves the book where it is; a move removes it once the copy is complete.
enum class Transfer { Copy, Move };

// The target of a copy or move is the folder the book is in (however the two are spelled). Nothing is written.
class SameDirectory : public RuntimeError {
public:
    SameDirectory();
};

// One book file and the password it is read and written with, whatever its kind (BookFormat.h): every operation
// asks the file's first bytes which format reads it. Every operation opens the file, works and closes it before
// returning: nothing stays open between calls. Failures throw RuntimeError; a failed change leaves the file exactly
// as it was.
//
// Changes other than appending and a sealed book's password are written to the scratch file beside the book,
// synced, and renamed over it. Every change is made under an exclusive lock on the directory, so that two running
// copies of the program never share the scratch file, and inside it nothing decided earlier is trusted: the book
// must still be a regular file the user may write, its password must still open it (code::BookChangedElsewhere
// otherwise), and what depends on its content is taken from it as it is then. Any read with a password that no
// longer opens the book is refused the same way, rather than showing garbage.
//
// The path is Windows-1252 text, like every text in core; it reaches the file system through NativePath. The
// password is overwritten in memory when the object goes.
class Book {
public:
    Book(std::string path, std::string password, FileSystem& fs = SystemFileSystem());
    ~Book();
    Book(const Book& other);
    Book& operator=(const Book& other);
    Book(Book&& other) noexcept;
    Book& operator=(Book&& other) noexcept;

    const std::string& path() const { return m_path; }
    const std::string& password() const { return m_password; }

    // Writes a new book of `kind` holding only its header; never replaces an existing file (error 58). Refuses what
    // the format refuses of the password: a sealed book's outside 4 to 128 characters (5), a described book's that
    // it could not prove (UnprovableKey) or that cannot carry a character of the header (UncarriedCharacter).
    static void Create(FileSystem& fs, const std::string& path, const std::string& password, const BookHeader& header,
                       BookKind kind = BookKind::Described);
    // The header of a new book: the directory it is written in, no cover name, `date`, default flags.
    static BookHeader NewHeader(std::string directory, std::string date);
    // How long a password a book of `kind` takes.
    static PasswordRange PasswordsOf(BookKind kind);

    // Which kind of book the file is, from its first bytes.
    BookKind kind() const;
    // The same, after checking the file as far as it can be checked without the password: a file that is not a
    // book (62), a sealed book that is damaged at its start (1005) or written by a later version (1006).
    BookKind inspect() const;

    // True when the book proves the password: a described book's check phrase and the rest of its start agree
    // with it (KeyProven), a sealed book's key slot opens with it. Reads leniently, so that a book damaged after
    // its start can still be opened and rescued; error 62 when not even that is whole.
    bool checkPassword() const;
    BookHeader readHeader() const;
    // Reads every record to the end of the file where the kind needs to: error 62 (1005) when any is damaged.
    std::int64_t countPages() const;
    // The page count as the end of the book tells it, whatever the number of pages; error 62 when the last record
    // is not whole.
    std::int64_t pageCountAtEnd() const;
    // Appends one page and returns the number it was given: the number is taken from the book as it is when the
    // page is written (another copy of the program may have added pages meanwhile), not from `page`.
    // On failure the file is cut back to its old length. Saving the same page again after a failure never stores
    // it twice: when the book already ends with it, the save only makes sure it is on the disk.
    // Refuses a book whose last record is not complete. Costs the same on any book.
    std::string appendPage(const Page& page);
    // Page `n` counted from 1, or nothing when the book has fewer pages.
    std::optional<Page> readPage(std::int64_t n) const;
    // Page `n`, or the last page when the book has fewer than `n`; nothing for a book without pages.
    std::optional<std::pair<std::int64_t, Page>> readPageOrLast(std::int64_t n) const;
    // Streams every page in order, as plain text, with its position; stop by returning false. The fields are views
    // into the reader's buffers, valid only during their call: no page is held twice.
    void forEachPage(const std::function<bool(std::int64_t position, const PageView& page)>& visit) const;
    // Every page holding `upperNeedle` (in capitals, as UpperCp1252 makes them) in its number, date line, time and
    // text joined together, in page order; `onMatch` is given the page, its text at least as far as a search result
    // line shows it.
    void search(std::string_view upperNeedle, const std::function<void(const PageView& page)>& onMatch) const;

    // What the book can hold, asked before a text is written. The index of the first character of `field`, at
    // `from` or after it, that this book cannot store under its password, or npos. The book's kind is read from
    // the disk once and then remembered, so that a window may ask at every keystroke.
    std::size_t firstUnstorable(std::string_view field, std::size_t from = 0) const;
    // Throws, naming `place` (and `page`), when the book cannot store all of `field`: a described book throws
    // UncarriedCharacter.
    void refuseUnstorable(std::string_view field, Place place, std::int64_t page = 0) const;

    // Rewrites.
    void refreshDate(const std::string& date);
    void replaceFlags(const std::string& flags);
    void replaceCoverName(const std::string& coverName);
    // The text of the page whose number reads `pageNumber` (" 2") becomes `text`.
    void replacePage(const std::string& pageNumber, const std::string& text);
    // Drops the page at `position` and renumbers the rest from 1.
    void removePage(std::int64_t position);
    // Adds pages after the last one in a single rewrite, so that all of them land or none does. `next` is asked for
    // one page after another, given the number it will get (counted on from the book as it is inside the lock),
    // fills in its date, time and text and returns true, or returns false when there are no more; it may throw to
    // call the whole addition off. A character the book cannot carry is refused with UncarriedCharacter naming the
    // page. Returns the number of pages added.
    std::int64_t appendPages(const std::function<bool(std::int64_t number, Page& page)>& next);
    // Gives the book `newPassword`, as a book of `kind`; afterwards this object uses the new password.
    //
    // A book that stays of its kind keeps its content: a described book is enciphered anew through the scratch file,
    // a sealed book only wraps its key anew, in place (its cost does not depend on the book). A book that changes
    // kind is converted: written whole into the scratch file in the other format (a sealed book with a new book id
    // and key), which then takes its place. Before anything takes the book's place, everything is tried in the new
    // form: a sealed book's password outside 4 to 128 characters is refused (5), a character a described book
    // cannot carry under the new password with UncarriedCharacter naming the first place it is in, and a password a
    // described book could not prove with UnprovableKey.
    //
    // After any failure this object keeps the password the file on disk answers to, the old one or the new.
    void changePassword(const std::string& newPassword, BookKind kind);
    // The same, keeping the book's kind.
    void changePassword(const std::string& newPassword);
    // Gives the file a new name in its directory; fails with 58 when that name is taken.
    void rename(const std::string& newName);
    // True when `dir` is the folder the book is in: the folder of its path or, for a book reached through a
    // symbolic link, the folder of the file itself.
    // Folders are told apart by their identity on disk (device and inode), so links, ".." and a trailing separator
    // make no difference. Throws RuntimeError when a folder cannot be looked at.
    bool isIn(const std::string& dir) const;
    // Writes the book into `targetDir` under the same name, its header's folder changed to that directory. The
    // copy is written beside its destination under the scratch name, synced and renamed into place, so the
    // destination never holds part of a book. An existing file there is replaced, in one step, only with
    // Existing::Replace (else error 58). Throws SameDirectory when `targetDir` is the book's own folder, and
    // UncarriedCharacter when a described book's password cannot carry the folder's name.
    //
    // A move removes the source only once the copy and its folder are synced, holding the source folder's lock from
    // the first read to the removal so that no page another program appends meanwhile is lost; a book reached
    // through a symbolic link is moved as the file itself and the link, which would point at nothing, goes too.
    // A move this user could not finish (the source's folder does not let them remove it) is refused before
    // anything is copied. A moved book keeps its owner (else code::OwnerNotKept); a copy too, where the system
    // allows. This object then names the copy.
    void copyTo(const std::string& targetDir, Existing existing, Transfer transfer);
    // Rescues a damaged book: every page that can still be read whole is written, renumbered from 1, into a new
    // book of the same kind and password beside it under a free name of its own (RescueName), through the scratch
    // file and renamed into place without replacing anything. A header that cannot be read whole is made anew
    // around the folder the book is in and `today`. The damaged file is left as it is. Needs the password proven by
    // what is left of the book's start (code::BookChangedElsewhere otherwise); error 62 (1005) when not even that
    // can be read.
    RescueReport rescue(const std::string& today);
    // Deletes the book file, under the folder's lock and only when the book as it is then proves the password
    // (code::BookChangedElsewhere otherwise) and its owner may write it (70).
    void remove();

private:
    // Writes `fill`'s content for the book open as `in` (the file `source` describes) into the scratch file in
    // `dir`, and renames it over `target`, replacing a file there only with Existing::Replace; `lastCheck` runs just
    // before the rename. The scratch file takes the source's permissions, and its owner as `owner` says. On any
    // failure the scratch file goes and nothing else has changed.
    void writeThroughScratch(FileHandle& in, const struct stat& source, Owner owner, const std::string& dir,
                             const std::string& target, Existing existing, const std::function<void()>& lastCheck,
                             const std::function<void(int out)>& fill);
    // Rewrites the book in its own folder, under its lock: `fill` writes the new content, given the book open for
    // reading and its format. `inPlace`, when given, is asked first, under the same lock and after the same checks,
    // to change the book where it lies (given its real path and format); when it does (true), nothing is rewritten.
    void rewrite(const std::function<void(const BookFormat& format, int in, int out)>& fill,
                 const std::function<bool(const std::string& real, const BookFormat& format)>& inPlace = {});
    // The same changed as `change` says, in the book's own format.
    void rewrite(BookChange& change);
    // The path as the file system knows it, and the same with every link resolved.
    std::string native() const;
    std::string realPath() const;

    std::string m_path;
    std::string m_password;
    FileSystem* m_fs;
    // The format the file was last found in, for questions asked at every keystroke.
    mutable const BookFormat* m_format = nullptr;
};

} // namespace dayvell

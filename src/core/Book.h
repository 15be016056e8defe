// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"
#include "Record.h"
#include "Rescue.h"
#include "RuntimeError.h"
#include "Transaction.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dayvell {

inline constexpr std::string_view kCheckPhrase = "mZq7391mZq";
inline constexpr std::string_view kNoCoverName = "___";
inline constexpr std::string_view kNewBookFlags = "0111111";
inline constexpr std::string_view kEndMark = "_";
inline constexpr std::string_view kBookExtension = ".dvl";

// Whether a file name is the scratch file's, in any letter case: on a disk that ignores case (a memory stick, say)
// DVLTEMP.DVL is the same file.
bool IsScratchName(std::string_view name);
// Whether a file name ends in ".dvl", in any letter case: the name of a book.
bool HasBookExtension(std::string_view name);

// The header record, deciphered.
struct BookHeader {
    std::string checkPhrase;
    std::string directory;
    std::string coverName;
    std::string lastAccess;
    std::string flags;
};

// A page record's four enciphered fields, deciphered (the end mark carries nothing).
struct Page {
    std::string number;
    std::string date;
    std::string time;
    std::string text;
};

// A copy leaves the book where it is; a move removes it once the copy is complete.
enum class Transfer { Copy, Move };

// The field of a book a character sits in.
enum class Place { CheckPhrase, Folder, CoverName, LastAccess, Flags, Page };

// A character a key cannot encipher: its code plus the key character's is above 255. Nothing has been written when
// this is thrown. Reported as a codec failure (5) by a caller that does not say more.
class UncarriedCharacter : public RuntimeError {
public:
    UncarriedCharacter(unsigned char character, unsigned char keyCharacter, Place place, std::int64_t page);
    unsigned char character() const { return m_character; }
    unsigned char keyCharacter() const { return m_keyCharacter; }
    Place place() const { return m_place; }
    // The page the character is on, for Place::Page.
    std::int64_t page() const { return m_page; }
    // Where it is, in words: "the cover name", "page 3".
    std::string placeName() const;

private:
    unsigned char m_character;
    unsigned char m_keyCharacter;
    Place m_place;
    std::int64_t m_page;
};

// Throws UncarriedCharacter naming the first character of `plain` that `key` cannot carry, and `place`.
void CheckCarried(std::string_view plain, std::string_view key, Place place, std::int64_t page = 0);
// Encode(plain, key), failing as CheckCarried does.
std::string EncodeCarried(std::string_view plain, std::string_view key, Place place, std::int64_t page = 0);

// A new password the book could not prove once re-enciphered (KeyProven): it repeats itself within its 10
// characters and nothing in the book would tell it from its shorter repetition. Nothing has been written.
class UnprovableKey : public RuntimeError {
public:
    UnprovableKey();
};

// The target of a copy or move is the folder the book is in (however the two are spelled). Nothing is written.
class SameDirectory : public RuntimeError {
public:
    SameDirectory();
};

// One book file and the key it is read and written with. Every operation opens the file, works and closes it
// before returning: nothing stays open between calls. Failures throw RuntimeError; a failed change leaves the file
// exactly as it was.
//
// Changes other than appending are written to the scratch file beside the book, synced, and renamed over it. Every
// change is made under an exclusive lock on the directory, so that two running copies of the program never share
// the scratch file, and inside it nothing decided earlier is trusted: the book must still be a regular file the
// user may write, its key must still decipher the check phrase (code::BookChangedElsewhere otherwise), and what
// depends on its content is taken from it as it is then.
//
// The path is Windows-1252 text, like every text in core; it reaches the file system through NativePath.
class Book {
public:
    Book(std::string path, std::string key, FileSystem& fs = SystemFileSystem());

    const std::string& path() const { return m_path; }
    const std::string& key() const { return m_key; }

    // Writes a new book holding only its header; never replaces an existing file (error 58). Refuses with
    // UnprovableKey a key the new book could not prove.
    static void Create(FileSystem& fs, const std::string& path, const std::string& key, const BookHeader& header);
    // The header of a new book: check phrase, the directory it is written in, no cover name, `date`, default flags.
    static BookHeader NewHeader(std::string directory, std::string date);

    // True when the book proves the key (KeyProven): it deciphers the check phrase, is at most 10 characters, and
    // no other key that deciphers the phrase explains the book as well. Reads the header leniently, so that a book
    // damaged after its check phrase can still be opened and rescued; error 62 when not even that is whole.
    bool checkPassword() const;
    Record readHeaderRecord() const;
    BookHeader readHeader() const;
    // Reads every record to the end of the file: error 62 when any of them is damaged.
    std::int64_t countPages() const;
    // The page count as the end of the book tells it (the last page's number), whatever the number of pages; error
    // 62 when the last record is not whole.
    std::int64_t pageCountAtEnd() const;
    // Appends one page record and returns the number it was given: the number is taken from the book as it is
    // when the page is written (another copy of the program may have added pages meanwhile), not from `page`.
    // On failure the file is cut back to its old length. Saving the same page again after a failure never stores
    // it twice: when the book already ends with it, the save only makes sure it is on the disk.
    // Refuses a book whose last record is not complete. Reads only the start and the end of the book.
    std::string appendPage(const Page& page);
    // Page `n` counted from 1, or nothing when the book has fewer pages.
    std::optional<Page> readPage(std::int64_t n) const;
    // Page `n`, or the last page when the book has fewer than `n`; nothing for a book without pages.
    std::optional<std::pair<std::int64_t, Page>> readPageOrLast(std::int64_t n) const;
    // Streams every page record in order, still enciphered, with its position; stop by returning false. The fields
    // are views into the reader's buffer, valid only during their call: nothing is copied.
    void forEachRecord(const std::function<bool(std::int64_t position, const RecordView& record)>& visit) const;
    Page decodePage(const Record& record) const;
    Page decodePage(const RecordView& record) const;

    // Rewrites.
    void refreshDate(const std::string& date);
    void replaceFlags(const std::string& flags);
    void replaceCoverName(const std::string& coverName);
    // Field 4 of the page whose deciphered number equals `pageNumber` (" 2") becomes `text`.
    void replacePage(const std::string& pageNumber, const std::string& text);
    // Drops the page at `position` and renumbers the rest from 1.
    void removePage(std::int64_t position);
    // Adds pages after the last one in a single rewrite, so that all of them land or none does. `next` is asked for
    // one page after another, given the number it will get (counted on from the book as it is inside the lock),
    // fills in its date, time and text and returns true, or returns false when there are no more; it may throw to
    // call the whole addition off. A character the key cannot carry is refused with UncarriedCharacter naming the
    // page. Returns the number of pages added.
    std::int64_t appendPages(const std::function<bool(std::int64_t number, Page& page)>& next);
    // Re-enciphers every field under `newKey`; afterwards this object uses the new key. Every field is tried under
    // the new key before anything is written: a character it cannot carry is refused with UncarriedCharacter, and a
    // key the re-enciphered book could not prove with UnprovableKey. After
    // any failure this object keeps the key the file on disk answers to.
    void reencipher(const std::string& newKey);
    // Gives the file a new name in its directory; fails with 58 when that name is taken.
    void rename(const std::string& newName);
    // True when `dir` is the folder the book is in: the folder of its path or, for a book reached through a
    // symbolic link, the folder of the file itself.
    // Folders are told apart by their identity on disk (device and inode), so links, ".." and a trailing separator
    // make no difference. Throws RuntimeError when a folder cannot be looked at.
    bool isIn(const std::string& dir) const;
    // Writes the book into `targetDir` under the same name, header field 2 enciphered anew for that directory. The
    // copy is written beside its destination under the scratch name, synced and renamed into place, so the
    // destination never holds part of a book. An existing file there is replaced, in one step, only with
    // Existing::Replace (else error 58). Throws SameDirectory when `targetDir` is the book's own folder, and
    // UncarriedCharacter when the key cannot carry the folder's name.
    //
    // A move removes the source only once the copy and its folder are synced, holding the source folder's lock from
    // the first read to the removal so that no page another program appends meanwhile is lost; a book reached
    // through a symbolic link is moved as the file itself and the link, which would point at nothing, goes too.
    // A move this user could not finish (the source's folder does not let them remove it) is refused before
    // anything is copied. A moved book keeps its owner (else code::OwnerNotKept); a copy too, where the system
    // allows. This object then names the copy.
    void copyTo(const std::string& targetDir, Existing existing, Transfer transfer);
    // Rescues a damaged book: every page record that can still be read whole is written, renumbered from 1, into a
    // new book beside it under a free name of its own (RescueName), through the scratch file and renamed into place
    // without replacing anything. A header that cannot be read whole is made anew around its check phrase, the
    // folder the book is in and `today`. The damaged file is left as it is. Needs the key proven by what is left of
    // the header (code::BookChangedElsewhere otherwise); error 62 when not even the check phrase can be read.
    RescueReport rescue(const std::string& today);
    // Deletes the book file, under the folder's lock and only when the book as it is then proves the key
    // (code::BookChangedElsewhere otherwise) and its owner may write it (70).
    void remove();

private:
    using HeaderChange = std::function<void(RecordEdit&)>;
    // Returns false to drop the record.
    using PageChange = std::function<bool(std::int64_t position, RecordEdit&)>;
    // Writes further records after the last page, given the number of pages written before them.
    using Tail = std::function<void(std::int64_t pages, RecordWriter&)>;
    void rewrite(const HeaderChange& header, const PageChange& page, const Tail& tail = {});
    // Writes the records of `in` (the file `source` describes) to the scratch file in `dir`, changed on the way, and
    // renames it over `target`, replacing a file there only with Existing::Replace; `lastCheck` runs just before the
    // rename. The scratch file takes the source's permissions, and its owner as `owner` says. On any failure the
    // scratch file goes and nothing else has changed.
    void writeThroughScratch(FileHandle& in, const struct stat& source, Owner owner, const std::string& dir,
                             const std::string& target, Existing existing, const std::function<void()>& lastCheck,
                             const HeaderChange& header, const PageChange& page, const Tail& tail = {});
    // The path as the file system knows it, and the same with every link resolved.
    std::string native() const;
    std::string realPath() const;

    std::string m_path;
    std::string m_key;
    FileSystem* m_fs;
};

} // namespace dayvell

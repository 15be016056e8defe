// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"
#include "Rescue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// How a book's records lie in its file. A book (Book.h) is the same whatever its kind: a header and pages of plain
// text, read and changed by the same operations under the same transaction. Each kind of book file is one format,
// in a file of its own, behind the interfaces below; the first bytes of a file say which format reads it.
namespace dayvell {

enum class BookKind {
    // Five quoted fields a line, each field enciphered by adding the password's character codes: the format every
    // copy of the program reads, and the default.
    Described,
    // Authenticated encryption under a random book key that the password only wraps (docs/sealed-book-format.md).
    Sealed,
};

inline constexpr std::string_view kNoCoverName = "___";
inline constexpr std::string_view kNewBookFlags = "0111111";
inline constexpr std::string_view kEndMark = "_";

// The header of a book, as plain text.
struct BookHeader {
    std::string directory;
    std::string coverName;
    std::string lastAccess;
    std::string flags;
};

// A page, as plain text (the end mark carries nothing).
struct Page {
    std::string number;
    std::string date;
    std::string time;
    std::string text;
};

// A page as a reader hands it over: plain text in the reader's buffers, valid until its next call.
struct PageView {
    std::string_view number;
    std::string_view date;
    std::string_view time;
    std::string_view text;
    std::string_view endMark;
};

// A page copied out of a reader's buffers.
inline Page PageOf(const PageView& view) {
    return {std::string(view.number), std::string(view.date), std::string(view.time), std::string(view.text)};
}

// The field of a book a character sits in.
enum class Place { CheckPhrase, Folder, CoverName, LastAccess, Flags, Page };

// How many characters a password of a kind of book has.
struct PasswordRange {
    std::size_t least = 0;
    std::size_t most = 0;
    bool fits(std::string_view password) const { return password.size() >= least && password.size() <= most; }
};

// What a rewrite of a book changes, in plain text; what it does not name is kept. A format copies what is kept as
// cheaply as it can (enciphered fields as they are, sealed pages that keep their place unopened again).
struct BookChange {
    std::optional<std::string> folder;
    std::optional<std::string> coverName;
    std::optional<std::string> lastAccess;
    std::optional<std::string> flags;
    // The page whose number reads `pageNumber` (" 2") gets `pageText`.
    std::optional<std::string> pageNumber;
    std::string pageText;
    // The page at this position (from 1), if there is one, is dropped, and every page is numbered by its place.
    std::optional<std::int64_t> removed;
    // Pages added after the last one: asked for one after another with the number each will have, until it returns
    // false. Counts them into `added`.
    std::function<bool(std::int64_t number, Page& page)> more;
    std::int64_t added = 0;
    // The same kind of book under another password, for a format that cannot change it in place.
    std::optional<std::string> password;
};

// A new book of one format written into an empty file: the header first, then the pages in order. Nothing is
// synced: the transaction that placed the file does that. Throws what the format cannot hold, naming the place.
class FormatWriter {
public:
    virtual ~FormatWriter() = default;
    virtual void writeHeader(const BookHeader& header) = 0;
    // Page `position` (from 1), numbered as it says.
    virtual void writePage(std::int64_t position, const PageView& page) = 0;
    virtual void finish() = 0;
};

// One book file of one format, open for one operation, under a password the format has checked. The header and the
// pages are read forward from the start; the other calls are whole operations, each on a reader of its own.
class FormatReader {
public:
    virtual ~FormatReader() = default;
    virtual BookHeader header() = 0;
    // The next page (the header is passed over when it was not read); false at the end of the book.
    virtual bool nextPage(PageView& page) = 0;
    // The same without handing the page over, as cheaply as the format allows.
    virtual bool skipPage() = 0;

    virtual std::int64_t countPages() = 0;
    // The number of pages as the end of the book tells it, where the format can learn it without reading all.
    virtual std::int64_t countFromEnd() { return countPages(); }
    // Page `n` (at least 1), or the last page when the book has fewer; nothing for a book without pages.
    virtual std::optional<std::pair<std::int64_t, Page>> pageOrLast(std::int64_t n) = 0;
    // Every page holding `upperNeedle` (capitals, as UpperCp1252 makes them) in its number, date line, time and
    // text joined together; `onMatch` is given its fields, the text at least as far as a result line shows it.
    virtual void search(std::string_view upperNeedle, const std::function<void(const PageView&)>& onMatch);

    // Adds a page at the end of the file (open for reading and writing) and returns the number it took: the book's
    // page count as it is now, plus one.
    virtual std::int64_t append(const Page& page) = 0;
    // Writes the book, changed as `change` says, into the empty file `out` in this format.
    virtual void copyChanged(int out, BookChange& change) = 0;
    // Wraps the book anew for `password`, in place, where the format can do so without rewriting the book: the
    // cost does not depend on its size. False for a format that cannot, which nothing has then touched.
    virtual bool changePasswordInPlace(std::string_view password);
};

// How strictly a reader checks its password when it opens.
enum class Check {
    // Enough for reading: what the password deciphers cannot be garbage.
    Reading,
    // Before a change: the book must prove the password beyond doubt and be whole as far as a change depends on it.
    Writing,
};

class BookFormat {
public:
    virtual ~BookFormat() = default;
    virtual BookKind kind() const = 0;
    // Whether a file that begins with `start` (its first 8 bytes, or all of a shorter file) is of this format.
    virtual bool recognises(std::string_view start) const = 0;
    virtual PasswordRange passwords() const = 0;

    // The index of the first character of `field`, at `from` or after it, that a book of this format under
    // `password` cannot hold; npos when it holds them all. Costs nothing on the disk.
    virtual std::size_t firstUnstorable(std::string_view field, std::size_t from, std::string_view password) const = 0;
    // Throws, naming `place` and `page`, when a book of this format under `password` cannot hold all of `field`.
    virtual void refuseUnstorable(std::string_view field, Place place, std::int64_t page,
                                  std::string_view password) const = 0;

    // Checks the file open on `fd` as far as it can be checked without the password: that it begins as a book of
    // this format does. Throws RuntimeError (62 when it does not).
    virtual void inspect(FileSystem& fs, int fd) const = 0;
    // Whether `password` opens the book open on `fd`. Reads only the start of the file, and as leniently as the
    // format allows, so that a damaged book can still be opened and rescued.
    virtual bool proves(FileSystem& fs, int fd, std::string_view password) const = 0;
    // A reader of the book open on `fd` under `password`. Throws RuntimeError(BookChangedElsewhere) when the
    // password does not open it (another copy changed the password since this one opened the book).
    virtual std::unique_ptr<FormatReader> open(FileSystem& fs, int fd, std::string_view password,
                                               Check check) const = 0;
    // A writer of a new book into the empty file `fd` under `password`. Throws what this format refuses of the
    // password.
    virtual std::unique_ptr<FormatWriter> create(FileSystem& fs, int fd, std::string_view password) const = 0;
    // A writer that writes nothing but refuses what create()'s writer would, as early: a content can be tried
    // before anything is opened for writing. Nothing when the format refuses no content, only passwords, which it
    // refuses here already.
    virtual std::unique_ptr<FormatWriter> trial(std::string_view password) const = 0;
    // Writes every page of the damaged book open on `in` that can still be read whole into a new book of this
    // format in the empty file `out`, numbered from 1 again, and says what was lost. A header that cannot be read
    // is replaced by `fresh`. Throws RuntimeError(BookChangedElsewhere) when `password` is not the book's.
    virtual RescueReport rescue(FileSystem& fs, int in, int out, std::string_view password,
                                const BookHeader& fresh) const = 0;
};

// The format of a kind of book.
const BookFormat& FormatOf(BookKind kind);
// The format a file beginning with `start` is read by: the described one when no other recognises it, so that a
// file that is no book at all is refused as a described book is.
const BookFormat& FormatOfFile(std::string_view start);
// How many of a file's first bytes FormatOfFile needs.
inline constexpr std::size_t kKindBytes = 8;

} // namespace dayvell

// SPDX-License-Identifier: GPL-3.0-or-later
#include "Book.h"

#include "Numbers.h"
#include "RuntimeError.h"
#include "SecureMemory.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace dayvell {

namespace {

std::string FileName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// The scratch file's name is taken: a book by that name would be destroyed by the next rewrite in its directory.
void RefuseScratchName(const std::string& path) {
    if (IsScratchName(FileName(path)))
        throw RuntimeError(code::BadFileName, "dvltemp.dvl is the name of Dayvell's scratch file");
}

// The format of the book open on `fd`, from its first bytes.
const BookFormat& FormatOfOpen(FileSystem& fs, int fd) {
    char start[kKindBytes] = {};
    const std::size_t got = ReadAt(fs, fd, start, sizeof start, 0);
    return FormatOfFile(std::string_view(start, got));
}

// A book file open for one operation, and the format it is in.
struct OpenedBook {
    // Filled by the open: declared first, so that it is not cleared again after it.
    struct stat status {};
    FileHandle file;
    const BookFormat* format = nullptr;

    OpenedBook(FileSystem& fs, const std::string& path, int flags)
        : file(OpenBookFile(fs, path, flags, status)), format(&FormatOfOpen(fs, file.fd())) {}
    int fd() const { return file.fd(); }
};

} // namespace

SameDirectory::SameDirectory() : RuntimeError(code::PathFileAccessError, "The book is already in that folder") {}

bool IsScratchName(std::string_view name) {
    return std::equal(name.begin(), name.end(), kScratchName.begin(), kScratchName.end(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool HasBookExtension(std::string_view name) {
    return name.size() >= kBookExtension.size() &&
           std::equal(kBookExtension.begin(), kBookExtension.end(), name.end() - kBookExtension.size(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

Book::Book(std::string path, std::string password, FileSystem& fs)
    : m_path(std::move(path)), m_password(std::move(password)), m_fs(&fs) {}

Book::~Book() {
    WipeString(m_password);
}

Book::Book(const Book& other)
    : m_path(other.m_path), m_password(other.m_password), m_fs(other.m_fs), m_format(other.m_format) {}

Book& Book::operator=(const Book& other) {
    if (this != &other) {
        m_path = other.m_path;
        // Overwritten before it is given another value, which may need a buffer of its own.
        WipeString(m_password);
        m_password = other.m_password;
        m_fs = other.m_fs;
        m_format = other.m_format;
    }
    return *this;
}

Book::Book(Book&& other) noexcept
    : m_path(std::move(other.m_path)), m_password(std::move(other.m_password)), m_fs(other.m_fs),
      m_format(other.m_format) {
    // A short password moves by copying its characters: the ones left behind are overwritten.
    WipeString(other.m_password);
}

Book& Book::operator=(Book&& other) noexcept {
    if (this != &other) {
        m_path = std::move(other.m_path);
        WipeString(m_password);
        m_password = std::move(other.m_password);
        WipeString(other.m_password);
        m_fs = other.m_fs;
        m_format = other.m_format;
    }
    return *this;
}

BookHeader Book::NewHeader(std::string directory, std::string date) {
    return {std::move(directory), std::string(kNoCoverName), std::move(date), std::string(kNewBookFlags)};
}

PasswordRange Book::PasswordsOf(BookKind kind) {
    return FormatOf(kind).passwords();
}

void Book::Create(FileSystem& fs, const std::string& path, const std::string& password, const BookHeader& header,
                  BookKind kind) {
    RefuseScratchName(path);
    // The book appears whole or not at all: written and synced under the scratch name, then linked into place
    // without replacing anything. A crash before that leaves no empty book that could neither be opened nor made
    // again. A diary is private: only its owner may read it, whatever the process's umask allows.
    const std::string target = NativePath(path);
    const std::string dir = ParentDirectory(target);
    DirectoryLock lock(fs, dir);
    ScratchFile out(fs, dir);
    {
        const auto writer = FormatOf(kind).create(fs, out.fd(), password);
        writer->writeHeader(header);
        writer->finish();
    }
    out.finish();
    out.placeAs(target, Existing::Keep);
    lock.syncMadeChange();
}

BookKind Book::kind() const {
    OpenedBook book(*m_fs, native(), O_RDONLY);
    m_format = book.format;
    return book.format->kind();
}

BookKind Book::inspect() const {
    OpenedBook book(*m_fs, native(), O_RDONLY);
    book.format->inspect(*m_fs, book.fd());
    m_format = book.format;
    return book.format->kind();
}

bool Book::checkPassword() const {
    OpenedBook book(*m_fs, native(), O_RDONLY);
    m_format = book.format;
    return book.format->proves(*m_fs, book.fd(), m_password);
}

BookHeader Book::readHeader() const {
    OpenedBook book(*m_fs, native(), O_RDONLY);
    return book.format->open(*m_fs, book.fd(), m_password, Check::Reading)->header();
}

std::int64_t Book::countPages() const {
    OpenedBook book(*m_fs, native(), O_RDONLY);
    return book.format->open(*m_fs, book.fd(), m_password, Check::Reading)->countPages();
}

std::int64_t Book::pageCountAtEnd() const {
    OpenedBook book(*m_fs, native(), O_RDONLY);
    return book.format->open(*m_fs, book.fd(), m_password, Check::Reading)->countFromEnd();
}

std::optional<Page> Book::readPage(std::int64_t n) const {
    if (n < 1)
        return std::nullopt;
    OpenedBook book(*m_fs, native(), O_RDONLY);
    const auto reader = book.format->open(*m_fs, book.fd(), m_password, Check::Reading);
    for (std::int64_t i = 1; i < n; ++i) {
        if (!reader->skipPage())
            return std::nullopt;
    }
    PageView page;
    if (!reader->nextPage(page))
        return std::nullopt;
    return PageOf(page);
}

std::optional<std::pair<std::int64_t, Page>> Book::readPageOrLast(std::int64_t n) const {
    if (n < 1)
        return std::nullopt;
    OpenedBook book(*m_fs, native(), O_RDONLY);
    return book.format->open(*m_fs, book.fd(), m_password, Check::Reading)->pageOrLast(n);
}

void Book::forEachPage(const std::function<bool(std::int64_t, const PageView&)>& visit) const {
    OpenedBook book(*m_fs, native(), O_RDONLY);
    const auto reader = book.format->open(*m_fs, book.fd(), m_password, Check::Reading);
    PageView page;
    for (std::int64_t position = 1; reader->nextPage(page); ++position) {
        if (!visit(position, page))
            return;
    }
}

void Book::search(std::string_view upperNeedle, const std::function<void(const PageView&)>& onMatch) const {
    OpenedBook book(*m_fs, native(), O_RDONLY);
    book.format->open(*m_fs, book.fd(), m_password, Check::Reading)->search(upperNeedle, onMatch);
}

std::size_t Book::firstUnstorable(std::string_view field, std::size_t from) const {
    if (!m_format)
        kind();
    return m_format->firstUnstorable(field, from, m_password);
}

void Book::refuseUnstorable(std::string_view field, Place place, std::int64_t page) const {
    kind();
    m_format->refuseUnstorable(field, place, page, m_password);
}

std::string Book::appendPage(const Page& page) {
    const std::string real = realPath();
    DirectoryLock lock(*m_fs, ParentDirectory(real));
    // Read and written in place: the page goes at the end, and a sealed book's tally where it lies.
    OpenedBook book(*m_fs, real, O_RDWR);
    RefuseWriteProtected(*m_fs, real, book.status);
    if (book.status.st_size == 0)
        throw RuntimeError(code::PastEndOfFile); // no header: not a book
    // The book as it is now: still opened by this password, and ending where a page may follow.
    std::int64_t number = 0;
    {
        const auto reader = book.format->open(*m_fs, book.fd(), m_password, Check::Writing);
        number = reader->append(page);
    }
    // The page is synced: a close that fails now cannot lose it, and reporting it would invite a second copy.
    book.file.closeQuietly();
    return PageNumberText(number);
}

std::string Book::native() const {
    return NativePath(m_path);
}

std::string Book::realPath() const {
    return m_fs->resolve(native());
}

void Book::writeThroughScratch(FileHandle& in, const struct stat& source, Owner owner, const std::string& dir,
                               const std::string& target, Existing existing, const std::function<void()>& lastCheck,
                               const std::function<void(int out)>& fill) {
    ScratchFile out(*m_fs, dir);
    out.takeOwner(source, owner);
    fill(out.fd());
    out.takePermissions(in.fd(), source);
    in.close();
    out.finish();
    lastCheck();
    out.placeAs(target, existing);
}

void Book::rewrite(const std::function<void(const BookFormat&, int in, int out)>& fill,
                   const std::function<bool(const std::string& real, const BookFormat& format)>& inPlace) {
    const std::string real = realPath();
    const std::string dir = ParentDirectory(real);
    RefuseScratchName(real);
    DirectoryLock lock(*m_fs, dir);
    OpenedBook book(*m_fs, real, O_RDONLY);
    // Only a book its owner may write is replaced; checked again just before the rename, so that a book made
    // read-only meanwhile is not replaced either.
    auto refuseProtected = [&] {
        struct stat now {};
        if (m_fs->stat(real.c_str(), &now) != 0)
            throw ErrnoError(errno);
        RefuseWriteProtected(*m_fs, real, now);
    };
    refuseProtected();
    if (inPlace && inPlace(real, *book.format))
        return;
    writeThroughScratch(book.file, book.status, Owner::Book, dir, real, Existing::Replace, refuseProtected,
                        [&](int out) { fill(*book.format, book.fd(), out); });
    lock.syncMadeChange();
}

void Book::rewrite(BookChange& change) {
    rewrite([&](const BookFormat& format, int in, int out) {
        format.open(*m_fs, in, m_password, Check::Writing)->copyChanged(out, change);
    });
}

void Book::refreshDate(const std::string& date) {
    BookChange change;
    change.lastAccess = date;
    rewrite(change);
}

void Book::replaceFlags(const std::string& flags) {
    BookChange change;
    change.flags = flags;
    rewrite(change);
}

void Book::replaceCoverName(const std::string& coverName) {
    BookChange change;
    change.coverName = coverName;
    rewrite(change);
}

void Book::replacePage(const std::string& pageNumber, const std::string& text) {
    BookChange change;
    change.pageNumber = pageNumber;
    change.pageText = text;
    rewrite(change);
}

void Book::removePage(std::int64_t position) {
    BookChange change;
    change.removed = position;
    rewrite(change);
}

std::int64_t Book::appendPages(const std::function<bool(std::int64_t number, Page& page)>& next) {
    BookChange change;
    change.more = next;
    rewrite(change);
    return change.added;
}

void Book::changePassword(const std::string& newPassword) {
    changePassword(newPassword, kind());
}

namespace {

// Everything `reader` holds, in plain text, written by `writer` in its own format.
void CopyContent(FormatReader& reader, FormatWriter& writer) {
    writer.writeHeader(reader.header());
    PageView page;
    for (std::int64_t position = 1; reader.nextPage(page); ++position)
        writer.writePage(position, page);
    writer.finish();
}

} // namespace

void Book::changePassword(const std::string& newPassword, BookKind kind) {
    try {
        // Everything the book holds is tried in its new form before anything is opened for writing, so that a
        // password that cannot hold the book is refused at once, naming where. Tried again while writing: another
        // running copy may add a page meanwhile.
        if (const auto trial = FormatOf(kind).trial(newPassword)) {
            OpenedBook book(*m_fs, native(), O_RDONLY);
            const auto reader = book.format->open(*m_fs, book.fd(), m_password, Check::Writing);
            CopyContent(*reader, *trial);
        }
        rewrite(
            [&](const BookFormat& from, int in, int out) {
                const auto reader = from.open(*m_fs, in, m_password, Check::Writing);
                if (from.kind() == kind) {
                    BookChange change;
                    change.password = newPassword;
                    reader->copyChanged(out, change);
                    return;
                }
                // Another kind: every page in plain text from one format into the other.
                CopyContent(*reader, *FormatOf(kind).create(*m_fs, out, newPassword));
            },
            [&](const std::string& real, const BookFormat& from) {
                // A format that can wraps the book anew where it lies; the file is opened for writing only for that.
                if (from.kind() != kind)
                    return false;
                OpenedBook inPlace(*m_fs, real, O_RDWR);
                if (inPlace.format != &from ||
                    !from.open(*m_fs, inPlace.fd(), m_password, Check::Writing)->changePasswordInPlace(newPassword))
                    return false;
                // Synced already: a close that fails now cannot undo the change, and must not be reported as if
                // the old password were still in force.
                inPlace.file.closeQuietly();
                return true;
            });
        WipeString(m_password);
        m_password = newPassword;
        m_format = &FormatOf(kind);
    } catch (...) {
        // The password in force is the one the file on disk answers to, whatever step failed.
        try {
            if (Book(m_path, newPassword, *m_fs).checkPassword()) {
                WipeString(m_password);
                m_password = newPassword;
            }
        } catch (...) {
        }
        m_format = nullptr;
        throw;
    }
}

void Book::rename(const std::string& newName) {
    if (newName.empty() || newName.find('/') != std::string::npos || newName.find('\0') != std::string::npos ||
        newName == "." || newName == "..")
        throw RuntimeError(code::BadFileName);
    const std::string dir = ParentDirectory(native());
    const std::string target = JoinPath(dir, NativePath(newName));
    RefuseScratchName(target);
    DirectoryLock lock(*m_fs, dir);
    {
        // The name given must still be this book, opened by this password.
        OpenedBook book(*m_fs, native(), O_RDONLY);
        book.format->open(*m_fs, book.fd(), m_password, Check::Writing);
    }
    // The content does not change, so the file keeps its bytes, its owner and its permissions, and simply takes
    // the new name in one step.
    RenameNoReplace(*m_fs, native(), target);
    lock.syncMadeChange();
    m_path = JoinPath(ParentDirectory(m_path), newName);
}

bool Book::isIn(const std::string& dir) const {
    const FolderLock target(*m_fs, NativePath(dir));
    return target.sameAs(FolderLock(*m_fs, ParentDirectory(native()))) ||
           target.sameAs(FolderLock(*m_fs, ParentDirectory(realPath())));
}

void Book::copyTo(const std::string& targetDir, Existing existing, Transfer transfer) {
    const std::string dir = WithSeparator(targetDir);
    const std::string name = FileName(m_path);
    // Before anything is written: the new folder's name must fit in the book.
    refuseUnstorable(dir, Place::Folder);
    const std::string source = realPath();
    const std::string nativeDir = NativePath(dir);
    const std::string target = nativeDir + NativePath(name);
    RefuseScratchName(source);
    RefuseScratchName(target);

    // Reading a book onto itself would destroy it: the folders are compared as the disk knows them.
    FolderLock from(*m_fs, ParentDirectory(source));
    FolderLock to(*m_fs, nativeDir);
    if (to.sameAs(from) || to.sameAs(FolderLock(*m_fs, ParentDirectory(native()))))
        throw SameDirectory();
    // The source folder stays locked until a move has removed the source: a page another running copy appends
    // meanwhile either lands before the copy is read or finds the book gone, never in a file about to be deleted.
    (from.before(to) ? from : to).lock();
    (from.before(to) ? to : from).lock();

    OpenedBook book(*m_fs, source, O_RDONLY);
    // A move that could not remove the source would end with the book in two places: found out before the copy.
    if (transfer == Transfer::Move)
        RefuseUnremovable(*m_fs, from, book.status);
    // A book at the destination is replaced only when asked, and only when its owner may write it.
    auto refuseKeptTarget = [&] {
        struct stat targetStat {};
        if (m_fs->stat(target.c_str(), &targetStat) != 0) {
            if (errno == ENOENT)
                return;
            throw ErrnoError(errno);
        }
        if (targetStat.st_dev == book.status.st_dev && targetStat.st_ino == book.status.st_ino)
            throw RuntimeError(code::PathFileAccessError, "A book cannot be copied onto itself");
        if (existing == Existing::Keep)
            throw RuntimeError(code::FileExists);
        RefuseWriteProtected(*m_fs, target, targetStat);
    };
    refuseKeptTarget();

    // The copy is written beside its destination and renamed into place, so the destination never holds part of a
    // book. A moved book stays its owner's; a copy is its owner's where the system lets the writer give it away.
    BookChange change;
    change.folder = dir;
    writeThroughScratch(book.file, book.status, transfer == Transfer::Move ? Owner::Book : Owner::BookIfAllowed,
                        nativeDir, target, existing, refuseKeptTarget, [&](int out) {
                            book.format->open(*m_fs, book.fd(), m_password, Check::Writing)->copyChanged(out, change);
                        });
    if (transfer == Transfer::Copy) {
        to.syncMadeChange();
        return;
    }

    // The source goes only once the copy is surely on the disk: a crash after the removal must find the copy.
    to.sync();
    if (m_fs->unlink(source.c_str()) != 0)
        throw ErrnoError(errno);
    from.syncMadeChange();
    // A book reached through a symbolic link: the link now points at nothing and goes too. Only a path that
    // leads nowhere is removed, never a file.
    const std::string link = native();
    struct stat left {};
    if (source != link && m_fs->stat(link.c_str(), &left) != 0 && errno == ENOENT)
        m_fs->unlink(link.c_str());
    m_path = dir + name;
}

RescueReport Book::rescue(const std::string& today) {
    const std::string real = realPath();
    const std::string dir = ParentDirectory(real);
    DirectoryLock lock(*m_fs, dir);
    OpenedBook book(*m_fs, real, O_RDONLY);
    RescueReport report;
    // The rescued book is a new book: it belongs to whoever rescues it, with the damaged book's permissions.
    ScratchFile out(*m_fs, dir);
    report = book.format->rescue(*m_fs, book.fd(), out.fd(), m_password,
                                 NewHeader(WithSeparator(ParentDirectory(m_path)), today));
    out.takePermissions(book.fd(), book.status);
    book.file.close();
    out.finish();
    // A name nothing has yet: never the book's own, never the scratch file's, never one another file holds.
    const std::string ownName = FileName(m_path);
    for (int attempt = 1;; ++attempt) {
        if (attempt > 99)
            throw RuntimeError(code::FileExists);
        const std::string name = RescueName(ownName, attempt);
        if (IsScratchName(name) || name == ownName)
            continue;
        try {
            out.placeAs(JoinPath(dir, NativePath(name)), Existing::Keep);
        } catch (const RuntimeError& e) {
            if (e.code() != code::FileExists)
                throw;
            continue;
        }
        report.fileName = name;
        break;
    }
    lock.syncMadeChange();
    return report;
}

void Book::remove() {
    // A change like any other: under the folder's lock, and only with a password the book as it is now proves.
    const std::string path = native();
    DirectoryLock lock(*m_fs, ParentDirectory(path));
    {
        OpenedBook book(*m_fs, path, O_RDONLY);
        RefuseWriteProtected(*m_fs, path, book.status);
        book.format->open(*m_fs, book.fd(), m_password, Check::Writing);
    }
    if (m_fs->unlink(path.c_str()) != 0)
        throw ErrnoError(errno);
    lock.syncMadeChange();
}

} // namespace dayvell

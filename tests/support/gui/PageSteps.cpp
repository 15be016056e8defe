// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageSteps.h"

#include "core/Codec.h"
#include "core/Numbers.h"
#include "core/Record.h"
#include "core/SharedState.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>

#include <csignal>

namespace dayvell::test {

Page StampedPage(std::int64_t number, std::string text) {
    return {PageNumberText(number), kStampedDate, kStampedTime, std::move(text)};
}

Diary::Diary(const std::vector<Page>& pages, const std::string& flags, const std::string& coverName)
    : m_path(m_dir.file("diary.dvl")), m_coverName(coverName), m_flags(flags) {
    BookHeader header = Book::NewHeader(m_dir.dir(), "12/1/2026");
    header.coverName = coverName;
    header.flags = flags;
    Book::Create(SystemFileSystem(), m_path, kDiaryPassword, header);
    m_header = ReadFileBytes(m_path);
    Book book(m_path, kDiaryPassword);
    for (const Page& page : pages)
        book.appendPage(page);
}

std::string Diary::bytes() const {
    return ReadFileBytes(m_path);
}

std::string Diary::with(const std::vector<Page>& pages) const {
    std::string bytes = m_header;
    for (const Page& p : pages)
        AppendRecord(bytes, {Encode(p.number, kDiaryPassword), Encode(p.date, kDiaryPassword),
                             Encode(p.time, kDiaryPassword), Encode(p.text, kDiaryPassword), "_"});
    return bytes;
}

void Diary::open(SharedState& state) const {
    state.bookdir = m_dir.dir();
    state.bookname = "diary.dvl";
    state.password = kDiaryPassword;
    state.passwordok = 1;
    state.purpose = 0;
    state.covername = m_coverName;
    state.secflags = m_flags;
    state.gotopage = 0;
}

void typeText(QWidget* widget, const QString& text) {
    for (char32_t c : text.toUcs4()) {
        if (c == U'\n') {
            QTest::keyClick(widget, Qt::Key_Return);
        } else if (c < 0x80) {
            QTest::keyClick(widget, static_cast<char>(c));
        } else if (c < 0x100) {
            // A key of its own on many keyboards, with no key code of its own in Qt.
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString::fromUcs4(&c, 1), Qt::NoModifier);
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString::fromUcs4(&c, 1));
            QApplication::sendEvent(widget, &commit);
        }
    }
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    // Past the limit the system would also send a signal that ends the process; the failed write is enough.
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_before);
    rlimit limit = m_before;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_before);
}

} // namespace dayvell::test

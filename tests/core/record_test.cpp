// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Record.h"
#include "core/RuntimeError.h"
#include "core/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>

using namespace dayvell;
using dayvell::test::TempDir;

namespace {

std::vector<Record> ReadAll(const std::string& path) {
    FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
    RecordReader reader(SystemFileSystem(), in.fd());
    std::vector<Record> out;
    Record r;
    while (reader.next(r))
        out.push_back(r);
    return out;
}

int ReadError(const std::string& bytes) {
    TempDir tmp;
    test::WriteFileBytes(tmp.file("b.dvl"), bytes);
    try {
        ReadAll(tmp.file("b.dvl"));
    } catch (const RuntimeError& e) {
        return e.code();
    }
    return 0;
}

} // namespace

TEST(Record, WritesFiveQuotedFieldsWithCrLf) {
    EXPECT_EQ(FormatRecord({"a", "", "b c", "\xE9", "_"}), std::string("\"a\",\"\",\"b c\",\"\xE9\",\"_\"\r\n"));
}

TEST(Record, RefusesFieldsThatWouldBreakTheFile) {
    for (const char* bad : {"a\"b", "a\rb", "a\nb"}) {
        SCOPED_TRACE(bad);
        try {
            FormatRecord({"ok", bad, "", "", "_"});
            FAIL() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.code(), 5);
        }
    }
}

TEST(Record, ReadsBackWhatWasWritten) {
    TempDir tmp;
    const std::vector<Record> records = {{"h1", "h2", "h3", "h4", "h5"},
                                         {"\x01\xFF,", "", "  x", std::string(200000, 'q'), "_"}};
    std::string bytes;
    for (const auto& r : records)
        AppendRecord(bytes, r);
    test::WriteFileBytes(tmp.file("b.dvl"), bytes);
    EXPECT_EQ(ReadAll(tmp.file("b.dvl")), records);
}

TEST(Record, ReadsRecordsThatStraddleEveryPieceOfTheFile) {
    // Thousands of records of many lengths: the file is read in pieces, and records fall across every boundary.
    TempDir tmp;
    std::vector<Record> records;
    std::string bytes;
    for (int i = 0; i < 3000; ++i) {
        records.push_back({std::to_string(i), std::string(static_cast<size_t>(i % 7), ','),
                           std::string(static_cast<size_t>(i % 311), 'x'), std::string(static_cast<size_t>(i % 5), ' '),
                           "_"});
        AppendRecord(bytes, records.back());
    }
    test::WriteFileBytes(tmp.file("b.dvl"), bytes);
    EXPECT_EQ(ReadAll(tmp.file("b.dvl")), records);
}

TEST(Record, SkipsSpacesBeforeAnOpeningQuoteAndAcceptsAMissingFinalLineEnd) {
    TempDir tmp;
    test::WriteFileBytes(tmp.file("b.dvl"), "  \"a\", \"b\",\"c\",   \"d\",\"e\"\r\n\"1\",\"2\",\"3\",\"4\",\"_\"");
    auto records = ReadAll(tmp.file("b.dvl"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (Record{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(records[1], (Record{"1", "2", "3", "4", "_"}));
}

TEST(Record, DamagedFilesAreError62) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"truncated inside a field", "\"a\",\"b\",\"c\",\"d\",\"e\"\r\n\"1\",\"2\",\"3\",\"4"},
        {"truncated between fields", "\"a\",\"b\",\"c\",\"d\",\"e\"\r\n\"1\",\"2\","},
        {"truncated after a field", "\"a\",\"b\",\"c\""},
        {"CR without LF", "\"a\",\"b\",\"c\",\"d\",\"e\"\r"},
        {"missing quotes", "a,b,c,d,e\r\n"},
        {"four fields", "\"a\",\"b\",\"c\",\"d\"\r\n"},
        {"six fields", "\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n"},
        {"plain text file", "Dear diary,\nthis is not a book.\n"},
        {"binary file", std::string("\x7F"
                                    "ELF\x02\x01\x01\x00\x00\x00\"\x00\x22",
                                    13)},
        {"blank line", "\"a\",\"b\",\"c\",\"d\",\"e\"\r\n\r\n"},
        {"only spaces", "    "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadError(c.bytes), 62);
    }
}

TEST(Record, EmptyFileHasNoRecords) {
    TempDir tmp;
    test::WriteFileBytes(tmp.file("b.dvl"), "");
    EXPECT_TRUE(ReadAll(tmp.file("b.dvl")).empty());
}

TEST(Record, MissingFileAndDirectoryHaveTheirOwnCodes) {
    TempDir tmp;
    try {
        OpenFile(SystemFileSystem(), tmp.file("none.dvl"), O_RDONLY);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), 53);
    }
    try {
        OpenFile(SystemFileSystem(), tmp.file("nodir/none.dvl"), O_RDONLY);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), 76);
    }
}

namespace {

// A disk (or pipe, or network file system) that hands out at most a few bytes per read.
class ShortReads : public FileSystem {
public:
    explicit ShortReads(size_t most) : m_most(most) {}
    ssize_t read(int fd, void* buffer, size_t size) override {
        return FileSystem::read(fd, buffer, std::min(size, m_most));
    }

private:
    size_t m_most;
};

// Whatever the reads deliver, the records are those of one whole read, and a damaged file is still 62: parsing
// that goes on where the last read stopped must land in the same places as parsing from a record's start.
TEST(Record, ShortReadsGiveTheSameRecords) {
    TempDir tmp;
    for (size_t most : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{4096}, size_t{65536}}) {
        SCOPED_TRACE("reads of at most " + std::to_string(most));
        // Fields longer than many reads; kept small where each read is a byte or two.
        const size_t longest = most < 100 ? 700 : 200000;
        std::string bytes = "  \"a\", \"b\",\"c\",   \"d\",\"e\"\r\n";
        for (int i = 0; i < 200; ++i)
            AppendRecord(bytes, {std::to_string(i), std::string(static_cast<size_t>(i % 7), ','),
                                 std::string(static_cast<size_t>(i) * 331 % longest, 'x'), " ", "_"});
        bytes += "\"1\",\"2\",\"3\",\"4\",\"_\"";
        test::WriteFileBytes(tmp.file("b.dvl"), bytes);
        const auto whole = ReadAll(tmp.file("b.dvl"));
        ASSERT_EQ(whole.size(), 202u);
        ShortReads fs(most);
        auto readAll = [&](const std::string& path) {
            FileHandle in = OpenFile(fs, path, O_RDONLY);
            RecordReader reader(fs, in.fd());
            std::vector<Record> out;
            Record r;
            while (reader.next(r))
                out.push_back(r);
            return out;
        };
        EXPECT_EQ(readAll(tmp.file("b.dvl")), whole);
        const std::string damaged[] = {bytes.substr(0, bytes.size() - 3), bytes.substr(0, 40),
                                       bytes.substr(0, bytes.find("\r\n") + 1) + "x"};
        for (const auto& d : damaged) {
            test::WriteFileBytes(tmp.file("d.dvl"), d);
            try {
                readAll(tmp.file("d.dvl"));
                ADD_FAILURE() << "no error";
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.code(), 62);
            }
        }
    }
}

// A field larger than the writer's buffer goes to the file directly; the bytes are the same as formatted ones.
TEST(Record, WriterGivesTheSameBytesForFieldsOfEverySize) {
    TempDir tmp;
    const std::vector<Record> records = {{"h", "", "c", "d", "e"},
                                         {" 1", "d", "t", std::string(3 << 20, 'y'), "_"},
                                         {" 2", std::string(600000, 'q'), "t", std::string(700000, 'z'), "_"},
                                         {" 3", "d", "t", "", "_"}};
    std::string expected;
    for (const auto& r : records)
        AppendRecord(expected, r);
    {
        FileHandle out = OpenFile(SystemFileSystem(), tmp.file("w.dvl"), O_WRONLY | O_CREAT, 0600);
        RecordWriter writer(SystemFileSystem(), out.fd());
        for (const auto& r : records)
            writer.write(r);
        writer.flush();
    }
    EXPECT_EQ(test::ReadFileBytes(tmp.file("w.dvl")), expected);
    FileHandle out = OpenFile(SystemFileSystem(), tmp.file("x.dvl"), O_WRONLY | O_CREAT, 0600);
    RecordWriter writer(SystemFileSystem(), out.fd());
    EXPECT_THROW(writer.write(Record{"a", "b", std::string(2 << 20, 'y') + "\"", "d", "_"}), RuntimeError);
    writer.flush();
    EXPECT_EQ(test::ReadFileBytes(tmp.file("x.dvl")), "");
}

} // namespace

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

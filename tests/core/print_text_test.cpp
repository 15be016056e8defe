// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PrintText.h"

#include "core/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace dayvell {
namespace {

using test::ScriptedDialogs;

std::string Repeat(char c, std::size_t n) {
    return std::string(n, c);
}

// Words of `length` letters each followed by one space, `count` times.
std::string Words(std::size_t length, std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; ++i)
        s += Repeat('a' + static_cast<char>(i % 26), length) + ' ';
    return s;
}

std::vector<std::string> SplitAfterCr(const std::string& s) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : s) {
        cur += c;
        if (c == '\r') {
            parts.push_back(cur);
            cur.clear();
        }
    }
    parts.push_back(cur);
    return parts;
}

std::string WithoutCr(std::string s) {
    std::erase(s, '\r');
    return s;
}

TEST(WrapForPrint, WrapsAtTheLastSpaceOfEachFullLine) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const std::string x89 = Repeat('x', 89);
    const std::string words = Words(9, 10);
    const Case cases[] = {
        {"empty", "", ""},
        {"89 characters are left as they are, even without a space", x89, x89},
        {"89 characters with spaces", "ab " + Repeat('y', 86), "ab " + Repeat('y', 86)},
        {"exactly 90 characters break at their last space", "one two " + Repeat('z', 82),
         "one two \r" + Repeat('z', 82)},
        {"a space in the last position leaves nothing to carry", Repeat('w', 89) + " tail",
         Repeat('w', 89) + " \rtail"},
        {"the carry starts the next line and counts towards it",
         Repeat('a', 80) + " " + Repeat('b', 20) + " " + Repeat('c', 75),
         Repeat('a', 80) + " \r" + Repeat('b', 20) + " \r" + Repeat('c', 75)},
        {"a CR in the text ends the line and restarts the count",
         Repeat('a', 85) + "\r\n" + Repeat('b', 3) + " " + Repeat('c', 84),
         Repeat('a', 85) + "\r\n" + Repeat('b', 3) + " " + Repeat('c', 84)},
        {"the LF after a CR counts as a character", Repeat('a', 10) + "\r\n" + Repeat('b', 3) + " " + Repeat('c', 85),
         Repeat('a', 10) + "\r\n" + Repeat('b', 3) + " \r" + Repeat('c', 85)},
        {"a CR that is the 90th character needs no break of its own",
         Repeat('a', 40) + " " + Repeat('b', 48) + "\r" + "more",
         Repeat('a', 40) + " " + Repeat('b', 48) + "\r" + "more"},
        {"only the space character is a break point", "a b" + Repeat('\t', 40) + Repeat('-', 47) + "c",
         "a \rb" + Repeat('\t', 40) + Repeat('-', 47) + "c"},
        {"a run of 150 characters without a space is cut at the width", Repeat('x', 150),
         Repeat('x', 90) + "\r" + Repeat('x', 60)},
        {"a long run after a word breaks at the space, then at the width", "ab " + Repeat('x', 150),
         "ab \r" + Repeat('x', 90) + "\r" + Repeat('x', 60)},
        {"a long run followed by words goes on wrapping at spaces", Repeat('x', 100) + " " + words,
         Repeat('x', 90) + "\r" + Repeat('x', 10) + " " + words.substr(0, 70) + "\r" + words.substr(70)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WrapForPrint(c.text), c.expected);
    }
}

TEST(WrapForPrint, HonoursAnotherWidth) {
    EXPECT_EQ(WrapForPrint("abc def ghi", 5), "abc \rdef \rghi");
    EXPECT_EQ(WrapForPrint("abcd", 5), "abcd");
    EXPECT_EQ(WrapForPrint("abcdefghijkl", 5), "abcde\rfghij\rkl");
    // No width: nothing is wrapped (the empty text included).
    EXPECT_EQ(WrapForPrint("abc def ghi", 0), "abc def ghi");
    EXPECT_EQ(WrapForPrint("", 0), "");
}

// Texts of words of mixed lengths: every printed line fits, every break is at a space, no break comes early, and
// the text is unchanged apart from the breaks put in.
TEST(WrapForPrint, TextsOfWordsPrintInFullLinesOfAtMost90) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> wordLength(1, 17);
    std::uniform_int_distribution<int> letter('a', 'z');
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const std::size_t target = 90 + static_cast<std::size_t>(round) * 7;
        while (text.size() < target) {
            for (int i = wordLength(random); i > 0; --i)
                text += static_cast<char>(letter(random));
            text += ' ';
        }
        SCOPED_TRACE(text);
        const std::string out = WrapForPrint(text);
        EXPECT_EQ(WithoutCr(out), text);

        const auto lines = SplitAfterCr(out);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (i + 1 == lines.size()) {
                EXPECT_LT(line.size(), 90u);
                break;
            }
            ASSERT_GE(line.size(), 2u);
            ASSERT_LE(line.size(), 91u) << "line " << i;
            EXPECT_EQ(line.substr(line.size() - 2), " \r") << "line " << i;
            // The break was due: this line plus the first word of the next would not have fitted.
            const std::string& next = lines[i + 1];
            const std::size_t firstWord = std::min(next.find(' '), next.size());
            EXPECT_GE(line.size() - 1 + firstWord, 90u) << "line " << i;
        }
    }
}

TEST(WrapForPrint, LongRunsLoseNothing) {
    for (std::size_t length : {90u, 91u, 150u, 179u, 180u, 181u, 500u}) {
        SCOPED_TRACE(length);
        const std::string text = "see https://example.org/" + Repeat('p', length) + " for more";
        const std::string out = WrapForPrint(text);
        EXPECT_EQ(WithoutCr(out), text);
        for (const auto& line : SplitAfterCr(out))
            EXPECT_LE(WithoutCr(line).size(), 90u);
    }
}

struct RecordingJob : PrintJob {
    std::vector<std::string> lines;
    int ended = 0;
    void printLine(const std::string& text) override { lines.push_back(text); }
    void end() override { ++ended; }
};

// The wrapping as the printer's rule states it, a character at a time: the yardstick for the one the program runs,
// which copies whole runs.
std::string WrapOneByOne(const std::string& text, std::size_t width) {
    if (text.size() < width)
        return text;
    std::string out;
    std::string line;
    for (char c : text) {
        line += c;
        if (c == '\r') {
            out += line;
            line.clear();
        }
        if (line.size() != width)
            continue;
        const std::size_t space = line.rfind(' ');
        const std::size_t taken = space == std::string::npos ? width : space + 1;
        out += line.substr(0, taken) + '\r';
        line.erase(0, taken);
    }
    return out + line;
}

TEST(WrapForPrint, LaysOutAnyTextAsTheRuleDoesCharacterByCharacter) {
    // Few kinds of character, so that spaces, line breaks and long runs meet at every place a line can end.
    const char alphabet[] = {'a', 'b', ' ', ' ', '\r', '\n', 'x'};
    std::mt19937 rng(90);
    for (int round = 0; round < 4000; ++round) {
        const std::size_t width = round % 3 == 0 ? kPrintWidth : 1 + rng() % 12;
        std::string text(rng() % (3 * width + 20), 'a');
        // Some texts have no space at all, some no line break.
        const std::size_t kinds = round % 5 == 0 ? 2 : round % 7 == 0 ? 4 : std::size(alphabet);
        for (char& c : text)
            c = alphabet[rng() % kinds];
        SCOPED_TRACE("width " + std::to_string(width) + ", text \"" + text + "\"");
        ASSERT_EQ(WrapForPrint(text, width), WrapOneByOne(text, width));
    }
}

TEST(PrintWrapped, PrintsTheWrappedTextAsOneItemAndLeavesTheJobOpen) {
    const std::string text = "first " + Repeat('x', 88) + "\r\nsecond";
    RecordingJob job;
    PrintWrapped(job, text);
    EXPECT_EQ(job.lines, std::vector<std::string>{"first \r" + Repeat('x', 88) + "\r\nsecond"});
    EXPECT_EQ(job.ended, 0);
}

TEST(ExpandTabs, ReachesTheNextMultipleOfEightColumnsCountedFromEachLinesStart) {
    struct Case {
        std::string text;
        std::string expanded;
    };
    const Case cases[] = {
        {"no tabs", "no tabs"},
        {"\t", Repeat(' ', 8)},
        {"a\tb", "a" + Repeat(' ', 7) + "b"},
        {"1234567\tb", "1234567 b"},
        {"12345678\tb", "12345678" + Repeat(' ', 8) + "b"},
        {"\t\t|", Repeat(' ', 16) + "|"},
        {"ab\r\n\tc", "ab\r\n" + Repeat(' ', 8) + "c"},
        {"abc\n\tc", "abc\n" + Repeat(' ', 8) + "c"},
        {"abc\r\tc", "abc\r" + Repeat(' ', 8) + "c"},
        {Repeat('\t', 30) + "|TABEND3", Repeat(' ', 240) + "|TABEND3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ExpandTabs(c.text), c.expanded);
    }
}

// A line of tabs takes the room the tabs take on paper, and what follows them is wrapped onto a line of its own.
TEST(PrintWrapped, ExpandsTabsBeforeWrapping) {
    RecordingJob job;
    PrintWrapped(job, Repeat('\t', 30) + "|TABEND3");
    ASSERT_EQ(job.lines.size(), 1u);
    const std::vector<std::string> lines = SplitAfterCr(job.lines[0]);
    for (const std::string& line : lines)
        EXPECT_LE(WithoutCr(line).size(), kPrintWidth);
    EXPECT_EQ(lines.back(), Repeat(' ', 240 - 2 * kPrintWidth) + "|TABEND3");
    EXPECT_EQ(job.lines[0].find('\t'), std::string::npos);
}

TEST(PrinterReady, AsksAndGoesOnOnlyWithOk) {
    struct Case {
        Answer answer;
        bool ready;
    };
    for (const auto& c : {Case{Answer::Ok, true}, Case{Answer::Cancel, false}}) {
        SCOPED_TRACE(c.ready);
        ScriptedDialogs dialogs;
        dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", c.answer, "Printer check");
        EXPECT_EQ(PrinterReady(dialogs), c.ready);
        ASSERT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(dialogs.shown()[0].buttons, Buttons::OkCancel);
        EXPECT_EQ(dialogs.shown()[0].icon, Icon::Information);
    }
}

} // namespace
} // namespace dayvell

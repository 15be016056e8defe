// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ErrorReporter.h"
#include "core/SealedFormat.h"

#include "core/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace dayvell {
namespace {

using test::ScriptedDialogs;

struct Box {
    std::string text;
    std::string title;
};

struct ReportCase {
    int code;
    std::vector<Box> boxes;
};

// The description wording belongs to the error codes themselves; what the reporter fixes is the layout around it.
std::string Title(int code) {
    return "ERROR   #" + std::to_string(code) + "    !!!!" + ErrorDescription(code);
}

const std::vector<ReportCase>& ReportCases() {
    static const std::vector<ReportCase> cases = {
        {5, {{"Software error. Your dayvell or the main program may be corrupted.", Title(5)}}},
        {52,
         {{"File error!. If using a floppy or Cd, make sure it is properly inserted. Or your dayvell might be "
           "corrupted.",
           Title(52)}}},
        {55, {{"Disk Write error! Make sure floppy disk is not write protected, or CD drive is a CDRW.", Title(55)}}},
        {62, {{"Dont know what this error is.", ""}, {ErrorDescription(62), Title(62)}}},
        {68, {{"Disk Error! Make sure disk is properly inserted into drive.", Title(68)}}},
        {70, {{"Disk Error!! Make sure the disk is not write ptotected.", Title(70)}}},
        {71, {{"Disk Error!! Make sure disk is properly inserted in drive.", Title(71)}}},
        {75, {{"File error! Make sure disk is a writable disk.", Title(75)}}},
        {482, {{"Printer Error!! Make sure the printer is ready to print!", Title(482)}}},
        {20, {}},
        {53, {{ErrorDescription(53), Title(53)}}},
        {61, {{ErrorDescription(61), Title(61)}}},
        {76, {{ErrorDescription(76), Title(76)}}},
        {1001,
         {{"Another copy of Dayvell is changing a book in this folder. Nothing has been changed. Wait a moment and "
           "try again.",
           "ERROR   #1001    !!!!Another copy of Dayvell is changing a book in this folder"}}},
        {1002,
         {{"This dayvell was changed elsewhere, by another copy of Dayvell, since you opened it: its password may "
           "have been changed. Nothing has been saved. Close the book and open it again.",
           "ERROR   #1002    !!!!The book was changed elsewhere"}}},
        {1003,
         {{"This is not a dayvell: a book is an ordinary file, and this name belongs to something else. Nothing has "
           "been read or written.",
           "ERROR   #1003    !!!!Not a book file"}}},
        {1004,
         {{"This dayvell belongs to another user, or to a group of users, and a change made here would take it from "
           "them. Nothing has been changed. Ask its owner to make the change.",
           "ERROR   #1004    !!!!The book belongs to another user"}}},
        {1005,
         {{"This dayvell is sealed, and part of it has been damaged or changed outside Dayvell (the title says "
           "where). Nothing of the damaged part has been shown, and nothing has been written. Keep a copy of the "
           "file as it is.",
           "ERROR   #1005    !!!!Sealed book damaged"}}},
        {1006,
         {{"This dayvell was sealed by a newer version of Dayvell, which this one cannot read. The book is not "
           "damaged: open it with the newer Dayvell.",
           "ERROR   #1006    !!!!Made by a newer Dayvell"}}},
        {1007,
         {{"This dayvell asks for more memory or time to check its password than Dayvell allows, or for less than "
           "it needs. It was not opened: the file may have been changed outside Dayvell.",
           "ERROR   #1007    !!!!Password check limits out of range"}}},
        {1008,
         {{"This page is too large for a sealed book: a page may hold up to 4 GB. Nothing has been written.",
           "ERROR   #1008    !!!!Page too large for a sealed book"}}},
    };
    return cases;
}

void ExpectBoxes(ScriptedDialogs& dialogs, const std::vector<Box>& boxes) {
    for (const auto& b : boxes)
        dialogs.expectMessage(b.text, Answer::Ok, b.title);
}

void ExpectPlainOkBoxes(const ScriptedDialogs& dialogs, std::size_t expected) {
    ASSERT_EQ(dialogs.shown().size(), expected);
    for (const auto& s : dialogs.shown()) {
        EXPECT_FALSE(s.isInput);
        EXPECT_EQ(s.buttons, Buttons::Ok);
        EXPECT_EQ(s.icon, Icon::None);
    }
}

TEST(ErrorReporter, ShowsTheBoxesOfEachCode) {
    for (const auto& c : ReportCases()) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        ScriptedDialogs dialogs;
        ExpectBoxes(dialogs, c.boxes);
        ReportError(RuntimeError(c.code), dialogs);
        ExpectPlainOkBoxes(dialogs, c.boxes.size());
    }
}

TEST(ErrorReporter, TitleCarriesTheDescriptionTheErrorWasRaisedWith) {
    EXPECT_EQ(ErrorTitle(71, "Disk not ready"), "ERROR   #71    !!!!Disk not ready");
    EXPECT_EQ(ErrorTitle(1234567, ""), "ERROR   #1234567    !!!!");

    ScriptedDialogs dialogs;
    dialogs.expectMessage("No such book: /tmp/x.dvl", Answer::Ok, "ERROR   #53    !!!!No such book: /tmp/x.dvl");
    ReportError(RuntimeError(53, "No such book: /tmp/x.dvl"), dialogs);
}

TEST(ErrorReporter, ASealedBooksDamageIsPlacedInTheTitle) {
    ScriptedDialogs dialogs;
    dialogs.expectMessage(ErrorMessageText(code::SealedBookDamaged), Answer::Ok,
                          "ERROR   #1005    !!!!Sealed book damaged at page 7");
    ReportError(SealedBookDamaged(7), dialogs);
}

TEST(ErrorReporter, MessageTextIsEmptyForCodesWithoutOne) {
    for (int c : {0, 1, 7, 20, 53, 57, 58, 61, 62, 76, 481, 483, -5})
        EXPECT_EQ(ErrorMessageText(c), "") << "code " << c;
}

TEST(Guarded, ReportsAFailedBody) {
    for (const auto& c : ReportCases()) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        ScriptedDialogs dialogs;
        ExpectBoxes(dialogs, c.boxes);
        EXPECT_FALSE(Guarded(dialogs, [&] { throw RuntimeError(c.code); }));
        ExpectPlainOkBoxes(dialogs, c.boxes.size());
    }
}

TEST(Guarded, BodyThatCompletesShowsNothing) {
    ScriptedDialogs dialogs;
    int runs = 0;
    EXPECT_TRUE(Guarded(dialogs, [&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST(Guarded, UnstorableTextIsExplainedInAPlainWarning) {
    const UnstorableText refused({U'\u2603', U'\U0001F600'});
    ScriptedDialogs dialogs;
    dialogs.expectMessage(refused.what(), Answer::Ok, "");
    EXPECT_FALSE(Guarded(dialogs, [&] { throw refused; }));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].buttons, Buttons::Ok);
    EXPECT_EQ(dialogs.shown()[0].icon, Icon::Exclamation);
}

TEST(Guarded, OtherExceptionsAreReportedNotPropagated) {
    struct Case {
        const char* name;
        void (*raise)();
        Box box;
    };
    const Case cases[] = {
        {"bad_alloc", [] { throw std::bad_alloc(); }, {"Out of memory", "ERROR   #7    !!!!Out of memory"}},
        {"logic_error",
         [] { throw std::logic_error("index out of range"); },
         {"Software error. Your dayvell or the main program may be corrupted.", Title(5)}},
        {"non-standard",
         [] { throw 42; },
         {"Software error. Your dayvell or the main program may be corrupted.", Title(5)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDialogs dialogs;
        dialogs.expectMessage(c.box.text, Answer::Ok, c.box.title);
        EXPECT_FALSE(Guarded(dialogs, c.raise));
        ExpectPlainOkBoxes(dialogs, 1);
    }
}

// A box that cannot be shown must not turn the report itself into an exception escaping the handler.
TEST(Guarded, AFailingBoxDoesNotEscape) {
    struct ThrowingDialogs : Dialogs {
        Answer message(const std::string&, const std::string&, Buttons, Icon, std::optional<Answer>) override {
            throw std::bad_alloc();
        }
        std::string input(const std::string&, const std::string&) override { throw std::bad_alloc(); }
    } dialogs;
    EXPECT_FALSE(Guarded(dialogs, [] { throw RuntimeError(code::DiskNotReady); }));
    EXPECT_FALSE(Guarded(dialogs, [] { throw UnstorableText({U'\u2603'}); }));
    EXPECT_FALSE(Guarded(dialogs, [] { throw std::bad_alloc(); }));
    EXPECT_FALSE(Guarded(dialogs, [] { throw std::runtime_error("x"); }));
}

} // namespace
} // namespace dayvell

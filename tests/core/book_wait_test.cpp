// SPDX-License-Identifier: GPL-3.0-or-later
// A change that finds its folder locked by another running copy of the program waits for as long as that copy
// shows signs of work, however long its own change takes, says so, lets the user stop waiting, and gives up only
// on a copy that has stopped working.
#include "BookFixture.h"

#include "core/AnotherCopy.h"
#include "core/Progress.h"
#include "core/RuntimeError.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

using namespace dayvell;
using namespace dayvell::test;

namespace {

using namespace std::chrono_literals;

// Records the notices shown and answers Cancel when told to.
class RecordingProgress : public Progress {
public:
    struct Shown {
        std::string text;
        std::int64_t total = -1;
        int steps = 0;
        bool closed = false;
    };
    std::unique_ptr<ProgressTask> start(const std::string& text, const std::string&, std::int64_t total) override {
        shown.push_back({text, total});
        return std::make_unique<Task>(*this, shown.size() - 1);
    }
    std::vector<Shown> shown;
    bool cancel = false;

private:
    class Task : public ProgressTask {
    public:
        Task(RecordingProgress& p, std::size_t i) : m_p(p), m_i(i) {}
        ~Task() override { m_p.shown[m_i].closed = true; }
        bool advance(std::int64_t) override {
            ++m_p.shown[m_i].steps;
            return !m_p.cancel;
        }

    private:
        RecordingProgress& m_p;
        std::size_t m_i;
    };
};

using Waiting = BookFixture;

// A change taking longer than any fixed wait would allow: the other copy's scratch file keeps growing.
TEST_F(Waiting, AChangeWaitsForAnotherCopyForAsLongAsItWorks) {
    RecordingProgress progress;
    FileSystem fs;
    fs.showWaitingWith(&progress);
    const pid_t other = AnotherCopyHolding(tmp.dir(), 5s, true);
    ASSERT_GT(other, 0);
    Book(path, kKey, fs).replaceCoverName("Waited for");
    // Made only once the other copy was done.
    EXPECT_TRUE(std::filesystem::exists(tmp.file("finished")));
    EXPECT_EQ(FinishCopy(other), 0);
    EXPECT_EQ(Book(path, kKey).readHeader().coverName, "Waited for");
    ASSERT_EQ(progress.shown.size(), 1u);
    EXPECT_EQ(progress.shown[0].text, "Waiting for another Dayvell to finish with this folder...");
    EXPECT_EQ(progress.shown[0].total, 0);
    EXPECT_GT(progress.shown[0].steps, 0);
    EXPECT_TRUE(progress.shown[0].closed);
}

// Saving a page waits the same way, and pressing Cancel on the notice stops waiting with nothing written.
TEST_F(Waiting, CancelStopsWaitingAndChangesNothing) {
    RecordingProgress progress;
    progress.cancel = true;
    FileSystem fs;
    fs.showWaitingWith(&progress);
    const pid_t other = AnotherCopyHolding(tmp.dir(), 3s, true);
    ASSERT_GT(other, 0);
    try {
        Book(path, kKey, fs).appendPage({"", "Tuesday, 12/8/2026", "8:00:00 AM", "Not now"});
        FAIL() << "saved while another copy held the folder";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::BookInUse);
    }
    EXPECT_FALSE(std::filesystem::exists(tmp.file("finished"))) << "waited for the other copy all the same";
    EXPECT_EQ(FinishCopy(other), 0);
    EXPECT_EQ(bytes(), original);
    ASSERT_EQ(progress.shown.size(), 1u);
    EXPECT_TRUE(progress.shown[0].closed);
}

// A copy that holds the folder without any sign of work is given up on.
TEST_F(Waiting, AStuckCopyIsGivenUpOn) {
    FileSystem fs;
    fs.setPatience(1500ms);
    const pid_t other = AnotherCopyHolding(tmp.dir(), 6s, false);
    ASSERT_GT(other, 0);
    try {
        Book(path, kKey, fs).replaceCoverName("Blocked");
        FAIL() << "changed while another copy held the folder";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::BookInUse);
    }
    EXPECT_FALSE(std::filesystem::exists(tmp.file("finished")));
    EXPECT_EQ(bytes(), original);
    ::kill(other, SIGKILL);
    FinishCopy(other);
}

// A disk so slow that each piece written takes a while.
class SlowDisk : public FileSystem {
public:
    ssize_t write(int fd, const void* buffer, size_t size) override {
        std::this_thread::sleep_for(800ms);
        return FileSystem::write(fd, buffer, size);
    }
};

// The program itself as the other copy: a long move holds the lock of the folder it moves out of, where it writes
// nothing. It refreshes that folder's time while it works, so that a save there waits for it.
TEST_F(Waiting, ALongMoveShowsItIsAtWorkInTheFolderItOnlyReadsFrom) {
    TempDir target;
    // One page large enough for several pieces of writing.
    Book::Create(SystemFileSystem(), tmp.file("big.dvl"), kKey, Book::NewHeader(tmp.dir(), "12/5/2026"));
    Book(tmp.file("big.dvl"), kKey).appendPage({"", "Saturday, 12/5/2026", "1:46:33 PM", std::string(30u << 20, 'a')});

    const pid_t mover = ::fork();
    ASSERT_GE(mover, 0);
    if (mover == 0) {
        SlowDisk slow;
        try {
            Book(tmp.file("big.dvl"), kKey, slow).copyTo(target.dir(), Existing::Keep, Transfer::Move);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    // The mover holds both folders once its scratch file appears at the destination.
    for (int i = 0; i < 500 && !std::filesystem::exists(target.file("dvltemp.dvl")); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(std::filesystem::exists(target.file("dvltemp.dvl")));

    // Less patience than the move's writing takes, with room to spare for the syncs at its end on a busy machine
    // (a sync shows no sign of work).
    FileSystem fs;
    fs.setPatience(3000ms);
    const std::string number = Book(path, kKey, fs).appendPage({"", "Tuesday, 12/8/2026", "8:00:00 AM", "Waited"});
    EXPECT_EQ(number, " 4");
    EXPECT_FALSE(std::filesystem::exists(tmp.file("big.dvl"))) << "saved before the move was done";
    EXPECT_EQ(FinishCopy(mover), 0);
    EXPECT_EQ(Book(target.file("big.dvl"), kKey).countPages(), 1);
    EXPECT_EQ(Book(path, kKey).readPage(4)->text, "Waited");
}

} // namespace

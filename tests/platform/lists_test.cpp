// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/GuiTest.h"

#include "core/TempDir.h"
#include "platform/DirList.h"
#include "platform/DriveList.h"
#include "platform/FileList.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>

namespace dayvell::test {
namespace {

QString Q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The code a list throws when asked for something it cannot show; 0 when it throws nothing.
template <class F> int ErrorCode(F&& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.code();
    }
    return 0;
}

class ListsTest : public ::testing::Test {
protected:
    ListsTest() : root(Q(dir.path())) {
        std::filesystem::create_directories(dir.path() / "alpha" / "inner");
        std::filesystem::create_directories(dir.path() / "Beta");
        std::filesystem::create_directories(dir.path() / "folder.dvl");
        std::filesystem::create_directories(dir.path() / ".hidden");
        for (const char* name : {"b.dvl", "A.DVL", "notes.txt", "c.dvl.bak", ".secret.dvl"})
            WriteFileBytes(dir.file(name), "x");
    }

    QStringList texts(const QListWidget& list) const {
        QStringList all;
        for (int i = 0; i < list.count(); ++i)
            all << list.item(i)->text().trimmed();
        return all;
    }
    QListWidgetItem* item(const QListWidget& list, const QString& text) const {
        for (int i = 0; i < list.count(); ++i)
            if (list.item(i)->text().trimmed() == text)
                return list.item(i);
        ADD_FAILURE() << "no line \"" << text.toStdString() << "\"";
        throw GuiTestAbort("no such line");
    }
    void doubleClick(QListWidget& list, QListWidgetItem* line) {
        const QPoint at = list.visualItemRect(line).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    }

    TestServices t;
    TempDir dir;
    QString root;
};

TEST_F(ListsTest, DirectoryListShowsOnePathAndSignalsOnlyRealChanges) {
    DirList list(t.dialogs);
    list.resize(300, 400);
    list.show();
    QSignalSpy changes(&list, &DirList::changed);

    list.setPath(root + "/");
    EXPECT_EQ(list.path(), root) << "no trailing separator";
    EXPECT_EQ(changes.count(), 1);
    const QStringList lines = texts(list);
    EXPECT_EQ(lines.last(3), (QStringList{"alpha", "Beta", "folder.dvl"})) << "subdirectories, hidden ones left out";
    EXPECT_TRUE(lines.contains(QStringLiteral("/"))) << "the chain down from the root";

    // The same directory written differently is no change.
    list.setPath(root + "/alpha/..");
    EXPECT_EQ(changes.count(), 1);

    list.setPath(QStringLiteral("/"));
    EXPECT_EQ(list.path(), QStringLiteral("/")) << "a root keeps its separator";
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(ListsTest, DirectoryListFollowsTheUsersDoubleClicksDownAndUp) {
    DirList list(t.dialogs);
    list.resize(300, 400);
    list.show();
    list.setPath(root);
    QSignalSpy changes(&list, &DirList::changed);
    // What the list's owner sees when the notice arrives.
    QStringList seen;
    QObject::connect(&list, &DirList::changed, [&] { seen << list.path(); });

    doubleClick(list, item(list, QStringLiteral("alpha")));
    EXPECT_EQ(list.path(), root + "/alpha");
    doubleClick(list, item(list, QStringLiteral("inner")));
    EXPECT_EQ(list.path(), root + "/alpha/inner");
    doubleClick(list, item(list, Q(dir.path().filename())));
    EXPECT_EQ(seen, (QStringList{root + "/alpha", root + "/alpha/inner", root}));
    EXPECT_EQ(changes.count(), 3);
}

TEST_F(ListsTest, DirectoryListRefusesAMissingDirectoryAndKeepsItsContent) {
    DirList list(t.dialogs);
    list.setPath(root);
    const QStringList before = texts(list);
    QSignalSpy changes(&list, &DirList::changed);

    EXPECT_EQ(ErrorCode([&] { list.setPath(root + "/nosuch"); }), code::PathNotFound);
    EXPECT_EQ(ErrorCode([&] { list.setPath(root + "/notes.txt"); }), code::PathNotFound);
    EXPECT_EQ(list.path(), root);
    EXPECT_EQ(texts(list), before);
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(ListsTest, ADrivesCurrentDirectoryIsTheProcessesWhenOnThatDriveElseItsRoot) {
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root + "/alpha"));
    const QString volume = VolumeRoot(root);
    EXPECT_EQ(DriveCurrentDirectory(volume), root + "/alpha");

    DirList list(t.dialogs);
    list.setPath(QStringLiteral("/"));
    list.setDrive(volume);
    EXPECT_EQ(list.path(), root + "/alpha");

    // A directory that is not the root of a volume is no drive, as an unmounted volume's mount point is not.
    EXPECT_EQ(ErrorCode([&] { list.setDrive(root + "/Beta"); }), code::DeviceUnavailable);
    EXPECT_EQ(list.path(), root + "/alpha");

    for (const Volume& other : MountedVolumes()) {
        if (other.root != volume) {
            EXPECT_EQ(DriveCurrentDirectory(other.root), other.root);
            break;
        }
    }
    QDir::setCurrent(previous);
}

TEST_F(ListsTest, DriveListShowsTheDriveHoldingAPathAndSignalsOnlyRealChanges) {
    DriveList drives;
    QSignalSpy changes(&drives, &DriveList::changed);
    const QString volume = VolumeRoot(root);

    drives.setDrive(QStringLiteral("/"));
    const int afterRoot = int(changes.count());
    drives.setDrive(root + "/alpha");
    EXPECT_EQ(drives.drive(), volume);
    EXPECT_EQ(changes.count(), afterRoot + (volume == QStringLiteral("/") ? 0 : 1));
    drives.setDrive(root + "/Beta");
    EXPECT_EQ(changes.count(), afterRoot + (volume == QStringLiteral("/") ? 0 : 1)) << "same drive, no change";
    EXPECT_EQ(drives.itemData(drives.currentIndex()).toString(), volume);

    EXPECT_EQ(ErrorCode([&] { drives.setDrive(root + "/nosuch/deeper"); }), code::DeviceUnavailable);
    EXPECT_EQ(drives.drive(), volume);
}

TEST_F(ListsTest, DriveListSignalsWhenTheUserChoosesAnotherDrive) {
    DriveList drives;
    if (drives.count() < 2)
        GTEST_SKIP() << "only one volume is mounted here";
    drives.setDrive(drives.itemData(0).toString());
    QSignalSpy changes(&drives, &DriveList::changed);
    drives.show();
    QTest::keyClick(&drives, Qt::Key_Down);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(drives.drive(), drives.itemData(1).toString());
}

TEST_F(ListsTest, FileListShowsTheOrdinaryFilesMatchingItsPattern) {
    struct Case {
        const char* pattern;
        QStringList names;
    };
    const Case cases[] = {
        {"*.dvl", {"A.DVL", "b.dvl"}},
        {"*", {"A.DVL", "b.dvl", "c.dvl.bak", "notes.txt"}},
        {"*.txt;*.bak", {"c.dvl.bak", "notes.txt"}},
        {"*.none", {}},
    };
    FileList files;
    files.setPath(root);
    for (const Case& c : cases) {
        files.setPattern(QString::fromLatin1(c.pattern));
        EXPECT_EQ(texts(files), c.names) << c.pattern;
    }
}

TEST_F(ListsTest, FileListGivesTheSelectedNameAndSignalsClicks) {
    FileList files;
    files.setPattern(QStringLiteral("*.dvl"));
    files.resize(300, 300);
    files.show();
    QSignalSpy pathChanges(&files, &FileList::pathChanged);
    files.setPath(root);
    files.setPath(root + "/");
    EXPECT_EQ(pathChanges.count(), 1);
    EXPECT_EQ(files.fileName(), QString()) << "nothing selected yet";

    QSignalSpy clicks(&files, &FileList::fileClicked);
    QSignalSpy doubleClicks(&files, &FileList::fileDoubleClicked);
    QListWidgetItem* b = item(files, QStringLiteral("b.dvl"));
    QTest::mouseClick(files.viewport(), Qt::LeftButton, {}, files.visualItemRect(b).center());
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(files.fileName(), QStringLiteral("b.dvl"));
    QTest::mouseDClick(files.viewport(), Qt::LeftButton, {}, files.visualItemRect(b).center());
    EXPECT_EQ(doubleClicks.count(), 1);

    // A new directory shows its own files, none selected.
    files.setPath(root + "/alpha");
    EXPECT_EQ(files.count(), 0);
    EXPECT_EQ(files.fileName(), QString());
    EXPECT_EQ(ErrorCode([&] { files.setPath(root + "/nosuch"); }), code::PathNotFound);
    EXPECT_EQ(files.path(), root + "/alpha");
    EXPECT_EQ(pathChanges.count(), 2);
}

} // namespace
} // namespace dayvell::test

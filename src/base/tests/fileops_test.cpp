#include "fileops.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace zelbrin;

namespace {

struct FilesFixture : ::testing::Test {
    QTemporaryDir dir;
    QStringList readOnly;

    ~FilesFixture() override {
        // Let the temporary folder go again when the tests do not run as root.
        for (const QString &p : readOnly)
            ::chmod(QFile::encodeName(p).constData(), 0755);
    }
    QString path(const QString &rel) const { return dir.path() + "/" + rel; }
    void file(const QString &rel, const QByteArray &bytes = "x") {
        QDir().mkpath(QFileInfo(path(rel)).path());
        QFile f(path(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void folder(const QString &rel) { QDir().mkpath(path(rel)); }
    void makeReadOnly(const QString &rel) {
        ASSERT_EQ(::chmod(QFile::encodeName(path(rel)).constData(), 0555), 0);
        readOnly << path(rel);
    }
    QByteArray read(const QString &rel) const {
        QFile f(path(rel));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    bool exists(const QString &rel) const { return QFileInfo::exists(path(rel)) || QFileInfo(path(rel)).isSymLink(); }
    // Every entry below rel, relative to it, sorted.
    QStringList listing(const QString &rel) const {
        QStringList out;
        QDirIterator it(path(rel), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            out << it.next().mid(path(rel).size() + 1);
        out.sort();
        return out;
    }
};

}  // namespace

TEST_F(FilesFixture, CopySubfoldersCarriesPlainFoldersOnly) {
    file("src/doc.doc");
    file("src/temp/html/page.htm");
    file("src/Temp/a.txt", "Temp");
    file("src/TEMP/b.txt", "TEMP");
    file("src/plain/f.txt", "new");
    file("src/plain/.hidden-file", "h");
    file("src/plain/sub/deep/g.txt", "g");
    file("src/plain/.git/config");
    file("src/plain/ro/inner.txt");
    makeReadOnly("src/plain/ro");
    file("src/.hidden/x.txt");
    file("src/ro/x.txt");
    makeReadOnly("src/ro");
    file("outside/secret.txt", "secret");
    ASSERT_EQ(::symlink(QFile::encodeName(path("outside")).constData(),
                        QFile::encodeName(path("src/linked")).constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(path("outside/secret.txt")).constData(),
                        QFile::encodeName(path("src/plain/secret.txt")).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("src/plain/pipe")).constData(), 0644), 0);
    file("dest/plain/f.txt", "old");
    file("dest/keep.htm", "page");

    copySubfolders(path("src/"), path("dest/"));

    EXPECT_EQ(listing("dest"), QStringList({"TEMP", "TEMP/b.txt", "Temp", "Temp/a.txt", "keep.htm", "plain",
                                            "plain/.hidden-file", "plain/f.txt", "plain/sub", "plain/sub/deep",
                                            "plain/sub/deep/g.txt"}));
    EXPECT_EQ(read("dest/plain/f.txt"), "new");  // a file already there is replaced
    EXPECT_EQ(read("dest/Temp/a.txt"), "Temp");
    EXPECT_EQ(read("dest/plain/sub/deep/g.txt"), "g");
}

TEST_F(FilesFixture, CopyingTwiceReplacesTheFirstCopy) {
    file("src/pics/a.png", "one");
    folder("dest");
    copySubfolders(path("src/"), path("dest/"));
    file("src/pics/a.png", "two");
    file("src/pics/b.png", "b");
    copySubfolders(path("src/"), path("dest/"));
    EXPECT_EQ(read("dest/pics/a.png"), "two");
    EXPECT_EQ(read("dest/pics/b.png"), "b");
}

TEST_F(FilesFixture, ReadOnlyIsJudgedByTheModeBits) {
    // Root may write into a 0555 folder, yet the folder counts as read-only.
    file("src/locked/x.txt");
    ::chmod(QFile::encodeName(path("src/locked")).constData(), 0575);  // group and others may write
    readOnly << path("src/locked");
    file("src/open/x.txt");
    ::chmod(QFile::encodeName(path("src/open")).constData(), 0700);
    folder("dest");
    copySubfolders(path("src/"), path("dest/"));
    EXPECT_FALSE(exists("dest/locked"));
    EXPECT_TRUE(exists("dest/open/x.txt"));
}

TEST_F(FilesFixture, DestinationInsideTheSourceEndsAndCopiesTheOldContent) {
    file("src/a/file1", "1");
    file("src/out/html/old.htm", "old");
    copySubfolders(path("src/"), path("src/out/html/"));
    EXPECT_EQ(listing("src/out/html"),
              QStringList({"a", "a/file1", "old.htm", "out", "out/html", "out/html/old.htm"}));

    file("tree/x.txt", "x");
    file("tree/copy/y.txt", "y");
    copyFolderTree(path("tree"), path("tree/copy"));
    EXPECT_EQ(listing("tree/copy"), QStringList({"copy", "copy/y.txt", "x.txt", "y.txt"}));
}

TEST_F(FilesFixture, CopyFolderTreeCopiesFilesAndPlainFolders) {
    file("t/a.txt", "a");
    file("t/.dot.txt", "d");
    file("t/s/b.txt", "b");
    file("t/.hid/c.txt");
    folder("t/empty");
    copyFolderTree(path("t"), path("d"));
    EXPECT_EQ(listing("d"), QStringList({".dot.txt", "a.txt", "empty", "s", "s/b.txt"}));
    // A symbolic link given as the source is not followed.
    ASSERT_EQ(::symlink(QFile::encodeName(path("t")).constData(), QFile::encodeName(path("l")).constData()), 0);
    copyFolderTree(path("l"), path("d2"));
    EXPECT_FALSE(exists("d2"));
}

TEST_F(FilesFixture, DeleteDirectoryRemovesTheTreeButNotWhatLinksPointTo) {
    file("temp/html/a/b.htm");
    file("keep/k.txt", "k");
    ASSERT_EQ(::symlink(QFile::encodeName(path("keep")).constData(),
                        QFile::encodeName(path("temp/html/link")).constData()), 0);
    makeReadOnly("temp/html/a");
    deleteDirectory(path("temp"));
    EXPECT_FALSE(exists("temp"));
    EXPECT_EQ(read("keep/k.txt"), "k");

    ASSERT_EQ(::symlink(QFile::encodeName(path("keep")).constData(), QFile::encodeName(path("l")).constData()), 0);
    deleteDirectory(path("l/"));  // a trailing "/" must not lead into the target
    EXPECT_FALSE(exists("l"));
    EXPECT_EQ(read("keep/k.txt"), "k");

    file("t2/x");
    deleteDirectory(path("t2/"));
    EXPECT_FALSE(exists("t2"));
    deleteDirectory(path("missing"));  // nothing to do, no error
    deleteDirectory(QString());
    EXPECT_TRUE(exists("keep/k.txt"));
}

TEST(executableFolder, IsTheFolderOfTheRunningProgram) {
    const QString folder = executableFolder();
    EXPECT_TRUE(folder.endsWith('/'));
    EXPECT_TRUE(QFileInfo(folder + QFileInfo(QCoreApplication::applicationFilePath()).fileName()).isFile());
}

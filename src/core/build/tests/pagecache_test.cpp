#include "pagecache.h"
#include "sealedfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace zelbrin;

namespace {

void writeFile(const QString &path, const QByteArray &content) {
    QDir().mkpath(path.left(path.lastIndexOf('/')));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

TEST(PageCache, KeysFollowEverythingThatShapesThePage) {
    QTemporaryDir tmp;
    writeFile(tmp.path() + "/a.doc", "one");
    writeFile(tmp.path() + "/b.doc", "one");
    PageCache cache({tmp.path() + "/cache", "office 1"});
    PageCache otherOffice({tmp.path() + "/cache", "office 2"});
    const QByteArray key = cache.keyFor(tmp.path() + "/a.doc", "word", "a.htm");
    EXPECT_EQ(key.size(), 40);
    EXPECT_EQ(cache.keyFor(tmp.path() + "/a.doc", "word", "a.htm"), key);
    EXPECT_NE(cache.keyFor(tmp.path() + "/b.doc", "word", "a.htm"), key);  // another document's folder and name
    EXPECT_NE(cache.keyFor(tmp.path() + "/a.doc", "workbook", "a.htm"), key);
    EXPECT_NE(cache.keyFor(tmp.path() + "/a.doc", "word", "x.htm"), key);
    EXPECT_NE(otherOffice.keyFor(tmp.path() + "/a.doc", "word", "a.htm"), key);
    writeFile(tmp.path() + "/a.doc", "two");
    EXPECT_NE(cache.keyFor(tmp.path() + "/a.doc", "word", "a.htm"), key);
    EXPECT_TRUE(cache.keyFor(tmp.path() + "/missing.doc", "word", "missing.htm").isEmpty());

    // A failure's key: the page's ingredients but the page name.
    const QByteArray failure = cache.failureKeyFor(tmp.path() + "/a.doc", "word");
    EXPECT_EQ(failure.size(), 40);
    EXPECT_NE(failure, cache.keyFor(tmp.path() + "/a.doc", "word", "a.htm"));
    EXPECT_NE(cache.failureKeyFor(tmp.path() + "/b.doc", "word"), failure);
    EXPECT_NE(cache.failureKeyFor(tmp.path() + "/a.doc", "workbook"), failure);
    EXPECT_NE(otherOffice.failureKeyFor(tmp.path() + "/a.doc", "word"), failure);
    writeFile(tmp.path() + "/a.doc", "three");
    EXPECT_NE(cache.failureKeyFor(tmp.path() + "/a.doc", "word"), failure);
}

TEST(PageCache, EntriesComeBackWholeOrNotAtAllAndTheOldestGoFirst) {
    QTemporaryDir tmp;
    PageCacheSettings settings{tmp.path() + "/cache", "office 1", 0};
    PageCache cache(settings);
    const QString made = tmp.path() + "/made";
    writeFile(made + "/a.htm", QByteArray(1000, 'a'));
    writeFile(made + "/a_htm_1.png", "picture");
    writeFile(made + "/a.htm_files/slide1.jpg", "slide");
    cache.store("k1", made);
    EXPECT_FALSE(cache.fetch("k2", tmp.path() + "/out"));
    ASSERT_TRUE(cache.fetch("k1", tmp.path() + "/out"));
    EXPECT_EQ(readFile(tmp.path() + "/out/a.htm"), QByteArray(1000, 'a'));
    EXPECT_EQ(readFile(tmp.path() + "/out/a.htm_files/slide1.jpg"), "slide");
    EXPECT_EQ(QDir(tmp.path() + "/out").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 3);

    // A damaged entry is not handed out, and is gone afterwards.
    const QString entry = tmp.path() + "/cache/pages/k1";
    writeFile(entry + "/a_htm_1.png", "pictur");
    EXPECT_FALSE(cache.fetch("k1", tmp.path() + "/again"));
    EXPECT_FALSE(QFileInfo::exists(entry));
    cache.store("k1", made);
    writeFile(entry + "/.sealed", readFile(entry + "/.sealed").replace("a.htm", "b.htm"));
    EXPECT_FALSE(cache.fetch("k1", tmp.path() + "/again"));

    // Three entries of about 1 kB; the limit keeps two, and the one used longest ago goes.
    PageCache limited({tmp.path() + "/cache", "office 1", 2500});
    for (const char *key : {"old", "used", "new"})
        limited.store(key, made);
    const auto age = [&](const char *key, int seconds) {
        const timespec when[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(tmp.path() + "/cache/pages/" + key).constData(), when, 0), 0);
    };
    age("old", 300);
    age("used", 600);
    age("new", 10);
    ASSERT_TRUE(limited.fetch("used", tmp.path() + "/used"));  // a use makes it young again
    limited.trim();
    EXPECT_EQ(QDir(tmp.path() + "/cache/pages").entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{"new", "used"}));

    // A failure comes back with its reason and every line of its detail, or not at all.
    const DocumentFault fault{"文档已损坏", "无法打开文档：General Error.\nGeneral input/output error.（用筛选器“MS Word 97”打开）"};
    ASSERT_TRUE(cache.storeFailure("f1", fault));
    EXPECT_FALSE(cache.fetchFailure("f2"));
    const std::optional<DocumentFault> told = cache.fetchFailure("f1");
    ASSERT_TRUE(told);
    EXPECT_EQ(told->reason, fault.reason);
    EXPECT_EQ(told->detail, fault.detail);
    writeFile(tmp.path() + "/cache/pages/f1/failure", "文档有密码保护\n");
    EXPECT_FALSE(cache.fetchFailure("f1"));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/cache/pages/f1"));
}

TEST(SealedFolder, ConcurrentWritersNeverLetAReaderSeeHalfAFolder) {
    QTemporaryDir tmp;
    const QString destination = tmp.path() + "/sealed";
    const auto source = [&](int writer) {
        const QString folder = tmp.path() + QStringLiteral("/source%1").arg(writer);
        writeFile(folder + "/page.htm", QByteArray(200000, 'p'));
        writeFile(folder + "/sub/picture.png", QByteArray(100000, 'x'));
        return folder;
    };
    const QString sources[] = {source(0), source(1)};
    std::atomic<int> whole{0}, broken{0};
    std::vector<std::thread> threads;
    for (int writer = 0; writer < 2; ++writer)
        threads.emplace_back([&, writer] {
            for (int i = 0; i < 20; ++i) {
                sealed::store(sources[writer], destination, "label");
                if (i % 5 == 0)
                    sealed::discard(destination);
            }
        });
    threads.emplace_back([&] {
        for (int i = 0; i < 40; ++i) {
            const QString out = tmp.path() + QStringLiteral("/read%1").arg(i);
            if (!sealed::restore(destination, out, "label"))
                continue;
            const bool same = readFile(out + "/page.htm") == QByteArray(200000, 'p') &&
                              readFile(out + "/sub/picture.png") == QByteArray(100000, 'x');
            ++(same ? whole : broken);
        }
    });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(broken, 0);
    ASSERT_TRUE(sealed::restore(destination, tmp.path() + "/last", "label"));  // the last store stays
    EXPECT_EQ(readFile(tmp.path() + "/last/sub/picture.png"), QByteArray(100000, 'x'));
    EXPECT_FALSE(sealed::restore(destination, tmp.path() + "/other", "another label"));
    sealed::sweepLeftovers(tmp.path());
    EXPECT_TRUE(QDir(tmp.path()).entryList({".partial-*", ".discarded-*"}, QDir::AllEntries | QDir::Hidden).isEmpty());
}

// Full-text search end to end: help projects compiled by hhc (directly, and through the
// builder for the sample manual and the corpus), every page looked for by its own words
// with python3-chm's search, and decoded strictly with the charset it declares.
#include "chmcheck.h"
#include "codepage.h"
#include "gbk.h"
#include "pagetext.h"
#include "pythonsearch.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

using namespace zelbrin;
using namespace zelbrin::testing;

namespace {

QString bin(const QString &program) { return qEnvironmentVariable("ZELBRIN_BIN_DIR") + "/" + program; }

struct Query {
    QString page;  // its path in the help file
    QString word;
};

// For every page stored in the help file: three words of its visible text and two of its
// double-byte characters, spread over the page. (A query of several ideographs is matched
// through consecutive locations, which CHMLib's search does not do.)
QList<Query> pickQueries(const QString &folder, int *pages) {
    QList<Query> queries;
    *pages = 0;
    QStringList files;
    for (QDirIterator it(folder, {"*.htm", "*.html"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << it.next();
    files.sort();
    const chm::CodePageCharacters *gbk = chm::CodePageCharacters::of("CP936");
    for (const QString &file : files) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        chm::PageWords words;
        chm::appendVisibleWords(decodePage(f.readAll()), words, gbk);
        const QString page = QDir(folder).relativeFilePath(file);
        QStringList latin, characters;
        for (std::size_t i = 0; i < words.words.size(); ++i) {
            const QString word = words.word(i).toString();
            if (!encodeGbk(word).has_value())
                continue;
            if (words.words[i].single)
                characters << word;
            else if (words.words[i].length >= 2)
                latin << word;
        }
        if (latin.isEmpty() && characters.isEmpty())
            continue;  // a page of pictures only
        ++*pages;
        for (int k = 1; k <= 3 && !latin.isEmpty(); ++k)
            queries.append({page, latin[latin.size() * k / 4]});
        for (int k = 1; k <= 2 && !characters.isEmpty(); ++k)
            queries.append({page, characters[characters.size() * k / 3]});
    }
    return queries;
}

// The queries whose page python3-chm's search does not find.
QStringList notFound(const QString &chmFile, const QList<Query> &queries) {
    QList<chm::testing::SearchQuery> texts;
    for (const Query &q : queries)
        texts.append({encodeGbk(q.word).value_or(QByteArray()), false});
    QString error;
    const QList<QList<QByteArray>> found = chm::testing::searchWithPythonChm(chmFile, texts, &error);
    if (!error.isEmpty())
        return {error};
    QStringList missing;
    for (qsizetype i = 0; i < queries.size(); ++i)
        if (!found[i].contains(encodeGbk(queries[i].page).value_or(QByteArray())))  // #URLSTR holds names in GBK
            missing << queries[i].page + ": " + queries[i].word;
    return missing;
}

// The stored pages whose bytes the charset they declare does not hold, each with why: Python's
// codecs decode them strictly, as xchm and kchmviewer's indexer take the name ("gb2312" is
// GB 2312, not GBK). A page without a declaration must be ASCII.
QStringList pagesNotDecodingStrictly(const QString &folder) {
    static const char *script = R"py(import codecs, os, re, sys
declared = re.compile(rb'<\?xml[^>]*encoding=["\']([^"\']+)|<meta[^>]*charset\s*=\s*["\']?([-\w:.]+)', re.I)
for root, dirs, files in os.walk(sys.argv[1]):
    for name in files:
        if not name.lower().endswith(('.htm', '.html')):
            continue
        path = os.path.join(root, name)
        data = open(path, 'rb').read()
        head = data[:max(data.lower().find(b'<body'), 0) or len(data)]
        m = declared.search(head)
        charset = (m.group(1) or m.group(2)).decode('ascii') if m else 'ascii'
        try:
            data.decode(codecs.lookup(charset).name, 'strict')
        except (LookupError, UnicodeDecodeError) as e:
            print(os.path.relpath(path, sys.argv[1]) + ': ' + charset + ': ' + str(e)[:120])
)py";
    QString output;
    const int code = runProgram("/usr/bin/python3", {"-c", script, folder}, &output, 120000);
    QStringList problems = output.split(u'\n', Qt::SkipEmptyParts);
    if (code != 0)
        problems << QStringLiteral("the check failed with exit code %1").arg(code);
    return problems;
}

void expectEveryPageFound(const QString &chmFile, const QString &unpackInto, int minimumPages) {
    const UnpackedChm chm = unpackChm(chmFile, unpackInto);
    ASSERT_TRUE(chm.error.isEmpty()) << chm.error.toStdString();
    const QStringList undecodable = pagesNotDecodingStrictly(unpackInto);
    EXPECT_TRUE(undecodable.isEmpty()) << undecodable.join(u'\n').toStdString();
    int pages = 0;
    const QList<Query> queries = pickQueries(unpackInto, &pages);
    EXPECT_GE(pages, minimumPages);
    std::cout << pages << " pages with text, " << queries.size() << " queries\n";
    const QStringList missing = notFound(chmFile, queries);
    EXPECT_TRUE(missing.isEmpty()) << missing.size() << " of " << queries.size() << " not found:\n"
                                   << missing.join('\n').toStdString();
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

TEST(SearchEndToEnd, HandWrittenProjectThroughHhc) {
    QTemporaryDir tmp;
    const QString dir = tmp.path() + "/proj";
    const QList<QPair<QString, QString>> pages = {
        {"intro.htm", "<html><head><meta charset=\"utf-8\"><title>Introduction</title></head><body>"
                      "<h1>Welcome</h1><p>This manual explains the installation.</p>"
                      "<p>欢迎使用用户手册，本手册介绍安装步骤。</p></body></html>"},
        {"sub/drag.htm", "<html><head><title>拖放文档</title><script>var hidden;</script></head><body>"
                         "<p>Drag&nbsp;documents onto a catalog; it&#8217;s quick.</p>"
                         "<table><tr><td>价格</td><td>Price 99.5</td></tr></table></body></html>"},
        {"mixed.htm", "<html><body><p>Windows系统中的Zelbrin工作台</p><p>Caf&eacute; 2024</p></body></html>"},
    };
    QByteArray files, toc = "<HTML><BODY><UL>\r\n";
    for (const auto &[path, html] : pages) {
        writeFile(dir + "/" + path, html.toUtf8());
        files += path.toUtf8() + "\r\n";
        toc += "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" +
               encodeGbk(QFileInfo(path).baseName()).value() + "\"><param name=\"Local\" value=\"" +
               path.toUtf8() + "\"></OBJECT>\r\n";
    }
    writeFile(dir + "/toc.hhc", toc + "</UL></BODY></HTML>\r\n");
    writeFile(dir + "/t.hhp", "[OPTIONS]\r\nCompiled file=t.chm\r\nContents file=toc.hhc\r\n"
                              "Default topic=intro.htm\r\nFull-text search=Yes\r\nTitle=Search\r\n"
                              "Language=0x804\r\n\r\n[FILES]\r\n" + files);
    QString output;
    ASSERT_EQ(runProgram(bin("hhc"), {dir + "/t.hhp"}, &output, 120000), 0) << output.toStdString();
    expectEveryPageFound(dir + "/t.chm", tmp.path() + "/out", 3);
    // Title words are each page's own <title>; the contents' caption of a page without one
    // ("mixed") is no title word.
    QString error;
    const QList<QList<QByteArray>> titles = chm::testing::searchWithPythonChm(
        dir + "/t.chm", {{"introduction", true}, {encodeGbk(QStringLiteral("拖")).value(), true}, {"mixed", true}},
        &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(titles, (QList<QList<QByteArray>>{{"intro.htm"}, {"sub/drag.htm"}, {}}));
}

TEST(SearchEndToEnd, SampleManual) {
    QTemporaryDir tmp;
    QString output;
    ASSERT_EQ(runProgram("sh", {qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + "/scripts/sample.sh", tmp.path()},
                         &output, 30000), 0) << output.toStdString();
    ASSERT_EQ(runProgram(bin("zelbrin-build"), {tmp.path() + "/用户手册.zlp"}, &output, 10 * 60 * 1000), 0)
        << output.toStdString();
    expectEveryPageFound(tmp.path() + "/用户手册.CHM", tmp.path() + "/out", 6);
}

TEST(SearchEndToEnd, CorpusProject) {
    const QString corpus = corpusFolder();
    ASSERT_FALSE(corpus.isEmpty()) << "shared/corpus not found beside the checkout";
    QTemporaryDir tmp;
    // Every document of the corpus (not the companion folders of its web pages) in one catalog.
    QString items;
    QDirIterator it(corpus, QDir::Files, QDirIterator::Subdirectories);
    QStringList documents;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(corpus).relativeFilePath(path);
        if (relative.count(u'/') == 1 || (relative.startsWith("html/") && relative.count(u'/') == 2 &&
                                          relative.endsWith(".html")))
            documents << path;
    }
    documents.sort();
    ASSERT_EQ(documents.size(), 23);
    auto escape = [](QString s) { return s.replace("&", "&amp;").replace("<", "&lt;").replace("\"", "&quot;"); };
    for (const QString &d : documents)
        items += "<Item Caption=\"" + escape(QFileInfo(d).completeBaseName()) + "\" FullDir=\"" + escape(d) + "\"/>";
    const QString project = tmp.path() + "/语料.zlp";
    writeFile(project, ("<语料><WorkCatalog>" + escape(corpus) + "</WorkCatalog><Items><Item Caption=\"语料\" FullDir=\"\">" +
                        items + "</Item></Items></语料>").toUtf8());
    QString output;
    ASSERT_EQ(runProgram(bin("zelbrin-build"), {project}, &output, 20 * 60 * 1000), 0) << output.toStdString();
    expectEveryPageFound(tmp.path() + "/语料.CHM", tmp.path() + "/out", 20);
}

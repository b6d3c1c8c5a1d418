// Help projects that other tools write (Sphinx's htmlhelp builder, Doxygen's
// GENERATE_HTMLHELP) compiled with hhc as they would be with HTML Help Workshop, and read
// back: every file through CHMLib, 7-Zip, libmspack and hh, every contents and index entry
// leading to a stored file, the pages' words found by python3-chm's search.
#include "chmcheck.h"
#include "codepage.h"
#include "hhctesting.h"
#include "markup.h"
#include "pythonsearch.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace hhctest;

namespace {

QString run(const QString &program, const QStringList &args, const QString &folder) {
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(300000))
        return program + QStringLiteral(" did not finish");
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAll()).right(3000);
    return {};
}

struct Producer {
    const char *what;
    QMap<QString, QByteArray> files;  // the sources, by path
    QStringList command;              // run in the source folder
    QString project;                  // the help project it writes, relative to that folder
    QString chm;                      // the help file that project names
    quint32 lcid;
    QList<std::pair<QString, QString>> words;  // a word and the page (its stored name) that holds it
};

QList<Producer> producers() {
    const QByteArray extension = "extensions = ['sphinxcontrib.htmlhelp']\n";
    const QStringList sphinx{QStringLiteral("/usr/bin/python3"), QStringLiteral("-m"), QStringLiteral("sphinx"),
                             QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("htmlhelp"),
                             QStringLiteral("."), QStringLiteral("_build")};
    return {
        {"Sphinx, zh_CN",
         {{"conf.py", "project = '用户手册'\nlanguage = 'zh_CN'\nhtmlhelp_basename = 'manual'\n" + extension},
          {"index.rst", "用户手册\n========\n\n.. toctree::\n\n   install\n   usage\n\n欢迎使用本手册。\n\n"
                        ".. index:: 欢迎, 手册\n"},
          {"install.rst", "安装步骤\n========\n\n.. index:: 安装; 步骤\n\n运行安装程序，按照提示操作。"
                          "Install the package.\n"},
          {"usage.rst", "使用方法\n========\n\n.. index:: 使用\n\n打开工作台并新建工程。\n"}},
         sphinx, QStringLiteral("_build/manual.hhp"), QStringLiteral("_build/manual.chm"), 0x0804,
         // The index holds one word per Chinese character, as HTML Help Workshop writes it.
         {{QStringLiteral("装"), QStringLiteral("install.html")}, {QStringLiteral("package"), QStringLiteral("install.html")},
          {QStringLiteral("台"), QStringLiteral("usage.html")}}},
        {"Sphinx, English",
         {{"conf.py", "project = 'Guide'\nhtmlhelp_basename = 'guide'\n" + extension},
          {"index.rst", "Guide\n=====\n\n.. toctree::\n\n   setup\n\nWelcome to the guide.\n\n.. index:: welcome\n"},
          {"setup/index.rst", "Setup\n=====\n\n.. index:: setup; first steps\n\nUnpack the archive and "
                              "run the installer.\n\n.. toctree::\n\n   advanced\n"},
          {"setup/advanced.rst", "Advanced setup\n==============\n\n.. index:: proxy\n\nBehind a proxy, "
                                 "set the environment variable.\n"}},
         sphinx, QStringLiteral("_build/guide.hhp"), QStringLiteral("_build/guide.chm"), 0x0409,
         {{QStringLiteral("archive"), QStringLiteral("setup/index.html")},
          {QStringLiteral("proxy"), QStringLiteral("setup/advanced.html")}}},
        {"Doxygen",
         {{"Doxyfile", "PROJECT_NAME = \"Help file tables\"\nINPUT = src\nOUTPUT_DIRECTORY = out\nGENERATE_LATEX = NO\n"
                       "GENERATE_HTMLHELP = YES\nSEARCHENGINE = NO\nHTML_DYNAMIC_MENUS = NO\nHAVE_DOT = NO\n"
                       "CLASS_GRAPH = NO\nEXTRACT_ALL = YES\nQUIET = YES\nWARNINGS = NO\n"},
          {"src/topics.h", readFile(qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + QStringLiteral("/src/chm/topics.h"))},
          {"src/tocindex.h", readFile(qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + QStringLiteral("/src/chm/tocindex.h"))}},
         {QStringLiteral("doxygen"), QStringLiteral("Doxyfile")}, QStringLiteral("out/html/index.hhp"),
         QStringLiteral("out/html/index.chm"), 0x0409,
         {{QStringLiteral("stringtable"), QStringLiteral("classzelbrin_1_1chm_1_1StringTable.html")},
          {QStringLiteral("viewers"), QStringLiteral("topics_8h_source.html")}}},
    };
}

// The Locals of a contents or index file that lead to no stored file.
QStringList deadLocals(const QByteArray &sitemap, const QString &unpacked, const zelbrin::chm::AnsiCodePage &cp) {
    QStringList dead;
    zelbrin::hhc::forEachTag(sitemap, zelbrin::hhc::QuoteRule::Sitemap, [&](const zelbrin::hhc::Tag &tag) {
        const auto *name = tag.attribute("name");
        const auto *value = tag.attribute("value");
        if (tag.name.toLower() != "param" || !name || !value ||
            sitemap.mid(name->value.begin, name->value.end - name->value.begin).toLower() != "local")
            return;
        const QByteArray raw = sitemap.mid(value->value.begin, value->value.end - value->value.begin);
        QString local = zelbrin::hhc::decodeEntities(zelbrin::chm::decodeCharset(raw, cp.iconvName).value_or(QString()));
        local = QUrl::fromPercentEncoding(local.section(u'#', 0, 0).toUtf8());
        if (!QFileInfo(QDir::cleanPath(unpacked + u'/' + local)).isFile())
            dead << local;
    });
    return dead;
}

}  // namespace

TEST(HelpProducers, SphinxAndDoxygenProjectsCompileResolveAndAreSearchable) {
    for (const Producer &producer : producers()) {
        SCOPED_TRACE(producer.what);
        QTemporaryDir tmp;
        for (auto it = producer.files.begin(); it != producer.files.end(); ++it)
            writeFile(tmp.path() + u'/' + it.key(), it.value());
        ASSERT_EQ(run(producer.command.first(), producer.command.mid(1), tmp.path()), QString());
        const QString hhp = tmp.path() + u'/' + producer.project;

        // The hhc program in place of HTML Help Workshop's, then the same compilation in
        // process, which tells what it stored.
        const HhcRun program = runHhc(hhp);
        ASSERT_EQ(program.exitCode, 0) << program.err.toStdString();
        EXPECT_EQ(zelbrin::testing::checkStoredFilesReadBack(hhp, tmp.path()), QString());
        const QString chm = tmp.path() + u'/' + producer.chm;
        const QString unpacked = tmp.path() + QStringLiteral("/unpacked");
        ASSERT_EQ(run(qEnvironmentVariable("ZELBRIN_BIN_DIR") + QStringLiteral("/hh"),
                      {QStringLiteral("-decompile"), unpacked, chm}, tmp.path()),
                  QString());
        const zelbrin::chm::AnsiCodePage &cp = zelbrin::chm::ansiCodePage(producer.lcid);
        int sitemaps = 0;
        for (QDirIterator it(unpacked, {QStringLiteral("*.hhc"), QStringLiteral("*.hhk")}, QDir::Files); it.hasNext();) {
            const QString sitemap = it.next();
            EXPECT_EQ(deadLocals(readFile(sitemap), unpacked, cp), QStringList()) << sitemap.toStdString();
            ++sitemaps;
        }
        EXPECT_EQ(sitemaps, 2);

        QList<zelbrin::chm::testing::SearchQuery> queries;
        for (const auto &[word, page] : producer.words)
            queries.append({zelbrin::chm::encodeAnsiLossy(word, cp), false});
        QString error;
        const QList<QList<QByteArray>> found =
            zelbrin::chm::testing::searchWithPythonChm(chm, queries, &error);
        ASSERT_EQ(error, QString());
        for (qsizetype i = 0; i < queries.size(); ++i)
            EXPECT_TRUE(found[i].contains(producer.words[i].second.toUtf8())) << producer.words[i].first.toStdString();
    }
}

// The full-text index hhc writes for the pages of help files that HTML Help Workshop
// compiled, against the one HHW wrote for them: word by word, location by location, byte
// by byte.
#include "chmreader.h"
#include "compiler.h"
#include "ftsreader.h"
#include "hhctesting.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <span>

using namespace zelbrin;

namespace {

std::span<const unsigned char> bytesOf(const QByteArray &data) {
    return {reinterpret_cast<const unsigned char *>(data.constData()), std::size_t(data.size())};
}

// A reference: the shared ones lie beside the checkout, the others in the tests' data folder.
QString referenceFile(const QString &name) {
    const QString source = qEnvironmentVariable("ZELBRIN_SOURCE_DIR");
    const QStringList folders = {source + "/src/tools/hhc/tests/data", source + "/../shared/chm-references",
                                 QStringLiteral("/work/shared/chm-references")};
    for (const QString &folder : folders)
        if (QFileInfo(folder + "/" + name).isFile())
            return folder + "/" + name;
    return {};
}

// Every file of the help file that is not its own bookkeeping goes into folder (hh's
// unpacker passes over pages whose names begin with '$', as WinCHM names some); returns
// HHW's /$FIftiMain.
QByteArray unpackWithIndex(const QString &chmFile, const QString &folder) {
    const QByteArray chm = hhctest::readFile(chmFile);
    hh::ChmReader reader(bytesOf(chm));
    EXPECT_TRUE(reader.ok()) << reader.error();
    QByteArray index;
    for (std::size_t i = 0; i < reader.entries().size(); ++i) {
        const QString name = QString::fromStdString(reader.entries()[i].name);
        const bool page = name.endsWith(".htm", Qt::CaseInsensitive) || name.endsWith(".html", Qt::CaseInsensitive);
        if (name != "/$FIftiMain" && !page)
            continue;
        QByteArray bytes;
        EXPECT_EQ(reader.extract(i, [&](const unsigned char *data, size_t size) {
                      bytes.append(reinterpret_cast<const char *>(data), qsizetype(size));
                      return true;
                  }),
                  "");
        if (name == "/$FIftiMain")
            index = bytes;
        else
            hhctest::writeFile(folder + name, bytes);
    }
    return index;
}

// The words of an index with their documents and locations, one line each.
QStringList wordLines(const hh::FtsIndex &index) {
    QStringList lines;
    for (const hh::FtsWord &w : index.words) {
        QString line = QString::fromLatin1(QByteArray::fromStdString(w.word).toHex()) + (w.title ? " title:" : ":");
        for (const hh::FtsDocumentHits &d : w.documents) {
            line += QStringLiteral(" %1@").arg(d.document);
            for (std::uint32_t l : d.locations)
                line += QString::number(l) + u',';
        }
        lines << line;
    }
    return lines;
}

struct Reference {
    const char *file;
    const char *language;
    QStringList pages;  // in HHW's #TOPICS order, which numbers the documents
};

// What hhc writes for the pages with the project's options.
QByteArray compileIndex(const QString &folder, const Reference &r, bool search) {
    QByteArray project = "[OPTIONS]\r\nCompiled file=ours.chm\r\nLanguage=" + QByteArray(r.language) +
                         "\r\nFull-text search=" + (search ? "Yes" : "No") + "\r\nDefault topic=" +
                         hhctest::gbk(r.pages.front()) + "\r\n\r\n[FILES]\r\n";
    for (const QString &page : r.pages)
        project += hhctest::gbk(page) + "\r\n";
    hhctest::writeFile(folder + "/p.hhp", project);
    QList<chm::StoredFile> stored;
    hhc::CompileOptions options;
    options.storedFiles = &stored;
    const hhc::CompileResult result = hhc::compileHelpProject(folder + "/p.hhp", options);
    EXPECT_TRUE(result.ok) << result.errors.join(u'\n').toStdString();
    for (const chm::StoredFile &f : stored)
        if (f.name == "/$FIftiMain")
            return f.data;
    ADD_FAILURE() << "no /$FIftiMain stored";
    return {};
}

}  // namespace

// Every word and location, the header and the layout are HHW's. One field stays apart:
// 0x3A, which HHW fills with a count that follows the length in characters of the largest
// page's text but matches no rule we could derive from the references; no reader we know
// uses it, and hhc writes 0 there.
TEST(FullTextReference, IndexOfHtmlHelpWorkshopsOwnPagesIsTheSame) {
    const Reference references[] = {
        {"ChengWallpaper_help.chm", "0x804", {"你可能想解决的问题.htm", "常见问题解决方法.htm", "开始.htm"}},
        {"pychm_combined.chm", "0x409", {"Untitled1.htm", "Untitled2.htm"}},
        {"TencentMeetingHelper_Help.chm", "0x804",
         {"$$unsavedpage1.htm", "$$unsavedpage2.htm", "$$unsavedpage3.htm", "$$unsavedpage4.htm",
          "$$unsavedpage5.htm", "page/About(Chinese).htm", "page/About(English).htm",
          "page/软件功能(Chinese)/内置腾讯会议.htm", "page/软件功能(Chinese)/检测腾讯会议进程.htm",
          "page/软件功能(Chinese)/清理腾讯会议进程.htm", "page/软件功能(Chinese)/腾讯会议下载.htm",
          "page/软件功能(Chinese)/腾讯会议信号测试.htm"}},
    };
    for (const Reference &r : references) {
        SCOPED_TRACE(r.file);
        const QString file = referenceFile(r.file);
        ASSERT_FALSE(file.isEmpty()) << r.file << " not found";
        QTemporaryDir tmp;
        QByteArray hhw = unpackWithIndex(file, tmp.path());
        const QByteArray ours = compileIndex(tmp.path(), r, true);
        std::string error;
        const auto hhwIndex = hh::readFullTextIndex(bytesOf(hhw), error);
        const auto ourIndex = hh::readFullTextIndex(bytesOf(ours), error);
        ASSERT_TRUE(hhwIndex && ourIndex) << error;
        EXPECT_GT(hhwIndex->words.size(), 4u);
        EXPECT_EQ(wordLines(*ourIndex), wordLines(*hhwIndex));
        hhw.replace(0x3A, 4, QByteArray(4, '\0'));
        EXPECT_EQ(ours.toHex().toStdString(), hhw.toHex().toStdString());
    }

    // Search off: HHW stores an empty /$FIftiMain (as in HideWizard_help.chm), and so does hhc.
    const QString hideWizard = referenceFile("HideWizard_help.chm");
    ASSERT_FALSE(hideWizard.isEmpty());
    QTemporaryDir off;
    EXPECT_TRUE(unpackWithIndex(hideWizard, off.path() + "/hw").isEmpty());
    unpackWithIndex(referenceFile(references[0].file), off.path());
    const QByteArray none = compileIndex(off.path(), references[0], false);
    EXPECT_TRUE(none.isEmpty());
}

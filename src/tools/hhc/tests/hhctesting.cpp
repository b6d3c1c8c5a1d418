#include "hhctesting.h"

#include "textencoding.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

#include <gtest/gtest.h>

namespace hhctest {

QByteArray gbk(const QString &text) {
    const auto bytes = zelbrin::encodeGbk(text);
    EXPECT_TRUE(bytes.has_value()) << text.toStdString();
    return bytes.value_or(QByteArray());
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

QByteArray smallPng(unsigned rgb) {
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(rgb);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "PNG"));
    return bytes;
}

HhcRun runHhc(const QString &projectFile, const QProcessEnvironment &env) {
    HhcRun run;
    const QString bin = qEnvironmentVariable("ZELBRIN_BIN_DIR");
    EXPECT_FALSE(bin.isEmpty()) << "ZELBRIN_BIN_DIR is not set";
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(bin + QStringLiteral("/hhc"), {projectFile});
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
        ADD_FAILURE() << "hhc did not run: " << p.errorString().toStdString();
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

bool extractChm(const QString &chm, const QString &dest) {
    QProcess p;
    p.start(QStringLiteral("extract_chmLib"), {chm, dest});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QMap<int, QByteArray> systemRecords(const QString &unpackedFolder) {
    QMap<int, QByteArray> records;
    const QByteArray d = readFile(unpackedFolder + QStringLiteral("/#SYSTEM"));
    qsizetype i = 4;  // after the version
    while (i + 4 <= d.size()) {
        const int code = qFromLittleEndian<quint16>(d.constData() + i);
        const int len = qFromLittleEndian<quint16>(d.constData() + i + 2);
        QByteArray value = d.mid(i + 4, len);
        while (value.endsWith('\0'))
            value.chop(1);
        records.insert(code, value);
        i += 4 + len;
    }
    return records;
}

QList<SitemapEntry> sitemapEntries(const QByteArray &gbkText) {
    const QString text = zelbrin::decodeGbk(gbkText);
    static const QRegularExpression param(QStringLiteral("<param name=\"([^\"]+)\" value=\"([^\"]*)\">"),
                                          QRegularExpression::CaseInsensitiveOption);
    QList<SitemapEntry> entries;
    const QStringList blocks = text.split(QStringLiteral("<OBJECT type=\"text/sitemap\">"), Qt::KeepEmptyParts,
                                          Qt::CaseInsensitive);
    for (qsizetype b = 1; b < blocks.size(); ++b) {
        const QString block = blocks[b].left(blocks[b].indexOf(QStringLiteral("</OBJECT>"), 0, Qt::CaseInsensitive));
        SitemapEntry e;
        bool named = false;
        for (auto m = param.globalMatch(block); m.hasNext();) {
            const auto match = m.next();
            if (match.captured(1).compare(u"Name", Qt::CaseInsensitive) == 0 && !named) {
                e.name = match.captured(2);
                named = true;
            } else if (match.captured(1).compare(u"Local", Qt::CaseInsensitive) == 0) {
                e.local = match.captured(2);
            }
        }
        entries.append(e);
    }
    return entries;
}

QByteArray attributeNear(const QByteArray &html, const QByteArray &marker, const QByteArray &attr) {
    const qsizetype at = html.indexOf(marker);
    if (at < 0)
        return QByteArray();
    const qsizetype start = html.lastIndexOf('<', at);
    const qsizetype end = html.indexOf('>', at);
    const QByteArray tag = html.mid(start, end - start);
    const qsizetype a = tag.indexOf(QByteArray(attr + "=\""));
    if (a < 0)
        return QByteArray();
    const qsizetype v = a + attr.size() + 2;
    return tag.mid(v, tag.indexOf('"', v) - v);
}

QString writeWorkbenchProject(const QString &projectFolder, const QString &name, const QString &defaultTopic,
                              const QStringList &contentsLines, const QStringList &indexLines) {
    const QString p = projectFolder.endsWith(u'/') ? projectFolder : projectFolder + u'/';
    const QString html = p + QStringLiteral("temp/html/");
    const QString hhc = p + QStringLiteral("temp/") + name + QStringLiteral(".hhc");
    const QString hhk = p + QStringLiteral("temp/") + name + QStringLiteral(".hhk");
    auto save = [](const QString &path, QStringList lines) {
        writeFile(path, gbk(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    };
    QStringList contents{
        QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\"><HTML><HEAD><meta name=\"GENERATOR\">"
                       "<!-- Sitemap 1.0 --></HEAD><BODY><OBJECT type=\"text/site properties\">"),
        QStringLiteral("<param name=\"FrameName\" value=\"right\">"),
        QStringLiteral("<param name=\"ImageType\" value=\"Folder\">"),
        QStringLiteral("<param name=\"Window Styles\" value=\"519\">"),
        QStringLiteral("<param name=\"Foreground\" value=\"0x80000008\">"),
        QStringLiteral("<param name=\"Background\" value=\"0xFFFFFF\">"),
        QStringLiteral("<param name=\"Font\" value=\"宋体,9,0\"></OBJECT>")};
    for (const QString &l : contentsLines)
        contents.append(QString(l).replace(QStringLiteral("%H"), html));
    QStringList index{QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\"><HTML><HEAD>"),
                      QStringLiteral("<meta name=\"GENERATOR\" content=\"Microsoft&reg; HTML Help Workshop 4.1\">"),
                      QStringLiteral("<!-- Sitemap 1.0 -->"), QStringLiteral("</HEAD><BODY><UL>")};
    for (const QString &l : indexLines)
        index.append(QString(l).replace(QStringLiteral("%H"), html));
    index.append(QStringLiteral("</UL></BODY></HTML>"));
    const QStringList project{
        QStringLiteral("[OPTIONS]"),
        QStringLiteral("Compatibility=1.1 or later"),
        QStringLiteral("Default Font=宋体,9,0"),
        QStringLiteral("Compiled file=") + p + name + QStringLiteral(".CHM"),
        QStringLiteral("Contents file=") + hhc,
        QStringLiteral("index file=") + hhk,
        QStringLiteral("Default topic=") + name,
        QStringLiteral("Default Window=win"),
        QStringLiteral("Full-text search=Yes"),
        QStringLiteral("Display compile progress=Yes"),
        QStringLiteral("Language=0x0804"),
        QStringLiteral("[WINDOWS]"),
        QString(),
        QStringLiteral("win=\"") + name + QStringLiteral("\",\"") + hhc + QStringLiteral("\",\"") + hhk +
            QStringLiteral("\",\"") + QString(defaultTopic).replace(QStringLiteral("%H"), html) +
            QStringLiteral("\",\"\",\"\",\"\",\"\",\"\",463904,185,1063038,[47,69,672,548],0,0,,0,0,0,0"),
        QStringLiteral("[FILES]"),
        QStringLiteral("[MERGE FILES]")};
    save(hhc, contents);
    save(hhk, index);
    const QString hhp = p + QStringLiteral("temp/") + name + QStringLiteral(".hhp");
    save(hhp, project);
    return hhp;
}

}  // namespace hhctest

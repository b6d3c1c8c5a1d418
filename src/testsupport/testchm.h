#pragma once

// Small compiled help files for tests, made with our hhc from an ASCII project.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace zelbrin::testing {

// ZELBRIN_BIN_DIR/name: a program of the build's program folder.
inline QString binProgram(const QString &name) {
    return qEnvironmentVariable("ZELBRIN_BIN_DIR") + u'/' + name;
}

// A picture-like file holding every byte value, so a byte-for-byte comparison notices
// any text-mode or encoding damage.
inline QByteArray allBytes() {
    QByteArray b("GIF89a");
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b;
}

// The pages of the default test project, by their path inside the help file.
inline QMap<QString, QByteArray> defaultChmPages() {
    return {
        {"index.htm", "<html><head><title>Start</title></head><body>Start page</body></html>\r\n"},
        {"aa/x.htm", "<html><body>Page X</body></html>\r\n"},
        {"bb/y.htm", "<html><body>Page Y</body></html>\r\n"},
        {"cc/z.htm", "<html><body>Page Z</body></html>\r\n"},
        {"pics/pic.gif", allBytes()},
    };
}

// Writes the project (pages plus contents "toc.hhc" and index "idx.hhk") into
// projectDir and compiles chmPath from it with hhc. Returns an error text, empty
// on success. The contents and index written are returned through hhcHhk, by their
// names in the help file.
inline QString makeTestChm(const QString &projectDir, const QString &chmPath,
                           const QMap<QString, QByteArray> &pages,
                           QMap<QString, QByteArray> *hhcHhk = nullptr) {
    QDir().mkpath(projectDir);
    QByteArray sitemap = "<HTML><BODY>\r\n<UL>\r\n";
    QByteArray fileList;
    for (auto it = pages.begin(); it != pages.end(); ++it) {
        const QString path = projectDir + u'/' + it.key();
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size())
            return "cannot write " + path;
        fileList += it.key().toUtf8() + "\r\n";
        if (it.key().endsWith(".htm"))
            sitemap += "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" +
                       it.key().toUtf8() + "\"><param name=\"Local\" value=\"" +
                       it.key().toUtf8() + "\"></OBJECT>\r\n";
    }
    sitemap += "</UL>\r\n</BODY></HTML>\r\n";
    const QByteArray hhp = "[OPTIONS]\r\nCompiled file=" + QFileInfo(chmPath).fileName().toUtf8() +
                           "\r\nContents file=toc.hhc\r\nIndex file=idx.hhk\r\n"
                           "Default topic=index.htm\r\nTitle=Test\r\nLanguage=0x409\r\n\r\n"
                           "[FILES]\r\n" + fileList;
    const QMap<QString, QByteArray> extra{{"toc.hhc", sitemap}, {"idx.hhk", sitemap}, {"t.hhp", hhp}};
    for (auto it = extra.begin(); it != extra.end(); ++it) {
        QFile f(projectDir + u'/' + it.key());
        if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size())
            return "cannot write " + it.key();
    }
    // hhc stores the contents and index under their own names.
    if (hhcHhk)
        *hhcHhk = {{"toc.hhc", sitemap}, {"idx.hhk", sitemap}};
    // Compiled by our own hhc, as the workbench compiles its projects.
    QProcess hhc;
    hhc.setWorkingDirectory(projectDir);
    hhc.setProcessChannelMode(QProcess::MergedChannels);
    hhc.start(binProgram("hhc"), {projectDir + "/t.hhp"});
    if (!hhc.waitForFinished(60000))
        return "hhc did not run: " + hhc.errorString();
    const QString out = QString::fromLocal8Bit(hhc.readAll());
    const QString made = projectDir + u'/' + QFileInfo(chmPath).fileName();
    if (hhc.exitStatus() != QProcess::NormalExit || hhc.exitCode() != 0 || !QFileInfo(made).isFile())
        return "hhc failed: " + out;
    if (QFileInfo(made).absoluteFilePath() != QFileInfo(chmPath).absoluteFilePath()) {
        QDir().mkpath(QFileInfo(chmPath).path());
        QFile::remove(chmPath);
        if (!QFile::rename(made, chmPath))
            return "cannot move the help file to " + chmPath;
    }
    return {};
}

// Renames an entry in place inside the archive's directory listing, where names are
// stored as a length byte followed by the name. The new name must have the same length.
inline bool patchChmEntryName(const QString &chmPath, const QByteArray &from, const QByteArray &to) {
    if (from.size() != to.size() || from.size() > 127)
        return false;
    QFile f(chmPath);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray data = f.readAll();
    const QByteArray needle = char(from.size()) + from;
    const qsizetype at = data.indexOf(needle);
    if (at < 0 || data.indexOf(needle, at + 1) >= 0)
        return false;
    data.replace(at + 1, to.size(), to);
    f.seek(0);
    return f.write(data) == data.size();
}

}  // namespace zelbrin::testing

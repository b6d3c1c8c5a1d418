#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Helpers for the tests that run the hhc program and unpack what it made.
namespace hhctest {

QByteArray gbk(const QString &text);
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
// A real picture: a small PNG made with QImage.
QByteArray smallPng(unsigned rgb);

struct HhcRun {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs the hhc program of the program folder (ZELBRIN_BIN_DIR) on one project file.
HhcRun runHhc(const QString &projectFile, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
// Unpacks a .chm with extract_chmLib into dest; true on success.
bool extractChm(const QString &chm, const QString &dest);

// #SYSTEM records of an unpacked help file: code -> raw bytes (without trailing NULs).
QMap<int, QByteArray> systemRecords(const QString &unpackedFolder);

struct SitemapEntry {
    QString name;   // the first Name of the entry, decoded from GBK
    QString local;  // its Local, decoded from GBK; empty when it has none
};
// The entries of an unpacked contents or index file, in order.
QList<SitemapEntry> sitemapEntries(const QByteArray &gbkText);

// The value of the first attribute `attr` of a tag whose text contains `marker`
// (e.g. the src of <img ... id="pic">); empty when there is none.
QByteArray attributeNear(const QByteArray &html, const QByteArray &marker, const QByteArray &attr);

// A help project exactly as the workbench's help-project writer lays it out: project
// folder P, pages in P/temp/html/, the .hhp, .hhc and .hhk in P/temp/, all GBK, CR LF.
// contentsLines and indexLines are the lines after the fixed head lines; "%H" in them
// stands for the HTML folder. Returns the .hhp path.
QString writeWorkbenchProject(const QString &projectFolder, const QString &name, const QString &defaultTopic,
                              const QStringList &contentsLines, const QStringList &indexLines);

}  // namespace hhctest

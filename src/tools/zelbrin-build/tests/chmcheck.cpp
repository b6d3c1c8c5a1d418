#include "chmcheck.h"

#include "compiler.h"
#include "readers.h"
#include "textencoding.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <iconv.h>

namespace zelbrin::testing {
namespace {

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString decodeAs(const QByteArray &bytes, const QByteArray &charset) {
    iconv_t cd = iconv_open("UTF-8", charset.constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromUtf8(bytes);
    QByteArray in = bytes, out(bytes.size() * 4 + 16, '\0');
    char *ip = in.data(), *op = out.data();
    size_t il = size_t(in.size()), ol = size_t(out.size());
    while (il > 0 && iconv(cd, &ip, &il, &op, &ol) == size_t(-1)) {
        ++ip;  // skip a byte the charset does not know
        --il;
    }
    iconv_close(cd);
    out.truncate(out.size() - qsizetype(ol));
    return QString::fromUtf8(out);
}

QString plainText(QString html) {
    static const QRegularExpression styles(QStringLiteral("<(style|script)[^>]*>.*?</\\1>"),
                                           QRegularExpression::DotMatchesEverythingOption |
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    static const QRegularExpression numeric(QStringLiteral("&#(x?)([0-9A-Fa-f]+);"));
    static const QRegularExpression space(QStringLiteral("\\s+"));
    html.remove(styles).replace(tags, QStringLiteral(" "));
    QString out;
    qsizetype last = 0;
    for (auto it = numeric.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(html).mid(last, m.capturedStart() - last);
        const char32_t cp = char32_t(m.captured(2).toUInt(nullptr, m.captured(1).isEmpty() ? 10 : 16));
        out += QString::fromUcs4(&cp, 1);
        last = m.capturedEnd();
    }
    out += QStringView(html).mid(last);
    out.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "))
        .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return out.replace(space, QStringLiteral(" "));
}

QString resolveLocal(const QString &root, QString local) {
    // A sitemap is HTML: its values carry entities, as readers know.
    local.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    local = local.section(u'#', 0, 0);
    if (local.contains(QStringLiteral("::")))
        local = local.section(QStringLiteral("::"), -1);
    local.replace(u'\\', u'/');
    while (local.startsWith(u'/'))
        local.remove(0, 1);
    return QDir::cleanPath(root + u'/' + QUrl::fromPercentEncoding(local.toUtf8()));
}

}  // namespace

QString decodePage(const QByteArray &bytes) {
    static const QRegularExpression meta(QStringLiteral("charset\\s*=\\s*[\"']?([A-Za-z0-9_-]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = meta.match(QString::fromLatin1(bytes.left(4096)));
    QByteArray charset = m.hasMatch() ? m.captured(1).toLatin1().toLower() : QByteArray("utf-8");
    if (charset == "gb2312" || charset == "gbk")
        charset = "GB18030";
    return decodeAs(bytes, charset);
}

int runProgram(const QString &program, const QStringList &args, QString *output, int timeoutMs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -2;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3;
}


QString checkStoredFilesReadBack(const QString &hhp, const QString &scratch) {
    QList<zelbrin::chm::StoredFile> stored;
    zelbrin::hhc::CompileOptions options;
    options.storedFiles = &stored;
    const zelbrin::hhc::CompileResult result = zelbrin::hhc::compileHelpProject(hhp, options);
    if (!result.ok)
        return QStringLiteral("hhc failed: ") + result.errors.join(u'\n');
    QMap<QByteArray, QByteArray> expected;
    for (const zelbrin::chm::StoredFile &f : stored)
        expected.insert(f.name, f.data);
    return zelbrin::chm::testing::compareWithReaders(result.outputPath, scratch, expected);
}

QString checkWithPythonChm(const QString &chm, const QString &expectedTitle, const QStringList &expectedEntries) {
    // Names and texts go through as hexadecimal, so no encoding stands between.
    static const char *script = R"py(import sys, re
from chm import chm
f = chm.CHMFile()
if not f.LoadCHM(bytes.fromhex(sys.argv[1])):
    sys.exit("cannot open")
print("title", f.title.hex())
print("lcid", (f.GetLCID() or [b"none"])[0].decode())
tree = f.GetTopicsTree() or b""
for name in re.findall(rb'<param name="Name" value="([^"]*)">', tree, re.I):
    print("entry", name.hex())
)py";
    QString out;
    const int code = runProgram(QStringLiteral("/usr/bin/python3"),
                                {QStringLiteral("-c"), QString::fromLatin1(script),
                                 QString::fromLatin1(QFile::encodeName(chm).toHex())},
                                &out, 60000);
    if (code != 0)
        return QStringLiteral("python3-chm failed (%1): %2").arg(code).arg(out);
    QString title, lcid;
    QStringList entries;
    for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts)) {
        const QString value = line.section(u' ', 1);
        if (line.startsWith(QLatin1String("title ")))
            title = decodeGbk(QByteArray::fromHex(value.toLatin1()));
        else if (line.startsWith(QLatin1String("lcid ")))
            lcid = value;
        else if (line.startsWith(QLatin1String("entry ")))
            entries << decodeGbk(QByteArray::fromHex(value.toLatin1()));
    }
    QStringList problems;
    if (title != expectedTitle)
        problems << QStringLiteral("title \"%1\", not \"%2\"").arg(title, expectedTitle);
    if (lcid != QLatin1String("cp936"))
        problems << QStringLiteral("code page %1, not cp936").arg(lcid);
    for (const QString &e : expectedEntries)
        if (!entries.contains(e))
            problems << QStringLiteral("contents lack \"%1\"").arg(e);
    return problems.join(u'\n');
}

UnpackedChm unpackChm(const QString &chm, const QString &intoFolder) {
    UnpackedChm u;
    u.folder = intoFolder;
    QString out;
    const int code = runProgram(QStringLiteral("extract_chmLib"), {chm, intoFolder}, &out, 60000);
    if (code != 0) {
        u.error = QStringLiteral("extract_chmLib failed (%1): %2").arg(code).arg(out);
        return u;
    }
    QString contents;
    for (QDirIterator it(intoFolder, {QStringLiteral("*.hhc")}, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();)
        contents = it.next();
    if (contents.isEmpty()) {
        u.error = QStringLiteral("no contents file stored");
        return u;
    }
    const QString text = decodeGbk(readAll(contents));
    static const QRegularExpression object(QStringLiteral("<OBJECT type=\"text/sitemap\">(.*?)</OBJECT>"),
                                           QRegularExpression::DotMatchesEverythingOption |
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression param(QStringLiteral("<param name=\"(Name|Local)\" value=\"([^\"]*)\">"),
                                          QRegularExpression::CaseInsensitiveOption);
    for (auto it = object.globalMatch(text); it.hasNext();) {
        const QString body = it.next().captured(1);
        QString name, local;
        for (auto p = param.globalMatch(body); p.hasNext();) {
            const auto m = p.next();
            if (m.captured(1).compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0) {
                if (name.isEmpty())
                    name = m.captured(2);
            } else {
                local = m.captured(2);
            }
        }
        u.entries.append({name, local});
        if (!local.isEmpty() && !QFileInfo(resolveLocal(intoFolder, local)).isFile())
            u.deadLocals << local;
    }
    return u;
}

QString UnpackedChm::pagePath(const QString &title) const {
    for (const auto &e : entries)
        if (e.first == title && !e.second.isEmpty())
            return resolveLocal(folder, e.second);
    return {};
}

QString UnpackedChm::pageText(const QString &title) const {
    const QString path = pagePath(title);
    return path.isEmpty() ? QString() : plainText(decodePage(readAll(path)));
}

int UnpackedChm::storedImages(const QString &title) const {
    const QString path = pagePath(title);
    const QString html = decodePage(readAll(path));
    static const QRegularExpression img(QStringLiteral("<img[^>]*\\ssrc=\"([^\"]+)\""),
                                        QRegularExpression::CaseInsensitiveOption);
    int n = 0;
    const QString dir = QFileInfo(path).path();
    for (auto it = img.globalMatch(html); it.hasNext();) {
        const QString src = it.next().captured(1);
        if (!src.contains(QStringLiteral("://")) &&
            QFileInfo(QDir::cleanPath(dir + u'/' + QUrl::fromPercentEncoding(src.toUtf8()))).isFile())
            ++n;
    }
    return n;
}

}  // namespace zelbrin::testing

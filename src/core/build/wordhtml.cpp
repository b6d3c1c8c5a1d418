#include "wordhtml.h"

#include "atomicfile.h"
#include "builderror.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace zelbrin {
namespace {

bool isLeadByte(uchar b) { return b >= 0x81 && b <= 0xFE; }
bool isTrailByte(uchar b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// A lead byte pairs only with a real trail byte, so a stray high byte (or a page that is
// UTF-8 after all) never hides the ASCII "<" or digit behind it.
qsizetype charLength(const QByteArray &text, qsizetype i) {
    return isLeadByte(uchar(text[i])) && i + 1 < text.size() && isTrailByte(uchar(text[i + 1])) ? 2 : 1;
}

bool isCharBoundary(const QByteArray &text, qsizetype pos) {
    if (pos == 0 || uchar(text[pos]) < 0x40 || uchar(text[pos - 1]) < 0x81)
        return true;  // neither can that byte be a trail, nor the one before a lead
    // A byte below 0x40 is a character of its own, so a boundary follows it: walk from there.
    qsizetype i = pos - 1;
    while (i > 0 && uchar(text[i - 1]) >= 0x40)
        --i;
    while (i < pos)
        i += charLength(text, i);
    return i == pos;
}

QByteArray asciiLowered(QByteArray s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c + ('a' - 'A'));
    return s;
}

// Every line end (CR LF, lone CR, lone LF) becomes CR LF, and a last line gets one too.
QByteArray withCrLfLines(const QByteArray &text) {
    QByteArray out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    if (!text.isEmpty() && !text.endsWith('\r') && !text.endsWith('\n'))
        out += "\r\n";
    return out;
}

// Where Word puts the pictures of a page: "<name before the first .htm>.files/" beside it.
QString pictureFolder(const QString &pagePath) {
    const qsizetype slash = pagePath.lastIndexOf(u'/');
    const QString name = pagePath.mid(slash + 1);
    const qsizetype htm = name.indexOf(QStringLiteral(".htm"));
    return pagePath.left(slash + 1) + (htm < 0 ? QString() : name.left(htm)) + QStringLiteral(".files/");
}

}  // namespace

qsizetype gbkIndexOf(const QByteArray &text, const QByteArray &pattern, qsizetype from) {
    if (pattern.isEmpty())
        return -1;
    for (qsizetype pos = std::max<qsizetype>(from, 0);;) {
        const qsizetype hit = text.indexOf(pattern, pos);
        if (hit < 0 || isCharBoundary(text, hit))
            return hit;
        pos = hit + 1;
    }
}

void stripDelimited(QByteArray &text, const QByteArray &open, const QByteArray &close) {
    const QByteArray o = asciiLowered(open), c = asciiLowered(close);
    if (o.isEmpty() || c.isEmpty())
        return;  // an empty marker would be found forever without shrinking the text
    // Nothing before a deletion point matched before, so after the deletion only a match
    // reaching across that point can be new: searching resumes just before it.
    const qsizetype back = std::max(o.size(), c.size()) - 1;
    qsizetype from = 0;
    for (;;) {
        const qsizetype p = gbkIndexOf(text, o, from);
        const qsizetype q = gbkIndexOf(text, c, from);
        if (p < 0 || q < 0)
            return;
        if (p < q) {
            text.remove(p, q - p + c.size());
            from = std::max<qsizetype>(0, p - back);
        } else {
            text.remove(q, c.size());
            from = std::max<qsizetype>(0, q - back);
        }
    }
}

void replaceAll(QByteArray &text, const QByteArray &pattern, const QByteArray &replacement) {
    qsizetype hit = gbkIndexOf(text, pattern, 0);
    if (hit < 0)
        return;
    QByteArray out;
    qsizetype pos = 0;
    for (; hit >= 0; hit = gbkIndexOf(text, pattern, pos)) {
        out += QByteArrayView(text).sliced(pos, hit - pos);
        out += replacement;
        pos = hit + pattern.size();
    }
    out += QByteArrayView(text).sliced(pos);
    text = out;
}

QByteArray cleanWordHtmlText(const QByteArray &page, const QString &pictureFolder) {
    QByteArray text = withCrLfLines(page);
    stripDelimited(text, "<!--", "-->");
    for (const char *marker : {"<![if !vml]>", "<![endif]>", "<![if !mso]>", "<![if !mso & !vml]>"})
        replaceAll(text, marker, QByteArray());

    // Word's exported picture n stands beside its preview n - 1 (.png). The candidate file is
    // picture n itself, and the loop stops at the first even n not referenced.
    const QByteArray jpgTail = ".jpg\" v:shapes";
    const QByteArray pngTail = ".png\" v:shapes";
    for (int n = 2;; n += 2) {
        const QByteArray pattern = QByteArray::number(n) + jpgTail;
        if (gbkIndexOf(text, pattern) < 0)
            break;
        if (QFileInfo(pictureFolder + QString::number(n) + QStringLiteral(".png")).isFile()) {
            QByteArray replacement = QByteArray::number(n - 1) + pngTail;
            if (replacement.size() < pattern.size())
                replacement.prepend('0');
            replaceAll(text, pattern, replacement);
        }
    }
    replaceAll(text, "<![endif]>", QByteArray());
    return withCrLfLines(text);
}

void cleanWordHtml(const QString &pagePath) {
    QFile file(pagePath);
    if (!file.open(QIODevice::ReadOnly))
        throw BuildError(QStringLiteral("无法读取网页文件“%1”：%2").arg(pagePath, file.errorString()));
    const QByteArray raw = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw BuildError(QStringLiteral("无法读取网页文件“%1”：%2").arg(pagePath, file.errorString()));
    file.close();

    QString error;
    if (!writeFileAtomically(pagePath, cleanWordHtmlText(raw, pictureFolder(pagePath)), &error))
        throw BuildError(QStringLiteral("无法写入网页文件“%1”：%2").arg(pagePath, error));
}

}  // namespace zelbrin

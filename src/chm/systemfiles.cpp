#include "systemfiles.h"

#include "binarywriter.h"
#include "topics.h"

#include <QDateTime>

namespace zelbrin::chm {
namespace {

void appendRecord(QByteArray &out, quint16 code, const QByteArray &data) {
    appendLe16(out, code);
    appendLe16(out, quint16(data.size()));
    out.append(data);
}

void appendText(QByteArray &out, quint16 code, const QByteArray &text) {
    if (!text.isEmpty())
        appendRecord(out, code, text + '\0');
}

QByteArray dword(quint32 value) {
    QByteArray b;
    appendLe32(b, value);
    return b;
}

}  // namespace

QByteArray writeSystem(const SystemInfo &info) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // FILETIME: 100-nanosecond intervals since 1601-01-01.
    const quint64 fileTime = quint64(now.toMSecsSinceEpoch()) * 10000 + 116444736000000000ULL;
    QByteArray out;
    appendLe32(out, 3);  // version: the compiler of HTML Help 1.1 and later
    appendRecord(out, 10, dword(quint32(now.toSecsSinceEpoch())));
    // Viewers read record 4 in its longer form only from files of this compiler version on.
    appendText(out, 9, "HHA Version 4.74.8702");
    QByteArray language;
    appendLe32(language, info.lcid);
    appendLe32(language, 0);  // "double-byte": 0 in every help file of that compiler, Chinese and Japanese too
    appendLe32(language, info.fullTextSearch ? 1 : 0);
    appendLe32(language, info.keywords ? 1 : 0);
    appendLe32(language, info.associativeLinks ? 1 : 0);
    appendLe64(language, fileTime);
    appendLe32(language, 0);
    appendLe32(language, 0);
    appendRecord(out, 4, language);
    appendText(out, 2, info.defaultTopic);
    appendText(out, 3, info.title);
    appendText(out, 16, info.defaultFont);
    appendText(out, 6, info.compiledName);
    appendText(out, 5, info.defaultWindow);
    appendText(out, 0, info.contentsFile);
    appendText(out, 1, info.indexFile);
    if (info.indexFileHash)
        appendRecord(out, 7, dword(*info.indexFileHash));
    if (info.contentsFileHash)
        appendRecord(out, 11, dword(*info.contentsFileHash));
    appendRecord(out, 12, dword(0));  // information types
    appendRecord(out, 13, info.indexHeader);
    appendRecord(out, 15, dword(0));  // information type checksum
    return out;
}

QByteArray writeWindows(const QList<WindowInfo> &windows, StringTable &strings) {
    constexpr quint32 kEntrySize = 196;  // the layout of HTML Help 1.1 and later
    QByteArray out;
    appendLe32(out, quint32(windows.size()));
    appendLe32(out, kEntrySize);
    for (const WindowInfo &w : windows) {
        const qsizetype start = out.size();
        appendLe32(out, kEntrySize);
        appendLe32(out, 0);  // the texts are ANSI, not Unicode
        appendLe32(out, strings.add(w.name));
        appendLe32(out, w.validFields);
        appendLe32(out, w.navigationStyle);
        appendLe32(out, strings.add(w.caption));
        appendLe32(out, w.styles);
        appendLe32(out, w.extendedStyles);
        for (qint32 v : {w.left, w.top, w.right, w.bottom})
            appendLe32(out, quint32(v));
        appendLe32(out, w.showState);
        out.append(QByteArray(6 * 4, '\0'));  // window handles and information types, at run time
        appendLe32(out, w.navigationWidth);
        out.append(QByteArray(4 * 4, '\0'));  // the topic pane's rectangle, at run time
        appendLe32(out, strings.add(w.contents));
        appendLe32(out, strings.add(w.index));
        appendLe32(out, strings.add(w.defaultTopic));
        appendLe32(out, strings.add(w.home));
        appendLe32(out, w.buttons);
        appendLe32(out, w.navigationClosed);
        appendLe32(out, w.defaultPane);
        appendLe32(out, w.tabPosition);
        appendLe32(out, w.notifyId);
        out.append(QByteArray(20, '\0'));  // tab order
        appendLe32(out, 0);                // history count: the viewer's default
        appendLe32(out, strings.add(w.jump1Text));
        appendLe32(out, strings.add(w.jump2Text));
        appendLe32(out, strings.add(w.jump1Url));
        appendLe32(out, strings.add(w.jump2Url));
        out.append(QByteArray(16, '\0'));  // minimum size
        appendLe32(out, 0);                // information types
        appendLe32(out, 0);                // custom tabs
        Q_ASSERT(out.size() - start == kEntrySize);
    }
    return out;
}

QByteArray writeIndexHeader(const SiteProperties *site, quint32 topicCount, const QList<QByteArray> &mergeFiles,
                            StringTable &strings) {
    constexpr qsizetype kSize = 4096;
    constexpr qsizetype kMaxMergeFiles = (kSize - 0x50) / 4;
    const quint32 unset = site ? 0xFFFFFFFFu : 0;
    auto number = [&](const std::optional<quint32> &v) { return v ? *v : unset; };
    auto text = [&](const std::optional<QByteArray> &v) {
        return !v ? unset : v->isEmpty() ? 0 : strings.append(*v);
    };
    const SiteProperties none;
    const SiteProperties &s = site ? *site : none;
    QByteArray out("T#SM");
    appendLe32(out, quint32(QDateTime::currentSecsSinceEpoch()));
    appendLe32(out, 1);
    appendLe32(out, topicCount);
    appendLe32(out, 0);
    const quint32 imageList = text(s.imageList);
    appendLe32(out, imageList);
    appendLe32(out, 0);
    appendLe32(out, s.folderImages.value_or(false) ? 1 : 0);
    appendLe32(out, number(s.background));
    appendLe32(out, number(s.foreground));
    appendLe32(out, text(s.font));
    appendLe32(out, number(s.windowStyles));
    appendLe32(out, number(s.extendedWindowStyles));
    appendLe32(out, unset);
    appendLe32(out, text(s.frameName));
    appendLe32(out, text(s.windowName));
    appendLe32(out, 0);  // information types
    appendLe32(out, 1);
    const qsizetype merged = std::min<qsizetype>(mergeFiles.size(), kMaxMergeFiles);
    appendLe32(out, quint32(merged));
    appendLe32(out, 0);
    for (qsizetype i = 0; i < merged; ++i)
        appendLe32(out, strings.append(mergeFiles[i]));
    out.append(QByteArray(kSize - out.size(), '\0'));
    return out;
}

}  // namespace zelbrin::chm

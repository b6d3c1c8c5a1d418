// The update list: the downloaded "Down.dll" against the installed one. The input is both
// lists, split at its first form feed, so that the comparison sees two untrusted lists;
// its first part is also read as a proxy setting, which comes from outside too.
#include "updatelist.h"

using namespace zelbrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = bytes.indexOf('\f');
    const QByteArray local = split < 0 ? bytes : bytes.left(split);
    const QByteArray downloaded = split < 0 ? bytes : bytes.mid(split + 1);

    UpdateFolders folders;
    folders.programFolder = QStringLiteral("/opt/zelbrin/");
    const QString section = QStringLiteral("FileList");
    compareUpdateLists(readIniSection(local, section), readIniSection(downloaded, section), folders);
    parseProxyServer(proxyServerText(QString::fromUtf8(local)), true);
    return 0;
}

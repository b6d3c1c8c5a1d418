#include "container.h"

#include "atomicfile.h"
#include "binarywriter.h"
#include "directory.h"
#include "lzxsection.h"

#include <QDateTime>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace zelbrin::chm {

namespace {

// Names readers know the compressed section by.
const QByteArray NameListName = "::DataSpace/NameList";
const QByteArray StoragePrefix = "::DataSpace/Storage/MSCompressed/";
const QByteArray ContentName = StoragePrefix + "Content";
const QByteArray ControlDataName = StoragePrefix + "ControlData";
const QByteArray SpanInfoName = StoragePrefix + "SpanInfo";
const QByteArray TransformListName = StoragePrefix + "Transform/List";
const QByteArray LzxTransformGuid = "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}";
const QByteArray InstanceDataFolder = StoragePrefix + "Transform/" + LzxTransformGuid + "/InstanceData/";
const QByteArray ResetTableName = InstanceDataFolder + "ResetTable";

// CHMLib refuses longer names.
constexpr int MaxNameLength = 512;

constexpr int ItsfHeaderSize = 0x60;
constexpr int HeaderSection0Size = 0x18;
constexpr int ItspHeaderSize = 0x54;

// GUIDs are stored as a 32-bit, two 16-bit little-endian fields and eight bytes.
void appendGuid(QByteArray &out, quint32 a, quint16 b, quint16 c, const char (&rest)[9]) {
    appendLe32(out, a);
    appendLe16(out, b);
    appendLe16(out, c);
    out.append(rest, 8);
}

QByteArray utf16(const QByteArray &ascii) {
    QByteArray out;
    for (char c : ascii)
        appendLe16(out, quint16(uchar(c)));
    return out;
}

// The two sections' names, each as a counted UTF-16 string with a terminator, after the
// file's length in 16-bit words and the number of names.
QByteArray nameList() {
    QByteArray body;
    appendLe16(body, 2);
    for (const char *name : {"Uncompressed", "MSCompressed"}) {
        appendLe16(body, quint16(qstrlen(name)));
        body += utf16(name);
        appendLe16(body, 0);
    }
    QByteArray out;
    appendLe16(out, quint16((body.size() + 2) / 2));
    return out + body;
}

QByteArray controlData() {
    QByteArray out;
    appendLe32(out, 6);  // DWORDs that follow
    out += "LZXC";
    appendLe32(out, 2);  // version 2: sizes below count 32 KB frames
    appendLe32(out, 2);  // reset interval: 64 KB
    appendLe32(out, 2);  // window: 64 KB
    appendLe32(out, 1);  // windows per reset (CHMLib multiplies the interval by it)
    appendLe32(out, 0);
    return out;
}

// One entry per frame that holds data, plus one where those frames end, which is also
// the compressed length given: 7-Zip's check of the entry count accepts that form for
// every length, the bare form not for all, and the padding frame must not be counted.
QByteArray resetTable(const CompressedSection &section, quint64 uncompressedSize) {
    QByteArray out;
    appendLe32(out, 2);
    appendLe32(out, quint32(section.frameStarts.size() + 1));
    appendLe32(out, 8);
    appendLe32(out, 0x28);
    appendLe64(out, uncompressedSize);
    appendLe64(out, section.framesEnd);
    appendLe64(out, 0x8000);
    for (quint64 start : section.frameStarts)
        appendLe64(out, start);
    appendLe64(out, section.framesEnd);
    return out;
}

QString checkNames(const QList<StoredFile> &files) {
    QSet<QByteArray> seen;
    for (const StoredFile &f : files) {
        if (f.name.isEmpty() || !f.name.startsWith('/') || f.name.endsWith('/'))
            return QStringLiteral("invalid internal name \"%1\"").arg(QString::fromUtf8(f.name));
        if (f.name.contains('\0') || f.name.size() > MaxNameLength)
            return QStringLiteral("invalid internal name \"%1\"").arg(QString::fromUtf8(f.name));
        // Readers look names up without regard to case.
        const QByteArray folded = f.name.toLower();
        if (seen.contains(folded))
            return QStringLiteral("internal name \"%1\" appears twice").arg(QString::fromUtf8(f.name));
        seen.insert(folded);
    }
    return {};
}

// "/" and every folder above a stored name, as the help compiler lists them.
QList<QByteArray> folderNames(const QList<StoredFile> &files) {
    QSet<QByteArray> folders{"/"};
    for (const StoredFile &f : files) {
        for (qsizetype slash = f.name.indexOf('/', 1); slash >= 0; slash = f.name.indexOf('/', slash + 1))
            folders.insert(f.name.left(slash + 1));
    }
    return folders.values();
}

}  // namespace

QString writeContainer(const QString &path, const QList<StoredFile> &files, const ContainerOptions &options) {
    if (const QString bad = checkNames(files); !bad.isEmpty())
        return bad;

    QList<DirectoryEntry> entries;
    entries.reserve(files.size() + 16);

    // Section 1: the files to compress, in the order given.
    SectionSource uncompressed;
    for (const StoredFile &f : files) {
        // An empty file lies at the start of its section, as the help compiler lists it.
        if (f.data.isEmpty())
            entries.append({f.name, f.compressed ? 1u : 0u, 0, 0});
        else if (f.compressed) {
            entries.append({f.name, 1, quint64(uncompressed.size()), quint64(f.data.size())});
            uncompressed.append(f.data);
        }
    }
    const CompressedSection section = compressSection(uncompressed, options.threads, options.progress);

    // Section 0: the compressed section's description and stream, then stored files.
    QByteArray section0;
    auto addSection0 = [&](const QByteArray &name, const QByteArray &data) {
        entries.append({name, 0, quint64(section0.size()), quint64(data.size())});
        section0 += data;
    };
    addSection0(NameListName, nameList());
    // The help compiler writes the first 38 bytes of the transform's GUID in UTF-16.
    addSection0(TransformListName, utf16(LzxTransformGuid).left(38));
    QByteArray spanInfo;
    appendLe64(spanInfo, quint64(uncompressed.size()));
    addSection0(SpanInfoName, spanInfo);
    addSection0(ControlDataName, controlData());
    // libmspack reads the stream straight from the file and, at its last frame, up to
    // two words past the end, of which it makes up only one: the stream must not end
    // the file.
    addSection0(ContentName, section.content);
    addSection0(ResetTableName, resetTable(section, quint64(uncompressed.size())));
    for (const StoredFile &f : files)
        if (!f.compressed && !f.data.isEmpty())
            addSection0(f.name, f.data);

    for (const QByteArray &folder : folderNames(files))
        entries.append({folder, 0, 0, 0});
    entries.append({InstanceDataFolder, 0, 0, 0});
    std::sort(entries.begin(), entries.end(), [](const DirectoryEntry &a, const DirectoryEntry &b) {
        return compareEntryNames(a.name, b.name) < 0;
    });

    Directory directory;
    if (!buildDirectory(entries, &directory))
        return QStringLiteral("the directory of %1 cannot be laid out").arg(path);

    const quint64 directoryOffset = ItsfHeaderSize + HeaderSection0Size;
    const quint64 directoryLength = ItspHeaderSize + quint64(directory.chunks.size());
    const quint64 section0Offset = directoryOffset + directoryLength;
    const quint64 fileSize = section0Offset + quint64(section0.size());

    QByteArray out;
    out.reserve(qsizetype(fileSize));
    out += "ITSF";
    appendLe32(out, 3);
    appendLe32(out, ItsfHeaderSize);
    appendLe32(out, 1);
    // A time stamp, big-endian as the help compiler stores it.
    char stamp[4];
    qToBigEndian(quint32(QDateTime::currentSecsSinceEpoch()), stamp);
    out.append(stamp, 4);
    appendLe32(out, options.languageId);
    appendGuid(out, 0x7C01FD10, 0x7BAA, 0x11D0, "\x9E\x0C\x00\xA0\xC9\x22\xE6\xEC");
    appendGuid(out, 0x7C01FD11, 0x7BAA, 0x11D0, "\x9E\x0C\x00\xA0\xC9\x22\xE6\xEC");
    appendLe64(out, ItsfHeaderSize);
    appendLe64(out, HeaderSection0Size);
    appendLe64(out, directoryOffset);
    appendLe64(out, directoryLength);
    appendLe64(out, section0Offset);

    appendLe32(out, 0x01FE);
    appendLe32(out, 0);
    appendLe64(out, fileSize);
    appendLe32(out, 0);
    appendLe32(out, 0);

    out += "ITSP";
    appendLe32(out, 1);
    appendLe32(out, ItspHeaderSize);
    appendLe32(out, 0x0A);
    appendLe32(out, Directory::ChunkSize);
    appendLe32(out, Directory::QuickRefDensity);
    appendLe32(out, quint32(directory.depth));
    appendLe32(out, quint32(directory.indexRootChunk));
    appendLe32(out, 0);  // first listing chunk
    appendLe32(out, quint32(directory.lastListingChunk));
    appendLe32(out, 0xFFFFFFFF);
    appendLe32(out, quint32(directory.chunkCount));
    appendLe32(out, 0x0409);  // the help compiler writes US English here whatever the language
    appendGuid(out, 0x5D02926A, 0x212E, 0x11D0, "\x9D\xF9\x00\xA0\xC9\x22\xE6\xEC");
    appendLe32(out, ItspHeaderSize);
    appendLe32(out, 0xFFFFFFFF);
    appendLe32(out, 0xFFFFFFFF);
    appendLe32(out, 0xFFFFFFFF);
    out += directory.chunks;
    out += section0;

    QString error;
    if (!writeFileAtomically(path, out, &error))
        return QStringLiteral("cannot write %1: %2").arg(path, error);
    return {};
}

}  // namespace zelbrin::chm

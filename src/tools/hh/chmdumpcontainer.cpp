// The dump's sections about the container: its headers, directory and compressed section.
#include "binaryreader.h"
#include "chmdump.h"

#include <QtEndian>

namespace zelbrin::hh {
namespace {

using chm::le16At;
using chm::le32At;
using chm::le64At;

const QByteArray kStorage = "::DataSpace/Storage/MSCompressed/";

QString guidAt(const QByteArray &d, qsizetype at) {
    QString tail;
    for (int i = 8; i < 16; ++i) {
        tail += QStringLiteral("%1").arg(uchar(at + i < d.size() ? d[at + i] : 0), 2, 16, QChar(u'0'));
        if (i == 9)
            tail += u'-';
    }
    return QStringLiteral("{%1-%2-%3-%4}")
        .arg(le32At(d, at), 8, 16, QChar(u'0'))
        .arg(le16At(d, at + 4), 4, 16, QChar(u'0'))
        .arg(le16At(d, at + 6), 4, 16, QChar(u'0'))
        .arg(tail)
        .toUpper();
}

QString signed32(quint32 v) {
    return QString::number(qint32(v));
}

}  // namespace

void dumpItsfHeader(const DumpInput &in, DumpOutput &out) {
    const QByteArray &d = in.bytes;
    out.heading(QStringLiteral("ITSF header"));
    out.field(QStringLiteral("version"), QString::number(le32At(d, 4)));
    out.field(QStringLiteral("header length"), QString::number(le32At(d, 8)));
    out.field(QStringLiteral("unknown at 0x0C"), QString::number(le32At(d, 0x0C)));
    // Stored big-endian, unlike everything else.
    out.field(QStringLiteral("time stamp"), hex32(qFromBigEndian<quint32>(d.constData() + 0x10)));
    out.field(QStringLiteral("language"), hex32(le32At(d, 0x14)));
    out.field(QStringLiteral("class id 1"), guidAt(d, 0x18));
    out.field(QStringLiteral("class id 2"), guidAt(d, 0x28));
    out.field(QStringLiteral("header section 0"),
              QStringLiteral("offset %1, length %2").arg(le64At(d, 0x38)).arg(le64At(d, 0x40)));
    out.field(QStringLiteral("directory"), QStringLiteral("offset %1, length %2").arg(le64At(d, 0x48)).arg(le64At(d, 0x50)));
    if (le32At(d, 4) >= 3)
        out.field(QStringLiteral("content offset"), QString::number(le64At(d, 0x58)));

    const qsizetype s0 = qsizetype(le64At(d, 0x38));
    out.heading(QStringLiteral("header section 0"));
    out.field(QStringLiteral("unknown at 0x00"), hex32(le32At(d, s0)));
    out.field(QStringLiteral("unknown at 0x04"), hex32(le32At(d, s0 + 4)));
    out.field(QStringLiteral("file size"), QString::number(le64At(d, s0 + 8)));
    out.field(QStringLiteral("unknown at 0x10"), hex32(le32At(d, s0 + 0x10)));
    out.field(QStringLiteral("unknown at 0x14"), hex32(le32At(d, s0 + 0x14)));

    const qsizetype p = qsizetype(le64At(d, 0x48));
    out.heading(QStringLiteral("ITSP header"));
    out.field(QStringLiteral("version"), QString::number(le32At(d, p + 4)));
    out.field(QStringLiteral("header length"), QString::number(le32At(d, p + 8)));
    out.field(QStringLiteral("unknown at 0x0C"), hex32(le32At(d, p + 0x0C)));
    out.field(QStringLiteral("chunk size"), QString::number(le32At(d, p + 0x10)));
    out.field(QStringLiteral("quick-reference density"), QString::number(le32At(d, p + 0x14)));
    out.field(QStringLiteral("index depth"), QString::number(le32At(d, p + 0x18)));
    out.field(QStringLiteral("root index chunk"), signed32(le32At(d, p + 0x1C)));
    out.field(QStringLiteral("first listing chunk"), signed32(le32At(d, p + 0x20)));
    out.field(QStringLiteral("last listing chunk"), signed32(le32At(d, p + 0x24)));
    out.field(QStringLiteral("unknown at 0x28"), signed32(le32At(d, p + 0x28)));
    out.field(QStringLiteral("chunks"), QString::number(le32At(d, p + 0x2C)));
    out.field(QStringLiteral("language"), hex32(le32At(d, p + 0x30)));
    out.field(QStringLiteral("class id"), guidAt(d, p + 0x34));
    out.field(QStringLiteral("header length again"), QString::number(le32At(d, p + 0x44)));
    for (int at : {0x48, 0x4C, 0x50})
        out.field(QStringLiteral("unknown at 0x") + QString::number(at, 16).toUpper(), signed32(le32At(d, p + at)));
}

void dumpDirectory(const DumpInput &in, DumpOutput &out) {
    out.heading(QStringLiteral("directory"));
    out.field(QStringLiteral("entries"), QString::number(in.directory.size()));
    for (const DumpDirectoryEntry &e : in.directory) {
        out.line(QStringLiteral("%1: section %2, offset %3, length %4")
                     .arg(in.storedName(e.name))
                     .arg(e.section)
                     .arg(e.offset)
                     .arg(e.length));
    }
}

void dumpCompressedSection(const DumpInput &in, DumpOutput &out) {
    if (in.has("::DataSpace/NameList")) {
        const QByteArray d = in.file("::DataSpace/NameList");
        out.heading(QStringLiteral("::DataSpace/NameList"));
        out.field(QStringLiteral("length in words"), QString::number(le16At(d, 0)));
        const int count = le16At(d, 2);
        qsizetype at = 4;
        for (int i = 0; i < count && at < d.size(); ++i) {
            const int length = le16At(d, at);
            QString name;
            for (int k = 0; k < length; ++k)
                name += QChar(le16At(d, at + 2 + 2 * k));
            out.field(QStringLiteral("section %1").arg(i), name);
            at += 2 + 2 * length + 2;
        }
    }
    if (in.has(kStorage + "Transform/List")) {
        const QByteArray d = in.file(kStorage + "Transform/List");
        QString text;
        for (qsizetype at = 0; at + 2 <= d.size(); at += 2)
            text += QChar(le16At(d, at));
        out.heading(QString::fromLatin1(kStorage + "Transform/List"));
        out.field(QStringLiteral("transforms"), u'"' + text + u'"');
    }
    if (in.has(kStorage + "SpanInfo")) {
        out.heading(QString::fromLatin1(kStorage + "SpanInfo"));
        out.field(QStringLiteral("uncompressed length"), QString::number(le64At(in.file(kStorage + "SpanInfo"), 0)));
    }
    if (in.has(kStorage + "ControlData")) {
        const QByteArray d = in.file(kStorage + "ControlData");
        out.heading(QString::fromLatin1(kStorage + "ControlData"));
        out.field(QStringLiteral("words that follow"), QString::number(le32At(d, 0)));
        out.field(QStringLiteral("signature"), QString::fromLatin1(d.mid(4, 4)));
        out.field(QStringLiteral("version"), QString::number(le32At(d, 8)));
        out.field(QStringLiteral("reset interval"), QString::number(le32At(d, 12)));
        out.field(QStringLiteral("window size"), QString::number(le32At(d, 16)));
        out.field(QStringLiteral("windows per reset"), QString::number(le32At(d, 20)));
        out.field(QStringLiteral("unknown at 0x18"), hex32(le32At(d, 24)));
    }
    const QByteArray tableName =
        kStorage + "Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
    if (in.has(tableName)) {
        const QByteArray d = in.file(tableName);
        out.heading(QStringLiteral("LZX reset table"));
        out.field(QStringLiteral("version"), QString::number(le32At(d, 0)));
        const quint32 count = le32At(d, 4);
        out.field(QStringLiteral("entries"), QString::number(count));
        out.field(QStringLiteral("entry size"), QString::number(le32At(d, 8)));
        out.field(QStringLiteral("header length"), QString::number(le32At(d, 12)));
        out.field(QStringLiteral("uncompressed length"), QString::number(le64At(d, 16)));
        out.field(QStringLiteral("compressed length"), QString::number(le64At(d, 24)));
        out.field(QStringLiteral("block size"), QString::number(le64At(d, 32)));
        const qsizetype header = le32At(d, 12);
        for (quint32 i = 0; i < count && header + 8 * qsizetype(i) + 8 <= d.size(); ++i)
            out.field(QStringLiteral("frame %1").arg(i), QString::number(le64At(d, header + 8 * qsizetype(i))), 2);
    }
}

}  // namespace zelbrin::hh

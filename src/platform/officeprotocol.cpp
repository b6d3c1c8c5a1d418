#include "officeprotocol.h"

namespace zelbrin::officeprotocol {

QByteArray encodeLine(const QStringList &fields) {
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += '\t';
        const QByteArray utf8 = fields[i].toUtf8();
        for (char c : utf8) {
            switch (c) {
            case '\\': line += "\\\\"; break;
            case '\t': line += "\\t"; break;
            case '\n': line += "\\n"; break;
            case '\r': line += "\\r"; break;
            default: line += c;
            }
        }
    }
    line += '\n';
    return line;
}

QStringList decodeLine(const QByteArray &line) {
    QByteArray body = line;
    if (body.endsWith('\n'))
        body.chop(1);
    QStringList fields;
    QByteArray field;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\t') {
            fields << QString::fromUtf8(field);
            field.clear();
        } else if (c == '\\' && i + 1 < body.size()) {
            const char next = body[i + 1];
            switch (next) {
            case '\\': field += '\\'; ++i; break;
            case 't': field += '\t'; ++i; break;
            case 'n': field += '\n'; ++i; break;
            case 'r': field += '\r'; ++i; break;
            default: field += c;
            }
        } else {
            field += c;
        }
    }
    fields << QString::fromUtf8(field);
    return fields;
}

}  // namespace zelbrin::officeprotocol

#include "officeinstallation.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace zelbrin::officeinstallation {
namespace {

// Raise with every change of what the worker writes into a fresh profile.
constexpr char kProfileSetupVersion[] = "profile-setup 2";
// Raise with every change of the pages that the worker makes.
constexpr char kConverterVersion[] = "converter 2";

QByteArray fileStamp(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists())
        return "missing";
    return QByteArray::number(info.size()) + '@' +
           QByteArray::number(info.lastModified().toMSecsSinceEpoch());
}

QString programFolder() { return QStringLiteral(ZELBRIN_LO_PROGRAM_DIR); }

}  // namespace

QByteArray officeProgram() {
    QByteArray program = qgetenv("ZELBRIN_SOFFICE_BIN");
    if (program.isEmpty())
        program = ZELBRIN_LO_PROGRAM_DIR "/soffice.bin";
    return program;
}

QString officeVersion() {
    // The version the office shows in its About box, from its main configuration; read
    // once, it is a large file.
    static const QString version = [] {
        QFile configuration(programFolder() + QStringLiteral("/../share/registry/main.xcd"));
        if (configuration.open(QIODevice::ReadOnly)) {
            const QByteArray text = configuration.readAll();
            const qsizetype at = text.indexOf("\"ooSetupVersionAboutBox\">");
            static const QRegularExpression value(QStringLiteral("^\\s*<value>([0-9.]+)</value>"));
            const QRegularExpressionMatch match =
                value.match(QString::fromUtf8(text.mid(at + 25, 200)));
            if (at >= 0 && match.hasMatch())
                return match.captured(1);
        }
        return QStringLiteral("unknown");
    }();
    return version;
}

QByteArray officeStamp() {
    const QString program = QString::fromLocal8Bit(officeProgram());
    return officeVersion().toUtf8() + ' ' + program.toUtf8() + ' ' + fileStamp(program) + ' ' +
           fileStamp(programFolder() + QStringLiteral("/libmergedlo.so")) + ' ' +
           fileStamp(programFolder() + QStringLiteral("/versionrc"));
}

QByteArray profileTemplateLabel() { return QByteArray(kProfileSetupVersion) + ' ' + officeStamp(); }

QString profileTemplateFolder(const QString &cacheFolder) {
    return cacheFolder + QStringLiteral("/office-profile-") + officeVersion();
}

QString converterIdentity(const QString &workerProgram) {
    return QString::fromUtf8(QByteArray(kConverterVersion) + ' ' + fileStamp(workerProgram) + ' ' +
                             officeStamp());
}

}  // namespace zelbrin::officeinstallation

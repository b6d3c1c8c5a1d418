#include "decompilecommand.h"

#include <QFileInfo>

namespace zelbrin {

const QString kDecompileSameFolderText = QStringLiteral("转换保存位置不能与原CHM文件放在一起！");
const QString kDecompileDoneText = QStringLiteral("转换成功！");
const QString kDecompileFailedText = QStringLiteral("转换失败！");

QString decompileSourceFolder(const QString &helpFileText) {
    return helpFileText.left(helpFileText.lastIndexOf(u'/') + 1);
}

QString decompileDestinationFolder(const QString &destinationText) {
    return destinationText.trimmed() + u'/';
}

bool decompileRefused(const QString &helpFileText, const QString &destinationText) {
    return decompileSourceFolder(helpFileText) == decompileDestinationFolder(destinationText);
}

QString decompileMissingFields(const QString &helpFileText, const QString &destinationText) {
    const bool noHelpFile = helpFileText.trimmed().isEmpty();
    const bool noDestination = destinationText.trimmed().isEmpty();
    if (!noHelpFile && !noDestination)
        return {};
    const QString fields = noHelpFile && noDestination ? QStringLiteral("需转换的CHM文件和保存目录")
                           : noHelpFile                ? QStringLiteral("需转换的CHM文件")
                                                       : QStringLiteral("保存目录");
    return kDecompileFailedText + QStringLiteral("\n没有填写") + fields + QStringLiteral("。");
}

QStringList decompileArguments(const QString &helpFileText, const QString &destinationText) {
    return {QStringLiteral("-decompile"), destinationText.trimmed(), helpFileText.trimmed()};
}

QString decompileBrowseStart(const QString &destinationText, const QString &programFolder) {
    QString start = destinationText.trimmed();
    if (start.isEmpty())
        start = programFolder;
    return QFileInfo(start).isDir() ? start : QString();
}

DecompileOutcome decompileResult(bool helpFileExists, int exitCode, bool timedOut,
                                 const QString &hhOutput, int timeoutSeconds) {
    if (helpFileExists && exitCode == 0)
        return {kDecompileDoneText, UserPrompts::Icon::Information};
    if (helpFileExists && timedOut)
        return {kDecompileFailedText +
                    QStringLiteral("\n反编译程序在%1秒内没有完成，已被终止。该CHM文件可能已损坏。")
                        .arg(timeoutSeconds),
                UserPrompts::Icon::Warning};
    const QString detail = hhOutput.trimmed();
    if (helpFileExists && !detail.isEmpty())
        return {kDecompileFailedText + QStringLiteral("\n无法解开该CHM文件，它可能已损坏：\n") + detail,
                UserPrompts::Icon::Warning};
    return {kDecompileFailedText, UserPrompts::Icon::Warning};
}

}  // namespace zelbrin

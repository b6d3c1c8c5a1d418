#include "decompilecommand.h"

#include <QFileInfo>

namespace zelbrin {

const QString kDecompileSameFolderText = QStringLiteral("转换保存位置不能与原CHM文件放在一起！");
const QString kDecompileDoneText = QStringLiteral("转换成功！");
const QString kDecompileFailedText = QStringLiteral("转换失败！");

QString DecompileSourceFolder(const QString &helpFileText) {
    return helpFileText.left(helpFileText.lastIndexOf(u'/') + 1);
}

QString DecompileDestinationFolder(const QString &destinationText) {
    return destinationText.trimmed() + u'/';
}

bool DecompileRefused(const QString &helpFileText, const QString &destinationText) {
    return DecompileSourceFolder(helpFileText) == DecompileDestinationFolder(destinationText);
}

QStringList DecompileArguments(const QString &helpFileText, const QString &destinationText) {
    return {QStringLiteral("-decompile"), destinationText.trimmed(), helpFileText.trimmed()};
}

QString DecompileBrowseStart(const QString &destinationText, const QString &programFolder) {
    QString start = destinationText.trimmed();
    if (start.isEmpty())
        start = programFolder;
    return QFileInfo(start).isDir() ? start : QString();
}

DecompileOutcome DecompileResult(bool helpFileExists, int exitCode) {
    if (helpFileExists && exitCode == 0)
        return {kDecompileDoneText, UserPrompts::Icon::Question};
    return {kDecompileFailedText, UserPrompts::Icon::Warning};
}

}  // namespace zelbrin

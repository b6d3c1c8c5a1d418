#pragma once

// The decisions of the decompile dialog, kept apart from its widgets.
#include "prompts.h"

#include <QString>
#include <QStringList>

namespace zelbrin {

extern const QString kDecompileSameFolderText;  // "转换保存位置不能与原CHM文件放在一起！"
extern const QString kDecompileDoneText;        // "转换成功！"
extern const QString kDecompileFailedText;      // "转换失败！"

// Folder part of the help file's text (untrimmed), up to and including its last "/".
QString decompileSourceFolder(const QString &helpFileText);
// The trimmed destination text followed by "/".
QString decompileDestinationFolder(const QString &destinationText);
// True when the destination is the help file's own folder, compared as exact text:
// "/a" is refused for "/a/x.chm", "/A" and "/a/" are not, and a destination of "/"
// (which becomes "//") never is.
bool decompileRefused(const QString &helpFileText, const QString &destinationText);
// The failure notice for fields left empty (blanks count as empty), naming them; empty
// when both are filled. Nothing is run for an empty field.
QString decompileMissingFields(const QString &helpFileText, const QString &destinationText);
// Arguments for "hh": "-decompile", destination, help file, each trimmed and each one
// argument, whatever blanks they hold.
QStringList decompileArguments(const QString &helpFileText, const QString &destinationText);
// Where the folder browser opens: the trimmed destination text, or the program folder
// when it is empty; empty (no preselection) when that folder does not exist.
QString decompileBrowseStart(const QString &destinationText, const QString &programFolder);

struct DecompileOutcome {
    QString text;
    UserPrompts::Icon icon;
};
// The notice after a run: success only when the help file existed and hh ended with 0.
// A failed unpack says why (hhOutput: what hh printed), a time-out says so.
DecompileOutcome decompileResult(bool helpFileExists, int exitCode, bool timedOut = false,
                                 const QString &hhOutput = {}, int timeoutSeconds = 0);

}  // namespace zelbrin

#pragma once

#include <QString>
#include <QStringList>

namespace zelbrin::hhc {

struct CompileOptions {
    QString chmcmd;  // the compiler program; empty: findChmcmd()
};

struct CompileResult {
    bool ok = false;         // the compiled help file was written whole
    QString outputPath;      // the file that "Compiled file=" names; empty when not known
    QString defaultTopic;    // staged name of the default topic
    QString compilerOutput;  // what chmcmd printed
    QStringList errors;
    QStringList warnings;
};

// Compiles an HTML Help project (.hhp with its .hhc and .hhk, GBK text) with chmcmd:
// lays out an ASCII-named copy of the project and everything its pages link in a fresh
// temporary folder, compiles it there and moves the result to the file that
// "Compiled file=" names. On failure that file is removed, so a stale or partial help
// file is never taken for the result. The temporary folder is always removed.
CompileResult compileHelpProject(const QString &projectPath, const CompileOptions &options = {});

}  // namespace zelbrin::hhc

#pragma once

#include "container.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace zelbrin::hhc {

struct CompileOptions {
    int threads = 0;  // threads that compress; 0: one per processor core
    // Receives a progress line every second or so while the compilation runs.
    std::function<void(const QString &line)> progress;
    // When given, receives every file as the help file stores it (for checks of the result).
    QList<chm::StoredFile> *storedFiles = nullptr;
};

struct CompileResult {
    bool ok = false;       // the compiled help file was written whole
    QString outputPath;    // the file that "Compiled file=" names; empty when not known
    QString defaultTopic;  // staged name of the default topic
    QStringList errors;
    QStringList warnings;
};

// Compiles an HTML Help project (.hhp with its .hhc and .hhk, GBK text) into the file that
// "Compiled file=" names: gives the project and every file its pages link an ASCII name,
// puts the pages into the language's code page, makes the help file's own files (system
// information, windows, topics, keyword index) and writes the whole in one piece. On
// failure whatever stood at the target is left as it was.
CompileResult compileHelpProject(const QString &projectPath, const CompileOptions &options = {});

}  // namespace zelbrin::hhc

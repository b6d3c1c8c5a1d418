#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace zelbrin::testing {

// The shared documents corpus: CI puts a copy of shared/ beside the clone, a developer
// machine has it in /work. Empty when neither holds it.
inline QString corpusFolder() {
    const QStringList candidates{qEnvironmentVariable("ZELBRIN_SOURCE_DIR") + QStringLiteral("/../shared/corpus"),
                                 QStringLiteral("/work/shared/corpus")};
    for (const QString &candidate : candidates)
        if (QFile::exists(candidate + QStringLiteral("/README.md")))
            return QDir(candidate).canonicalPath();
    return {};
}

}  // namespace zelbrin::testing

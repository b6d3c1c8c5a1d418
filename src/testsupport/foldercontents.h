#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

namespace zelbrin::testing {

// Every file below folder by its path relative to folder, with its bytes: what two builds
// wrote compares as a whole. A build folder's mark, which names the build that made it,
// is left out.
inline QMap<QString, QByteArray> folderContents(const QString &folder) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        const QString relative = QDir(folder).relativeFilePath(file.fileName());
        if (relative != QLatin1String(".zelbrin-build") && file.open(QIODevice::ReadOnly))
            files[relative] = file.readAll();
    }
    return files;
}

}  // namespace zelbrin::testing

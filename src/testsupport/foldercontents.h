#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

namespace zelbrin::testing {

// Every file below folder by its path relative to folder, with its bytes: what two builds
// wrote compares as a whole.
inline QMap<QString, QByteArray> folderContents(const QString &folder) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files[QDir(folder).relativeFilePath(file.fileName())] = file.readAll();
    }
    return files;
}

}  // namespace zelbrin::testing

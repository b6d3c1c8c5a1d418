#pragma once

// A folder with the files a parser may look up while it reads.
#include "fuzzsupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <initializer_list>
#include <utility>

namespace zelbrin::fuzz {

// A folder (path ending in "/") holding the given files, made on first use and removed
// when the fuzzer ends normally.
inline const QString &scratchFolder(std::initializer_list<std::pair<const char *, QByteArray>> files) {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/zelbrin-fuzz-XXXXXX"));
    static const QString folder = [&] {
        check(dir.isValid(), "scratch folder");
        const QString root = dir.path() + u'/';
        for (const auto &[name, content] : files) {
            const QString path = root + QString::fromUtf8(name);
            QDir().mkpath(path.left(path.lastIndexOf(u'/')));
            QFile f(path);
            check(f.open(QIODevice::WriteOnly) && f.write(content) == content.size(), name);
        }
        return root;
    }();
    return folder;
}

}  // namespace zelbrin::fuzz

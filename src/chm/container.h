#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace zelbrin::chm {

struct StoredFile {
    QByteArray name;          // internal name as readers look it up: "/#SYSTEM", "/html/f1.htm", "/$WWKeywordLinks/BTree"
    QByteArray data;
    bool compressed = true;   // false: stored in the uncompressed section 0
};

struct ContainerOptions {
    quint32 languageId = 0x0804;   // LCID written into the headers
    int threads = 0;               // frame groups compressed in parallel; 0: one per core
    std::function<void(qint64 done, qint64 total)> progress;  // uncompressed bytes done; may be empty; called from the calling thread
};

// Writes the whole help file at path atomically (a temporary beside it, renamed at the end; nothing
// left behind on failure). Folder entries and the ::DataSpace entries are added by the writer.
// Returns an empty string on success, else a message naming what failed.
QString writeContainer(const QString &path, const QList<StoredFile> &files, const ContainerOptions &options = {});

}  // namespace zelbrin::chm

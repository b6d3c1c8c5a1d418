#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace zelbrin::chm::testing {

struct SearchQuery {
    QByteArray text;  // in the help file's code page
    bool titlesOnly = false;
};

// Searches the help file with python3-chm's CHMFile.Search (Debian's /usr/bin/python3):
// for each query the URLs of the pages found. Sets error (and returns nothing) when
// python3-chm cannot open or search the file.
QList<QList<QByteArray>> searchWithPythonChm(const QString &chmPath, const QList<SearchQuery> &queries,
                                             QString *error);

}  // namespace zelbrin::chm::testing

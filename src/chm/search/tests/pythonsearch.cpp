#include "pythonsearch.h"

#include <QProcess>

namespace zelbrin::chm::testing {

QList<QList<QByteArray>> searchWithPythonChm(const QString &chmPath, const QList<SearchQuery> &queries,
                                             QString *error) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(ZELBRIN_CHMSEARCH_SCRIPT), chmPath});
    if (!python.waitForStarted(30000)) {
        *error = QStringLiteral("/usr/bin/python3 did not start: ") + python.errorString();
        return {};
    }
    QByteArray input;
    for (const SearchQuery &q : queries)
        input += (q.titlesOnly ? "t " : "") + q.text.toHex() + '\n';
    python.write(input);
    python.closeWriteChannel();
    // The bound only stops a hung reader; a busy machine searches slowly.
    if (!python.waitForFinished(600000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        *error = QStringLiteral("chmsearch.py failed: ") + QString::fromUtf8(python.readAllStandardError());
        return {};
    }
    QList<QList<QByteArray>> found;
    for (const QByteArray &line : python.readAllStandardOutput().split('\n')) {
        QList<QByteArray> urls;
        for (const QByteArray &hex : line.split(' '))
            if (!hex.isEmpty())
                urls << QByteArray::fromHex(hex);
        found << urls;
    }
    found.resize(queries.size());
    return found;
}

}  // namespace zelbrin::chm::testing

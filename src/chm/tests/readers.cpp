#include "readers.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStringDecoder>

namespace zelbrin::chm::testing {

namespace {

QString run(const QString &program, const QStringList &args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(30000))
        return program + " did not start: " + p.errorString();
    // Large archives take a while on a busy machine; the bound only stops a hung reader.
    if (!p.waitForFinished(600000)) {
        p.kill();
        p.waitForFinished();
        return program + " did not finish";
    }
    const QString output = QString::fromLocal8Bit(p.readAll());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program + " failed: " + output.right(2000);
    return {};
}

bool isUtf8(const QByteArray &name) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(name);
    return !decoder.hasError();
}

// Files stored under a name in the help file's code page (second copies for readers that
// look names up by those bytes) come out under whatever name each reader makes of the
// bytes; they are recognised by their content.
QString describeDifference(const QMap<QByteArray, QByteArray> &got, const QMap<QByteArray, QByteArray> &stored) {
    QMap<QByteArray, QByteArray> expected;
    QList<QByteArray> secondCopies;
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        if (isUtf8(it.key()))
            expected.insert(it.key(), it.value());
        else
            secondCopies.append(it.value());
    }
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (!got.contains(it.key()))
            return "missing " + QString::fromUtf8(it.key()) + QString(" (%1 of %2 files read)").arg(got.size()).arg(expected.size());
        if (got[it.key()] != it.value())
            return QString("%1 differs (%2 bytes read, %3 stored)")
                .arg(QString::fromUtf8(it.key()))
                .arg(got[it.key()].size())
                .arg(it.value().size());
    }
    for (auto it = got.begin(); it != got.end(); ++it)
        if (!expected.contains(it.key()) && !secondCopies.contains(it.value()))
            return "unexpected " + QString::fromUtf8(it.key());
    return {};
}

}  // namespace

QMap<QByteArray, QByteArray> readTree(const QString &dest) {
    QMap<QByteArray, QByteArray> files;
    const QDir root(dest);
    QDirIterator it(dest, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            files.insert("/" + root.relativeFilePath(path).toUtf8(), f.readAll());
    }
    return files;
}

QString extractWithChmlib(const QString &chmPath, const QString &dest) {
    return run("extract_chmLib", {chmPath, dest});
}

QString extractWith7zip(const QString &chmPath, const QString &dest) {
    return run("7z", {"x", "-y", "-bd", "-o" + dest, chmPath});
}

QString extractWithMspack(const QString &chmPath, const QString &dest) {
    return run(qEnvironmentVariable("ZELBRIN_TEST_BIN_DIR") + "/chm_reader_check", {chmPath, dest});
}

QString compareWithReaders(const QString &chmPath, const QString &scratch,
                           const QMap<QByteArray, QByteArray> &expected) {
    struct Reader {
        const char *name;
        QString (*extract)(const QString &, const QString &);
    };
    const Reader readers[] = {{"CHMLib", extractWithChmlib}, {"7-Zip", extractWith7zip}, {"libmspack", extractWithMspack}};
    QStringList problems;
    for (const Reader &r : readers) {
        const QString dest = scratch + "/" + r.name;
        QDir(dest).removeRecursively();
        QString problem = r.extract(chmPath, dest);
        if (problem.isEmpty())
            problem = describeDifference(readTree(dest), expected);
        if (!problem.isEmpty())
            problems << QString(r.name) + ": " + problem;
        QDir(dest).removeRecursively();
    }
    return problems.join('\n');
}

}  // namespace zelbrin::chm::testing

// hhc: compiles an HTML Help project into a .chm. One argument, the project file; exit
// code 0 only when the file named in "Compiled file=" was written whole.
#include "compiler.h"
#include "interruption.h"
#include "leftovers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

}  // namespace

int main(int argc, char **argv) {
    zelbrin::interruption::install();
    QCoreApplication app(argc, argv);
    // Staging folders that hhc versions before the compiler of its own left behind when
    // they were killed; this hhc compiles in memory and makes none.
    for (const QString &folder : {QStringLiteral("/dev/shm"), QDir::tempPath()})
        zelbrin::leftovers::sweep(QFile::encodeName(folder).toStdString(), "zelbrin-hhc-");
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        print(stderr, QStringLiteral("usage: hhc PROJECT.hhp\n"));
        return 2;
    }
    zelbrin::hhc::CompileOptions options;
    // Whoever runs hhc tells a long compilation from a stalled one by these lines.
    options.progress = [](const QString &line) { print(stdout, line + u'\n'); };
    const zelbrin::hhc::CompileResult r = zelbrin::hhc::compileHelpProject(args[1], options);
    // A signal that came once the help file stood in place changes nothing: it was written.
    if (zelbrin::interruption::requested() && !r.ok) {
        print(stderr, QStringLiteral("hhc: interrupted by signal %1; %2 was not compiled\n")
                          .arg(zelbrin::interruption::received())
                          .arg(args[1]));
        return zelbrin::interruption::exitStatus();
    }
    for (const QString &w : r.warnings)
        print(stderr, QStringLiteral("hhc: warning: %1\n").arg(w));
    for (const QString &e : r.errors)
        print(stderr, QStringLiteral("hhc: error: %1\n").arg(e));
    if (!r.ok) {
        print(stderr, QStringLiteral("hhc: %1 was not compiled\n").arg(args[1]));
        return 1;
    }
    print(stdout, QStringLiteral("hhc: wrote %1\n").arg(r.outputPath));
    if (zelbrin::interruption::requested())
        print(stderr, QStringLiteral("hhc: signal %1 came after %2 was written\n")
                          .arg(zelbrin::interruption::received())
                          .arg(r.outputPath));
    return 0;
}

// chm_bench: the LZX encoder alone, and the whole container writer, on real files.
//
//   chm_bench [--threads N] [--chm OUT.chm] INPUT
//
// INPUT is a folder (every file under it, as a help file's pages) or one file taken as a
// ready uncompressed section (as bench/chm/compare.py rebuilds chmcmd's). Prints the
// section's size before and after compression and the encoder's speed on one core;
// with --chm also writes a help file of the folder on all threads and times it.
#include "container.h"
#include "lzxsection.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <ctime>

using namespace zelbrin::chm;

namespace {

// CPU time of the calling thread: the machine may be busy with other work.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int threads = 0;
    QString chmOut;
    while (args.size() > 1) {
        if (args[0] == "--threads") {
            threads = args[1].toInt();
            args = args.mid(2);
        } else if (args[0] == "--chm") {
            chmOut = args[1];
            args = args.mid(2);
        } else {
            break;
        }
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: chm_bench [--threads N] [--chm OUT.chm] FOLDER|SECTION-FILE\n");
        return 2;
    }
    QList<StoredFile> files;
    QByteArray stream;
    const QFileInfo input(args[0]);
    if (input.isDir()) {
        QDirIterator it(input.absoluteFilePath(), QDir::Files, QDirIterator::Subdirectories);
        QStringList paths;
        while (it.hasNext())
            paths << it.next();
        paths.sort();
        for (const QString &path : paths) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            StoredFile file{"/" + QDir(input.absoluteFilePath()).relativeFilePath(path).toUtf8(), f.readAll()};
            stream += file.data;
            files.append(file);
        }
    } else {
        QFile f(input.absoluteFilePath());
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(args[0]));
            return 1;
        }
        stream = f.readAll();
    }

    // One thread, inline in this one, so its CPU time is the encoder's.
    const double cpuStart = threadSeconds();
    const CompressedSection section = compressSection(stream, 1, {});
    const double seconds = threadSeconds() - cpuStart;
    std::printf("section bytes:        %lld\n", qint64(stream.size()));
    std::printf("compressed bytes:     %lld (%.2f%%)\n", qint64(section.content.size()),
                100.0 * double(section.content.size()) / double(std::max<qint64>(1, stream.size())));
    std::printf("encoder, one core:    %.3f s CPU, %.1f MB/s\n", seconds, stream.size() / 1e6 / seconds);

    if (!chmOut.isEmpty() && !files.isEmpty()) {
        QElapsedTimer timer;
        timer.start();
        const QString error = writeContainer(chmOut, files, {.threads = threads});
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        std::printf("help file, %s threads: %.3f s, %lld bytes\n",
                    threads ? qPrintable(QString::number(threads)) : "all", timer.nsecsElapsed() / 1e9,
                    QFileInfo(chmOut).size());
    }
    return 0;
}

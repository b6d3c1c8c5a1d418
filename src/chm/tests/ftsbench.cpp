// Times the full-text indexer on the pages of a folder (e.g. a kept build folder):
//   fts-bench FOLDER [COPIES [OUTPUT]]
// indexes every *.htm/*.html page (COPIES times over, as separate topics) with one thread
// and with one per core, prints megabytes, seconds and the index size, checks that both
// results are the same bytes and writes the index to OUTPUT when given.
#include "fulltextsearch.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <sys/resource.h>
#include <thread>

using namespace zelbrin::chm;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: fts-bench FOLDER [COPIES]\n");
        return 2;
    }
    const int copies = args.size() > 2 ? args[2].toInt() : 1;
    QList<SearchPage> pages;
    qint64 bytes = 0;
    for (QDirIterator it(args[1], {"*.htm", "*.html"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray raw = f.readAll();
        const QString html = QString::fromUtf8(raw);
        for (int c = 0; c < copies; ++c) {
            pages.append({quint32(pages.size()), f.fileName().section(u'/', -1), html});
            bytes += raw.size();
        }
    }
    std::printf("%lld pages, %.1f MB of HTML\n", static_cast<long long>(pages.size()), double(bytes) / 1e6);
    QByteArray first;
    for (int threads : {1, 0}) {
        SearchOptions options;
        options.threads = threads;
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = cpuSeconds();
        const QByteArray fts = buildFullTextSearch(pages, options);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("%2d thread(s): %.3f s (%.3f s of CPU), %.1f MB/s, index %.2f MB\n",
                    threads ? threads : int(std::thread::hardware_concurrency()), seconds, cpuSeconds() - cpuBefore,
                    double(bytes) / 1e6 / seconds, double(fts.size()) / 1e6);
        if (first.isEmpty()) {
            first = fts;
            QFile out(args.size() > 3 ? args[3] : QString());
            if (args.size() > 3 && (!out.open(QIODevice::WriteOnly) || out.write(fts) != fts.size()))
                std::fprintf(stderr, "cannot write %s\n", qPrintable(args[3]));
        }
        else if (fts != first) {
            std::printf("results differ between thread counts\n");
            return 1;
        }
    }
    return 0;
}

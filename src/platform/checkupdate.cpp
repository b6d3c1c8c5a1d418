#include "checkupdate.h"

#include "updatedownload.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>

namespace zelbrin::platform {

QString defaultUpdateBaseUrl() { return QStringLiteral(ZELBRIN_UPDATE_BASE_URL); }

CheckUpdate::CheckUpdate(QString baseUrl, QString programFolder, QString downloadFolder,
                         QProcessEnvironment proxyEnvironment, SleepRange sleep, QObject *parent)
    : QThread(parent),
      baseUrl_(std::move(baseUrl)),
      programFolder_(std::move(programFolder)),
      downloadFolder_(std::move(downloadFolder)),
      environment_(std::move(proxyEnvironment)),
      sleep_(sleep) {
    initUpdatePaths();
}

CheckUpdate::~CheckUpdate() {
    stop();
    wait();
}

void CheckUpdate::stop() {
    QMutexLocker lock(&mutex_);
    stop_.store(true);
    wake_.wakeAll();
}

void CheckUpdate::initUpdatePaths() {
    paths_ = makeUpdatePaths(programFolder_, downloadFolder_);
    proxy_ = readProxySettings(environment_);
}

void CheckUpdate::run() {
    for (int attempt = 1; !stop_.load(); ++attempt) {
        if (runCheckCycle())
            break;
        const int spread = std::max(1, sleep_.maxMs - sleep_.minMs);
        const int ms = sleep_.minMs + int(QRandomGenerator::global()->bounded(spread));
        if (!pause(ms) || attempt > 3)
            break;
    }
}

bool CheckUpdate::pause(int ms) {
    QMutexLocker lock(&mutex_);
    QDeadlineTimer deadline(ms);
    pausing_.store(true);
    while (!stop_.load() && !deadline.hasExpired())
        wake_.wait(&mutex_, deadline);
    pausing_.store(false);
    return !stop_.load();
}

bool CheckUpdate::runCheckCycle() {
    cycles_.fetch_add(1);
    bool done = true;
    switch (downloadUpdateList(baseUrl_ + QStringLiteral("Down.dll"), paths_.downloadFolder,
                               proxy_, &stop_)) {
    case DownloadResult::Failed:
        return true;
    case DownloadResult::Error:
        // Retried later; meanwhile an earlier run's list may still be on disk.
        done = false;
        break;
    case DownloadResult::Downloaded:
        break;
    }
    if (!stop_.load() && compareUpdateListFiles(paths_.localList, paths_.downloadedList, paths_.folders)) {
        prompts_.fetch_add(1);
        emit promptForUpdate();
    }
    return done;
}

}  // namespace zelbrin::platform

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
    InitUpdatePaths();
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

void CheckUpdate::InitUpdatePaths() {
    paths_ = MakeUpdatePaths(programFolder_, downloadFolder_);
    proxy_ = ReadProxySettings(environment_);
}

void CheckUpdate::run() {
    for (int attempt = 1; !stop_.load(); ++attempt) {
        if (RunCheckCycle())
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

bool CheckUpdate::RunCheckCycle() {
    cycles_.fetch_add(1);
    bool done = true;
    switch (DownloadUpdateList(baseUrl_ + QStringLiteral("Down.dll"), paths_.downloadFolder,
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
    if (!stop_.load() && CompareUpdateListFiles(paths_.localList, paths_.downloadedList, paths_.folders)) {
        prompts_.fetch_add(1);
        emit PromptForUpdate();
    }
    return done;
}

}  // namespace zelbrin::platform

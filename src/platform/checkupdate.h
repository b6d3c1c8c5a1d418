#pragma once

#include "updatelist.h"

#include <QMutex>
#include <QProcessEnvironment>
#include <QThread>
#include <QWaitCondition>
#include <atomic>

namespace zelbrin::platform {

// The base URL the program is built with (its path ends in "/update/Chm/CHS/").
QString defaultUpdateBaseUrl();

// A pause between two cycles lasts minMs + r milliseconds, 0 <= r < maxMs - minMs.
struct UpdateSleepRange {
    int minMs = 300000;
    int maxMs = 600000;
};

// The background update check: downloads the update list, compares it with the
// installed one and, when they differ, emits promptForUpdate. A cycle that fails with
// an error is retried after a random pause, four cycles at most; a failed transfer or a
// finished comparison ends the check. stop() (and the destructor) end a pause or a
// transfer at once, so the program never waits for the check when it quits.
class CheckUpdate : public QThread {
    Q_OBJECT
public:
    using SleepRange = UpdateSleepRange;

    CheckUpdate(QString baseUrl, QString programFolder, QString downloadFolder,
                QProcessEnvironment proxyEnvironment, SleepRange sleep = {},
                QObject *parent = nullptr);
    // Stops and joins the thread. A receiver of promptForUpdate on another thread must
    // be gone (or its pending call removed) first, or a pending question blocks the join.
    ~CheckUpdate() override;

    // Thread-safe.
    void stop();
    bool stopRequested() const { return stop_.load(); }
    int cyclesRun() const { return cycles_.load(); }
    // True while the thread waits between two cycles; lets a caller tell a pause from work.
    bool pausing() const { return pausing_.load(); }
    // Questions raised so far (promptForUpdate emissions begun).
    int promptsRaised() const { return prompts_.load(); }

    // Run by the thread; public so that tests can drive one cycle directly.
    void initUpdatePaths();
    bool runCheckCycle();
    const UpdatePaths &paths() const { return paths_; }
    const ProxySettings &proxy() const { return proxy_; }

signals:
    // An update is available. Connect it with Qt::BlockingQueuedConnection to a receiver
    // on the user-interface thread: the check waits until the question is answered.
    void promptForUpdate();

protected:
    void run() override;

private:
    bool pause(int ms);  // false when stopped

    const QString baseUrl_;
    const QString programFolder_;
    const QString downloadFolder_;
    const QProcessEnvironment environment_;
    const SleepRange sleep_;
    UpdatePaths paths_;
    ProxySettings proxy_;
    std::atomic_bool stop_{false};
    std::atomic_int cycles_{0};
    std::atomic_bool pausing_{false};
    std::atomic_int prompts_{0};
    QMutex mutex_;
    QWaitCondition wake_;
};

}  // namespace zelbrin::platform

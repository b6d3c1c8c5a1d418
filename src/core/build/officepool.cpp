#include "officepool.h"

#include "builderror.h"
#include "fileops.h"
#include "interruption.h"
#include "pagecache.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace zelbrin {
namespace {

// How often a waiting thread looks at the interruption flag when nothing else wakes it;
// results wake it at once.
constexpr int kWakeEveryMs = 50;
constexpr int kPauseSliceMs = 50;

QString routeName(DocumentRoute route) {
    switch (route) {
    case DocumentRoute::Word: return QStringLiteral("word");
    case DocumentRoute::Workbook: return QStringLiteral("workbook");
    case DocumentRoute::Presentation: return QStringLiteral("presentation");
    case DocumentRoute::None:
    case DocumentRoute::Html: break;  // never sent to an office
    }
    return {};
}

// A rough guess of a document's conversion time, to begin the longest early: a
// presentation or workbook takes about three times as long per byte as a Word document
// (slides are rendered as pictures, cells laid out one by one).
qint64 expectedCost(DocumentRoute route, const QString &source) {
    const qint64 size = std::max<qint64>(QFileInfo(source).size(), 1);
    return route == DocumentRoute::Word ? size : 3 * size;
}

}  // namespace

OfficeLimit limitOffices(int asked, int cores, qint64 freeMemoryBytes) {
    cores = std::max(cores, 1);
    const int byMemory = int(std::clamp<qint64>(freeMemoryBytes / kOfficeMemoryBytes, 1, 1 << 16));
    OfficeLimit limit;
    limit.offices = std::max(1, std::min({asked > 0 ? asked : std::min(cores, 4), cores, byMemory}));
    if (asked > limit.offices)
        limit.notice = QStringLiteral("要求同时启动 %1 个办公软件，只启动 %2 个：本机有 %3 个处理器核心，可用内存 %4 MB，"
                                      "每个办公软件约需 %5 MB")
                           .arg(asked)
                           .arg(limit.offices)
                           .arg(cores)
                           .arg(freeMemoryBytes / (1024 * 1024))
                           .arg(kOfficeMemoryBytes / (1024 * 1024));
    return limit;
}

OfficeLimit limitOffices(int asked) {
    // Without /proc/meminfo, memory sets no bound.
    qint64 available = std::numeric_limits<qint64>::max();
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : meminfo.readAll().split('\n')) {
            if (line.startsWith("MemAvailable:")) {
                const QList<QByteArray> fields = line.simplified().split(' ');
                bool ok = false;
                const qint64 kb = fields.value(1).toLongLong(&ok);
                if (ok)
                    available = kb * 1024;
            }
        }
    }
    return limitOffices(asked, QThread::idealThreadCount(), available);
}

int defaultOfficeWorkers() { return limitOffices(0).offices; }

struct OfficePool::Job {
    int ticket = 0;
    DocumentRoute route = DocumentRoute::Word;
    QString source;
    QString pageName;
    bool outline = false;
    qint64 cost = 0;
};

struct OfficePool::Shared {
    OfficeSessionFactory factory;
    OfficePoolSettings settings;
    const PageCache *cache = nullptr;

    std::mutex mutex;
    std::condition_variable jobsReady;
    std::condition_variable resultsReady;
    std::deque<Job> queue;
    std::map<int, Result> results;
    bool closing = false;
    int nextTicket = 0;
    int running = 0;
    int retired = 0;  // workers whose office could not start
    std::optional<Result> startFailure;
    int startsBegun = 0;
    int startsDone = 0;
    int fromCache = 0;
    QStringList quitErrors;

    bool stopping() const { return interruption::requested(settings.stop); }
    void wake() { resultsReady.notify_all(); }
};

OfficePool::OfficePool(OfficeSessionFactory factory, OfficePoolSettings settings,
                       const PageCache *cache)
    : shared_(std::make_shared<Shared>()) {
    shared_->factory = std::move(factory);
    shared_->settings = std::move(settings);
    shared_->settings.workers = std::max(1, shared_->settings.workers);
    shared_->cache = cache;
    shared_->running = shared_->settings.workers;
    for (int i = 0; i < shared_->settings.workers; ++i) {
        // The thread holds the shared state, so that it can finish even after the pool.
        QThread *thread = QThread::create([shared = shared_, i] { work(shared, i % 2 == 1); });
        thread->start();
        threads_.push_back(thread);
    }
}

OfficePool::~OfficePool() {
    try {
        quit();
    } catch (...) {
        // Every office has been ended; the first error is the caller's to report, when it
        // asked through quit().
    }
}

// Half of the offices take documents in tree order, so that the build's progress moves
// on from the start; the other half take the longest first, so that no long document is
// begun last and keeps one office busy while the others have nothing left to do.
OfficePool::Job OfficePool::next(std::deque<Job> &queue, bool longestFirst) {
    auto pick = queue.begin();
    if (longestFirst)
        pick = std::max_element(queue.begin(), queue.end(),
                                [](const Job &a, const Job &b) { return a.cost < b.cost; });
    Job job = std::move(*pick);
    queue.erase(pick);
    return job;
}

int OfficePool::submit(DocumentRoute route, const QString &source, const QString &pageName, bool outline) {
    return submit(std::vector<Document>{{route, source, pageName, outline}}).front();
}

std::vector<int> OfficePool::submit(const std::vector<Document> &documents) {
    std::vector<qint64> costs;
    costs.reserve(documents.size());
    for (const Document &d : documents)
        costs.push_back(expectedCost(d.route, d.source));
    std::vector<int> tickets;
    tickets.reserve(documents.size());
    std::lock_guard lock(shared_->mutex);
    for (size_t i = 0; i < documents.size(); ++i) {
        const Document &d = documents[i];
        const int ticket = shared_->nextTicket++;
        if (shared_->startFailure)
            shared_->results[ticket] = *shared_->startFailure;
        else
            shared_->queue.push_back({ticket, d.route, d.source, d.pageName, d.outline, costs[i]});
        tickets.push_back(ticket);
    }
    shared_->jobsReady.notify_all();
    return tickets;
}

OfficePool::Result OfficePool::take(int ticket) {
    waitUntil([&] { return shared_->results.count(ticket) > 0 || shared_->stopping(); });
    throwIfInterrupted(shared_->settings.stop);
    std::lock_guard lock(shared_->mutex);
    const auto it = shared_->results.find(ticket);
    Result result = it->second;
    shared_->results.erase(it);
    return result;
}

void OfficePool::settleStarts(int ticket) {
    waitUntil([&] {
        return shared_->results.count(ticket) > 0 || shared_->startsDone > 0 || shared_->stopping();
    });
}

void OfficePool::quit() {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->closing && shared_->running == 0)
            return;
        shared_->closing = true;
        shared_->queue.clear();
        shared_->jobsReady.notify_all();
    }
    waitUntil([&] { return shared_->running == 0; });
    // Each thread has done all but returning from its function.
    for (QThread *thread : threads_) {
        thread->wait();
        delete thread;
    }
    threads_.clear();
    std::lock_guard lock(shared_->mutex);
    if (!shared_->quitErrors.isEmpty()) {
        const QString first = shared_->quitErrors.first();
        shared_->quitErrors.clear();
        throw BuildError(first);
    }
}

int OfficePool::officesStarted() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->startsDone;
}

int OfficePool::pagesFromCache() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->fromCache;
}

void OfficePool::tellStarts() {
    int begun = 0, up = 0;
    {
        std::lock_guard lock(shared_->mutex);
        begun = shared_->startsBegun;
        up = shared_->startsDone;
    }
    if (begun > 0 && !toldStarting_) {
        toldStarting_ = true;
        if (onOfficeStarting)
            onOfficeStarting();
    }
    if (up > 0 && !toldStarted_) {
        toldStarted_ = true;
        if (onOfficeStarted)
            onOfficeStarted();
    }
}

void OfficePool::waitUntil(const std::function<bool()> &done) {
    while (true) {
        bool finished = false;
        {
            std::unique_lock lock(shared_->mutex);
            if (!done())
                shared_->resultsReady.wait_for(lock, std::chrono::milliseconds(kWakeEveryMs));
            finished = done();
        }
        // The build's first start is told before any page that an office made is handed out.
        tellStarts();
        if (finished)
            return;
    }
}

void OfficePool::work(const std::shared_ptr<Shared> &shared, bool longestFirst) {
    std::unique_ptr<OfficeSession> session;
    while (true) {
        Job job;
        {
            std::unique_lock lock(shared->mutex);
            shared->jobsReady.wait(lock, [&] { return shared->closing || !shared->queue.empty(); });
            if (shared->closing || shared->stopping())
                break;
            job = next(shared->queue, longestFirst);
        }
        Result result = make(*shared, session, job);
        std::lock_guard lock(shared->mutex);
        if (result.officeStartFailed && ++shared->retired < shared->settings.workers) {
            // Another office takes this document and the rest; the build goes on with fewer.
            shared->queue.push_front(job);
            shared->jobsReady.notify_one();
            break;
        }
        if (result.officeStartFailed) {
            // No office can start: this document and every one waiting fail with the reason.
            shared->startFailure = result;
            for (const Job &waiting : shared->queue)
                shared->results[waiting.ticket] = result;
            shared->queue.clear();
        }
        if (result.fromCache)
            ++shared->fromCache;
        shared->results[job.ticket] = result;
        shared->wake();
    }
    QString quitError;
    if (session) {
        try {
            session->quit();
        } catch (const BuildError &e) {
            quitError = e.message();
        } catch (const std::exception &e) {
            quitError = QString::fromLocal8Bit(e.what());
        }
        session.reset();
    }
    std::lock_guard lock(shared->mutex);
    if (!quitError.isEmpty())
        shared->quitErrors << quitError;
    --shared->running;
    shared->wake();
}

OfficePool::Result OfficePool::make(Shared &shared, std::unique_ptr<OfficeSession> &session,
                                    const Job &job) {
    Result result;
    result.folder = shared.settings.stagingFolder + u'/' + QString::number(job.ticket);
    const auto emptyFolder = [&] {
        deleteDirectory(result.folder);
        QDir().mkpath(result.folder);
    };
    emptyFolder();
    QByteArray key, failureKey;
    const auto failed = [&](const DocumentFault &fault) {
        // The document would fail the same way in every build until it changes.
        if (!failureKey.isEmpty() && faultLiesInContent(fault))
            shared.cache->storeFailure(failureKey, fault);
        result.outcome = Result::Outcome::Failed;
        result.fault = fault;
        return result;
    };
    if (shared.cache) {
        // A page with its outline is another page than one without: it carries marks, and
        // the outline lies beside it in the entry.
        key = shared.cache->keyFor(job.source,
                                   job.outline ? routeName(job.route) + QStringLiteral("+outline")
                                               : routeName(job.route),
                                   job.pageName);
        if (!key.isEmpty() && shared.cache->fetch(key, result.folder)) {
            result.outcome = Result::Outcome::Made;
            result.fromCache = true;
            return result;
        }
        emptyFolder();  // a damaged entry may have left part of itself
        failureKey = shared.cache->failureKeyFor(job.source, routeName(job.route));
        if (const auto fault = failureKey.isEmpty() ? std::nullopt : shared.cache->fetchFailure(failureKey)) {
            result.outcome = Result::Outcome::Failed;
            result.fault = *fault;
            return result;
        }
    }

    if (!session) {
        {
            std::lock_guard lock(shared.mutex);
            ++shared.startsBegun;
            shared.wake();
        }
        try {
            session = shared.factory(shared.settings.stop);
        } catch (const BuildError &e) {
            result.error = e.message();
            result.errorDetail = e.detail();
        } catch (const std::exception &e) {
            result.error = QStringLiteral("无法启动办公软件");
            result.errorDetail = QString::fromLocal8Bit(e.what());
        }
        if (!session) {
            result.officeStartFailed = true;
            return result;
        }
        std::lock_guard lock(shared.mutex);
        ++shared.startsDone;
        shared.wake();
    }

    const QString page = result.folder + u'/' + job.pageName;
    if (job.route == DocumentRoute::Word) {
        try {
            session->convertWordDocument(job.source, page, job.outline);
        } catch (const DocumentError &e) {
            return failed(e.fault());
        } catch (const BuildError &e) {
            result.error = e.message();
            result.errorDetail = e.detail();
            result.officeFault = dynamic_cast<const OfficeError *>(&e) != nullptr;
            return result;
        }
    } else {
        ConversionAttempt made;
        for (int attempt = 0; attempt < shared.settings.attempts && !made; ++attempt) {
            if (attempt > 0)
                emptyFolder();
            made = job.route == DocumentRoute::Workbook ? session->convertWorkbook(job.source, page, job.outline)
                                                      : session->convertPresentation(job.source, page, job.outline);
            // A damaged or protected document fails the same way every time.
            if (!made && !made.fault.reason.isEmpty())
                break;
            if (!made && job.route == DocumentRoute::Presentation) {
                QElapsedTimer pause;
                pause.start();
                while (pause.elapsed() < shared.settings.presentationRetryPauseMs &&
                       !shared.stopping())
                    QThread::msleep(kPauseSliceMs);
            }
        }
        if (!made)
            return failed(made.fault.reason.isEmpty() ? DocumentFault{kEveryAttemptFailed, {}} : made.fault);
    }
    if (!key.isEmpty())
        shared.cache->store(key, result.folder);
    result.outcome = Result::Outcome::Made;
    return result;
}

}  // namespace zelbrin

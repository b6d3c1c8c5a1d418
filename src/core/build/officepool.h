#pragma once

#include "officesession.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QThread;

namespace zelbrin {

class PageCache;

struct OfficePoolSettings {
    // Offices working at once; each runs in its own thread and takes the next document.
    int workers = 1;
    // Attempts per workbook or presentation, and the pause after a failed presentation.
    int attempts = 5;
    int presentationRetryPauseMs = 1000;
    // Where pages are made, one folder per document, before the build places them.
    QString stagingFolder;
    // Requested when the build is cancelled: waits end, offices are killed.
    std::stop_token stop;
};

// What one office may take while it converts large documents.
inline constexpr qint64 kOfficeMemoryBytes = 400LL * 1024 * 1024;

// How many offices a build starts: as many as asked (0: one per core, at most four), but
// no more than the cores, since more would only share them, and no more than the memory
// that is free holds. notice says why, when fewer than asked start.
struct OfficeLimit {
    int offices = 1;
    QString notice;
};
OfficeLimit limitOffices(int asked, int cores, qint64 freeMemoryBytes);
// The same with this machine's cores and free memory (MemAvailable).
OfficeLimit limitOffices(int asked);

// limitOffices(0).offices.
int defaultOfficeWorkers();

// The offices of one build. Documents are handed in in tree order; half of the offices
// begin them in that order, the other half longest first (by a guess from route and size);
// they are taken out in any order. Each is made in a folder of its own, so that the build
// can place the pages in tree order whatever order the offices finish them in. A page that
// the cache holds is taken from it; an office is started only for the first document that
// the cache does not hold, in the thread that needs it. The offices never run on the
// calling thread, which only waits for their pages.
class OfficePool {
public:
    struct Result {
        enum class Outcome {
            Made,    // folder holds the page (pageName) and its companion files (and its outline), nothing else
            Failed,  // the document's own fault, or every attempt at a workbook or presentation failed
            Error,   // the office died or could not be started, or a page could not be written: ends the build
        };
        Outcome outcome = Outcome::Error;
        QString folder;
        DocumentFault fault;  // Failed: why
        QString error;        // Error: what happened
        QString errorDetail;  // Error: what the office said in its own words; may be empty
        bool officeFault = false;        // Error: the office failed (OfficeError)
        bool officeStartFailed = false;  // Error: the office could not be started
        bool fromCache = false;
    };

    // cache may be null (no cache).
    OfficePool(OfficeSessionFactory factory, OfficePoolSettings settings, const PageCache *cache);
    // Ends what still runs; errors of the offices' quit are ignored here (see quit()).
    ~OfficePool();
    OfficePool(const OfficePool &) = delete;
    OfficePool &operator=(const OfficePool &) = delete;

    struct Document {
        DocumentRoute route = DocumentRoute::Word;
        QString source;
        QString pageName;
        bool outline = false;  // the office marks the page and writes its outline beside it
    };
    // Queues a document; returns its ticket for take().
    int submit(DocumentRoute route, const QString &source, const QString &pageName, bool outline = false);
    // Queues documents at once, so that no office begins before it can choose among them
    // all; returns their tickets in the same order.
    std::vector<int> submit(const std::vector<Document> &documents);
    // Waits for the document's result. Throws BuildError when the build was interrupted or
    // cancelled.
    Result take(int ticket);
    // Waits until the document's result is in or an office is up, and tells the starts so
    // far.
    void settleStarts(int ticket);
    // Drops the documents not yet begun, ends every office (each in its own thread, at the
    // same time) and the threads. Throws BuildError with the first office that could not
    // be ended cleanly; every one is ended all the same.
    void quit();

    // Run on the thread that waits, when the build's first office begins to start and once
    // it is up.
    std::function<void()> onOfficeStarting;
    std::function<void()> onOfficeStarted;

    // Offices started so far, replacements of crashed ones not counted; pages taken from
    // the cache so far.
    int officesStarted() const;
    int pagesFromCache() const;

private:
    struct Job;
    struct Shared;
    static Job next(std::deque<Job> &queue, bool longestFirst);
    static void work(const std::shared_ptr<Shared> &shared, bool longestFirst);
    static Result make(Shared &shared, std::unique_ptr<OfficeSession> &session, const Job &job);
    void waitUntil(const std::function<bool()> &done);
    void tellStarts();

    std::shared_ptr<Shared> shared_;
    std::vector<QThread *> threads_;
    bool toldStarting_ = false;
    bool toldStarted_ = false;
};

}  // namespace zelbrin

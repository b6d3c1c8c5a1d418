#pragma once

#include "builderror.h"
#include "helpproject.h"
#include "officesession.h"
#include "pagecache.h"
#include "prompts.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

class QThread;

namespace zelbrin {

class Project;
class StructureModel;

// How far the conversion has come: document `done` of `total` is being converted now.
struct ConversionProgress {
    int done = 0;
    int total = 0;
    QString document;  // the document's file name, without its folder
};

// What a finished build made.
struct BuildReport {
    QString compiledFile;           // empty when the compiler was missing
    int documents = 0;              // documents the tree links
    QList<FailedDocument> failedDocuments;  // linked documents that got a stand-in page instead
    int pagesFromCache = 0;         // office documents whose page the cache held
    int officesStarted = 0;         // offices started for the others
    QString defaultTopic;           // the page the help file opens first; empty for none
};

// "正在转换为HTML文件... 3/27 价格表.xls": the conversion step with its count.
QString conversionProgressText(const ConversionProgress &progress);
// One line that says what a build made: the help file, how many documents it holds and
// how many of them could not be converted.
QString buildSummaryText(const BuildReport &report);
// "D:/docs/a.doc（文档已损坏）": a failed document as a list shows it.
QString failedDocumentText(const FailedDocument &document);

// What one build needs from the world outside the core. The window and the
// command-line builder fill it differently; tests fill it with fakes.
struct BuildEnvironment {
    // Starts one office; the build starts one for each worker that gets a document that
    // the cache does not hold, and none when it holds every one.
    OfficeSessionFactory officeFactory;
    // Offices converting at once; 0 for one per core, at most four, as memory allows
    // (limitOffices in officepool.h).
    int officeWorkers = 0;
    // Pages converted by earlier builds; off when its folder is empty.
    PageCacheSettings pageCache;
    // Closes a help viewer whose window title is exactly the given text.
    std::function<void(const QString &)> closeViewer;
    // Folder that holds hhc, ending in "/".
    QString programFolder;
    // Keeps the build folder after the build (command-line --keep-temp).
    bool keepBuildFolder = false;
    // hhc prints progress while it compiles, however long that takes; a compiler that has
    // printed nothing for this long has stalled and is stopped.
    int compilerSilenceMs = 10 * 60 * 1000;
};

// One build of a project: converts every linked document, writes the help project,
// contents and index, and runs hhc on them. It works on a copy of the project's tree
// taken when it is made, so the project may be shown and edited meanwhile. Its steps, the
// conversion's count and its notices and questions come as signals; a notice or question
// holds the build until reply() answers it. A window starts it on a thread of its own, so
// that the window's own thread only ever waits for its events.
class Build : public QObject {
    Q_OBJECT
public:
    Build(const Project &project, BuildEnvironment environment, QObject *parent = nullptr);
    // Cancels a running build and waits until it has cleaned up.
    ~Build() override;

    // Runs the build on the calling thread. Throws BuildError.
    BuildReport run();

    // Runs the build on a thread of its own; finished() follows once it has ended. Its
    // signals reach receivers of other threads queued, in the order sent.
    void start();
    bool isRunning() const { return thread_ != nullptr; }
    // After finished(): what the build made, and the text of the error that ended it
    // (empty when it succeeded or was cancelled).
    const BuildReport &report() const { return report_; }
    const QString &errorText() const { return errorText_; }
    bool wasCancelled() const { return stop_.stop_requested(); }

    // Stops the build from any thread: the offices and the compiler are killed, a waiting
    // notice or question is given up, the build folder goes (unless it is to be kept) and
    // a help file of an earlier build stays as it is.
    void cancel();

    // The answer to the last notice or question (a notice's is ignored). Any thread.
    void reply(UserPrompts::Answer answer);

signals:
    void stepChanged(const QString &step);
    void progressChanged(const zelbrin::ConversionProgress &progress);
    // A plain message for the user; the build waits for reply().
    void noticeGiven(const QString &text);
    // A Yes/No (or Yes/No/Cancel) question; the build waits for reply() with the answer.
    void questionAsked(const QString &text, bool withCancel);
    // A build that start() began has ended.
    void finished();

private:
    class Prompts;
    void forgetReply();
    UserPrompts::Answer waitForReply();
    // Writes the help project, contents and index files and runs hhc on them. Returns the
    // compiled help file, or "" when hhc is not in the program folder.
    QString writeHelpProject(const QString &defaultTopic, const DocumentTopicsMap &topics);

    BuildEnvironment env_;
    StructureModel *tree_;
    QString fileName_;
    QString directory_;
    QString name_;
    TopicSettings topics_;
    std::unique_ptr<Prompts> prompts_;
    std::mutex replyMutex_;
    std::condition_variable replied_;
    std::optional<UserPrompts::Answer> reply_;
    std::stop_source stop_;
    QThread *thread_ = nullptr;
    BuildReport report_;
    QString errorText_;
};

// The build folder names, relative to the project directory (buildfolder.h).
inline const QString kBuildFolderName = QStringLiteral("temp");
inline const QString kHtmlFolderName = QStringLiteral("temp/html/");

// Texts of the build.
inline const QString kOfficeStartStep = QStringLiteral("正在启动办公软件...");
inline const QString kConversionStep = QStringLiteral("正在转换为HTML文件...");
inline const QString kCompilerMissingMessage =
    QStringLiteral("未找到 HTML Help Workshop 的安装目录，请确认该程序已经被安装到您的计算机上！");
inline const QString kCompileFailedPrefix = QStringLiteral("编译CHM文件失败：");
// Follows kCompileFailedPrefix; %1 is how long the compiler was silent ("10 分钟").
inline const QString kCompilerStalledMessage = QStringLiteral("编译程序已有%1没有任何进展，编译已停止。");
inline const QString kBuildErrorPrefix = QStringLiteral("编译时出错：");
// The office could not be started, died or hung: the user is asked about the office.
inline const QString kOfficeErrorPrefix = QStringLiteral("编译时出错，是否安装过office？：");
// The message for an error that ended a build: the office's errors with kOfficeErrorPrefix,
// the others with kBuildErrorPrefix. Its detail, when it has one, is shown apart.
QString buildErrorText(const BuildError &error);
// An error that no part of the build expected (the C++ library's, in English), as a build
// error: named in the user's words, its own words as the detail.
BuildError unexpectedBuildError(const std::exception &error);

}  // namespace zelbrin

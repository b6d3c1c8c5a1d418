// The build: from the structure tree to a compiled help file.
#include "build.h"

#include "builderror.h"
#include "buildfolder.h"
#include "conversion.h"
#include "fileops.h"
#include "helpproject.h"
#include "officepool.h"
#include "project.h"
#include "prompts.h"
#include "runprocess.h"
#include "structuretree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <new>
#include <optional>
#include <sys/stat.h>

namespace zelbrin {
namespace {

// Identity of a file, to tell whether hhc really wrote a new one.
struct FileStamp {
    bool exists = false;
    ino_t inode = 0;
    timespec mtime{};
    off_t size = 0;
    static FileStamp of(const QString &path) {
        FileStamp s;
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
            s.exists = true;
            s.inode = st.st_ino;
            s.mtime = st.st_mtim;
            s.size = st.st_size;
        }
        return s;
    }
    bool sameAs(const FileStamp &o) const {
        return exists == o.exists && inode == o.inode && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && size == o.size;
    }
};

QString lastLines(const QString &text, int count) {
    QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    for (QString &l : lines)
        l = l.trimmed();
    lines.removeAll(QString());
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines.join(u'\n');
}

}  // namespace

QString conversionProgressText(const ConversionProgress &progress) {
    return QStringLiteral("正在转换为HTML文件... %1/%2 %3").arg(progress.done).arg(progress.total).arg(progress.document);
}

QString failedDocumentText(const FailedDocument &document) {
    return QStringLiteral("%1（%2）").arg(document.path, document.fault.reason);
}

QString buildErrorText(const BuildError &error) {
    return (dynamic_cast<const OfficeError *>(&error) ? kOfficeErrorPrefix : kBuildErrorPrefix) + error.message();
}

BuildError unexpectedBuildError(const std::exception &error) {
    return BuildError(dynamic_cast<const std::bad_alloc *>(&error) ? QStringLiteral("内存不足")
                                                                   : QStringLiteral("程序内部错误"),
                      QString::fromLocal8Bit(error.what()));
}

QString buildSummaryText(const BuildReport &report) {
    QString text = QStringLiteral("编译完成：%1（共 %2 个文档").arg(report.compiledFile).arg(report.documents);
    if (!report.failedDocuments.isEmpty())
        text += QStringLiteral("，%1 个未能转换").arg(report.failedDocuments.size());
    return text + QStringLiteral("）");
}

// The build's questions and notices, as its signals; each waits for the reply.
class Build::Prompts : public UserPrompts {
public:
    explicit Prompts(Build &build) : build_(build) {}
    Answer ask(const QString &text, bool withCancel) override {
        build_.forgetReply();
        emit build_.questionAsked(text, withCancel);
        return build_.waitForReply();
    }
    void notice(const QString &text, Icon) override {
        build_.forgetReply();
        emit build_.noticeGiven(text);
        build_.waitForReply();
    }
    // A build chooses no files and takes no input.
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString folderName(const QString &, const QString &) override { return {}; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override {
        return std::nullopt;
    }

private:
    Build &build_;
};

Build::Build(const Project &project, BuildEnvironment environment, QObject *parent)
    : QObject(parent), env_(std::move(environment)), tree_(new StructureModel(this)),
      fileName_(project.fileName()), directory_(project.directory()), name_(project.name()),
      topics_(project.topics()),
      prompts_(std::make_unique<Prompts>(*this)) {
    const StructureModel &tree = project.tree();
    for (int i = 0; i < tree.topLevelCount(); ++i)
        tree_->insert(nullptr, i, StructureModel::cloneSubtree(tree.topLevel(i)));
}

Build::~Build() {
    if (thread_) {
        cancel();
        thread_->wait();
        delete thread_;
    }
}

void Build::start() {
    thread_ = QThread::create([this] {
        // What another program said in its own words stays apart, below the message.
        const auto fail = [this](const BuildError &e) {
            if (!wasCancelled())
                errorText_ = e.detail().isEmpty() ? buildErrorText(e)
                                                  : buildErrorText(e) + QStringLiteral("\n\n") + e.detail();
        };
        try {
            report_ = run();
        } catch (const BuildError &e) {
            fail(e);
        } catch (const std::exception &e) {
            fail(unexpectedBuildError(e));
        }
    });
    // Delivered on this object's thread once the build's thread has ended.
    connect(thread_, &QThread::finished, this, [this] {
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
        emit finished();
    });
    thread_->start();
}

void Build::cancel() {
    stop_.request_stop();
    std::lock_guard lock(replyMutex_);
    replied_.notify_all();
}

void Build::forgetReply() {
    std::lock_guard lock(replyMutex_);
    reply_.reset();
}

void Build::reply(UserPrompts::Answer answer) {
    std::lock_guard lock(replyMutex_);
    reply_ = answer;
    replied_.notify_all();
}

UserPrompts::Answer Build::waitForReply() {
    std::unique_lock lock(replyMutex_);
    // A signal that asks the program to stop wakes nothing; it is looked for now and then.
    while (!reply_ && !interruption::requested(stop_.get_token()))
        replied_.wait_for(lock, std::chrono::milliseconds(50));
    throwIfInterrupted(stop_.get_token());
    return *reply_;
}

QString Build::writeHelpProject(const QString &defaultTopic, const DocumentTopicsMap &topics) {
    const QString compiler = env_.programFolder + QStringLiteral("hhc");
    if (!QFileInfo(compiler).isExecutable()) {
        prompts_->notice(kCompilerMissingMessage, UserPrompts::Icon::None);
        return {};
    }
    const QString dir = directory_;
    const QString name = name_;
    const QString helpFolder = dir + kBuildFolderName + u'/';
    const QString htmlFolder = dir + kHtmlFolderName;
    const StructureModel &tree = *tree_;

    const QStringList project = helpProjectLines(dir, name, defaultTopic);
    QStringList contents, index;
    if (QDir().mkpath(helpFolder)) {
        checkGbkCaptions(tree);
        checkGbkTopics(tree, topics);
        writeSitemaps(contents, index, tree, htmlFolder, topics_, topics);
    }
    saveGbkLines(helpFolder + name + QStringLiteral(".hhc"), contents);
    saveGbkLines(helpFolder + name + QStringLiteral(".hhk"), index);
    const QString hhp = helpFolder + name + QStringLiteral(".hhp");
    saveGbkLines(hhp, project);

    const QString chm = dir + name + QStringLiteral(".CHM");
    const FileStamp before = FileStamp::of(chm);
    QString output;
    // No limit on the whole compilation, which grows with the help file; only a compiler
    // that stops making progress is stopped.
    bool stalled = false;
    const int exitCode = runProcessAndWait(compiler, {hhp}, &output, {}, -1, env_.compilerSilenceMs, &stalled,
                                          stop_.get_token());
    throwIfInterrupted(stop_.get_token());
    const FileStamp after = FileStamp::of(chm);
    if (stalled) {
        const int ms = env_.compilerSilenceMs;
        const QString span = ms % 60000 == 0 ? QStringLiteral(" %1 分钟").arg(ms / 60000)
                                             : QStringLiteral(" %1 秒").arg(ms / 1000.0);
        throw BuildError(kCompileFailedPrefix + kCompilerStalledMessage.arg(span));
    }
    // A compiler failure must not open a stale help file from an earlier build.
    if (exitCode != 0 || !after.exists || after.sameAs(before)) {
        QString detail = lastLines(output, 8);
        if (detail.isEmpty())
            detail = exitCode != 0 ? QStringLiteral("hhc 退出码 %1").arg(exitCode)
                                   : QStringLiteral("未生成 ") + chm;
        throw BuildError(kCompileFailedPrefix + detail);
    }
    return chm;
}

BuildReport Build::run() {
    BuildEnvironment &env = env_;
    emit stepChanged(QStringLiteral("开始编译..."));
    // Before anything is converted: another build of this folder, a "temp" of the user's
    // or a folder that cannot be written ends the build here, with nothing touched.
    BuildFolder buildFolder(directory_, fileName_);
    const QString htmlFolder = buildFolder.path() + QStringLiteral("/html/");
    const auto removeBuildFolder = [&] {
        if (!env.keepBuildFolder)
            buildFolder.remove();
    };
    QDir().mkpath(htmlFolder);
    const QString name = name_;
    if (!name.isEmpty() && env.closeViewer)
        env.closeViewer(name);

    std::optional<PageCache> cache;
    if (env.pageCache.enabled())
        cache.emplace(env.pageCache);
    OfficePoolSettings poolSettings;
    poolSettings.workers = env.officeWorkers > 0 ? env.officeWorkers : defaultOfficeWorkers();
    poolSettings.stagingFolder = buildFolder.path() + QStringLiteral("/staging");
    poolSettings.stop = stop_.get_token();
    OfficePool office(env.officeFactory, poolSettings, cache ? &*cache : nullptr);
    // An office that comes up after a count was shown (the count of a page the cache held)
    // shows that count again once its step has been told.
    std::optional<ConversionProgress> lastCount;
    const auto showCount = [&](const ConversionProgress &progress) {
        lastCount = progress;
        emit progressChanged(progress);
    };
    office.onOfficeStarting = [&] { emit stepChanged(kOfficeStartStep); };
    office.onOfficeStarted = [&] {
        emit stepChanged(kConversionStep);
        if (lastCount)
            emit progressChanged(*lastCount);
    };

    BuildReport report;
    QString quitError;
    try {
        emit stepChanged(kConversionStep);
        const StructureModel &tree = *tree_;
        DocumentConverter converter(office, *prompts_, stop_.get_token());
        converter.setTopicSettings(topics_);
        report.documents = DocumentConverter::countDocuments(tree);
        converter.setProgress(showCount, report.documents);
        converter.convertTree(tree, htmlFolder);
        throwIfInterrupted(stop_.get_token());
        report.failedDocuments = converter.failedDocuments();
        report.pagesFromCache = office.pagesFromCache();
        report.officesStarted = office.officesStarted();
        // The offices' memory is free again before the compiler needs its own. A failed
        // end is reported once the help file is compiled, as it was when the office ended
        // last.
        try {
            office.quit();
        } catch (const BuildError &e) {
            quitError = e.message();
        }
        deleteDirectory(poolSettings.stagingFolder);
        if (cache)
            cache->trim();
        emit stepChanged(QStringLiteral("正在编译..."));
        report.defaultTopic = converter.defaultTopic();
        report.compiledFile = writeHelpProject(report.defaultTopic, converter.documentTopics());
        if (!env.keepBuildFolder)
            emit stepChanged(QStringLiteral("删除临时文件..."));
    } catch (const OfficeStartError &) {
        try {
            office.quit();
        } catch (...) {
        }
        // An office that cannot start leaves the HTML folder until the next build; one
        // that the user interrupted leaves nothing.
        if (interruption::requested(stop_.get_token()))
            removeBuildFolder();
        throw;
    } catch (...) {
        // The offices are ended and the scratch folder removed however the build ends;
        // the first error is the one reported.
        try {
            office.quit();
        } catch (...) {
        }
        removeBuildFolder();
        throw;
    }
    if (!quitError.isEmpty())
        throw OfficeError(quitError);
    removeBuildFolder();
    return report;
}

}  // namespace zelbrin

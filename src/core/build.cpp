// The build: from the structure tree to a compiled help file.
#include "build.h"

#include "builderror.h"
#include "buildfolder.h"
#include "conversion.h"
#include "fileops.h"
#include "helpproject.h"
#include "officepool.h"
#include "projectwindow.h"
#include "prompts.h"
#include "runprocess.h"
#include "structuretree.h"
#include "zlpproject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

QString TZLPProject::WriteHelpProject(BuildEnvironment &env) {
    const QString compiler = env.programFolder + QStringLiteral("hhc");
    if (!QFileInfo(compiler).isExecutable()) {
        window_.prompts().notice(kCompilerMissingMessage);
        return {};
    }
    const QString dir = ProjectDirectory();
    const QString name = GetProjectName();
    const QString helpFolder = dir + kBuildFolderName + u'/';
    const QString htmlFolder = dir + kHtmlFolderName;
    const StructureModel &tree = window_.structureTree();

    const QStringList project = helpProjectLines(dir, name, DefaultTopic);
    QStringList contents, index;
    if (QDir().mkpath(helpFolder)) {
        checkGbkCaptions(tree);
        WriteSitemaps(contents, index, tree, htmlFolder);
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
    const int exitCode = RunProcessAndWait(compiler, {hhp}, &output, {}, -1, env.compilerSilenceMs, &stalled);
    throwIfInterrupted();
    const FileStamp after = FileStamp::of(chm);
    if (stalled) {
        const int ms = env.compilerSilenceMs;
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

BuildReport TZLPProject::Compile(BuildEnvironment &env) {
    env.showStep(QStringLiteral("开始编译..."));
    // Before anything is converted: another build of this folder, a "temp" of the user's
    // or a folder that cannot be written ends the build here, with nothing touched.
    BuildFolder buildFolder(ProjectDirectory(), FileName);
    const QString htmlFolder = buildFolder.path() + QStringLiteral("/html/");
    const auto removeBuildFolder = [&] {
        if (!env.keepBuildFolder)
            runAside([&] { buildFolder.remove(); });
    };
    QDir().mkpath(htmlFolder);
    const QString name = GetProjectName();
    if (!name.isEmpty() && env.closeViewer)
        env.closeViewer(name);

    std::optional<PageCache> cache;
    if (env.pageCache.enabled())
        cache.emplace(env.pageCache);
    OfficePoolSettings poolSettings;
    poolSettings.workers = env.officeWorkers > 0 ? env.officeWorkers : defaultOfficeWorkers();
    poolSettings.stagingFolder = buildFolder.path() + QStringLiteral("/staging");
    OfficePool office(env.officeFactory, poolSettings, cache ? &*cache : nullptr);
    // An office that comes up after a count was shown (the count of a page the cache held)
    // shows that count again once its step has been told.
    std::optional<ConversionProgress> lastCount;
    const auto showCount = [&](const ConversionProgress &progress) {
        lastCount = progress;
        if (env.showProgress)
            env.showProgress(progress);
    };
    office.onOfficeStarting = [&] { env.showStep(kOfficeStartStep); };
    office.onOfficeStarted = [&] {
        env.showStep(kConversionStep);
        if (lastCount && env.showProgress)
            env.showProgress(*lastCount);
    };

    BuildReport report;
    QString quitError;
    try {
        DefaultTopic.clear();
        env.showStep(kConversionStep);
        const StructureModel &tree = window_.structureTree();
        DocumentConverter converter(office, *this, window_.prompts());
        report.documents = DocumentConverter::countDocuments(tree);
        converter.setProgress(showCount, report.documents);
        converter.ConvertTree(tree, htmlFolder);
        throwIfInterrupted();
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
        DeleteDirectory(poolSettings.stagingFolder);
        if (cache)
            runAside([&] { cache->trim(); });
        env.showStep(QStringLiteral("正在编译..."));
        report.compiledFile = WriteHelpProject(env);
        if (!env.keepBuildFolder)
            env.showStep(QStringLiteral("删除临时文件..."));
    } catch (const OfficeStartError &) {
        try {
            office.quit();
        } catch (...) {
        }
        // An office that cannot start leaves the HTML folder until the next build; one
        // that the user interrupted leaves nothing.
        if (interruption::requested())
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
    // With the compiler missing there is nothing to open.
    if (!report.compiledFile.isEmpty() && env.openResult)
        env.openResult(report.compiledFile);
    return report;
}

}  // namespace zelbrin

// The build: from the structure tree to a compiled help file.
#include "build.h"

#include "builderror.h"
#include "conversion.h"
#include "fileops.h"
#include "helpproject.h"
#include "projectwindow.h"
#include "prompts.h"
#include "runprocess.h"
#include "structuretree.h"
#include "zlpproject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    const QString dir = ProjectDirectory();
    const QString buildFolder = dir + kBuildFolderName;
    const QString htmlFolder = dir + kHtmlFolderName;

    env.showStep(QStringLiteral("开始编译..."));
    if (QFileInfo::exists(buildFolder))
        DeleteDirectory(buildFolder);
    QDir().mkpath(htmlFolder);
    const QString name = GetProjectName();
    if (!name.isEmpty() && env.closeViewer)
        env.closeViewer(name);

    env.showStep(kOfficeStartStep);
    std::unique_ptr<OfficeSession> office;
    try {
        office = env.officeFactory();
    } catch (...) {
        // A start that the user interrupted leaves nothing; after other failures the folder
        // stays until the next build, as before.
        if (interruption::requested() && !env.keepBuildFolder)
            DeleteDirectory(buildFolder);
        throw;
    }
    BuildReport report;
    try {
        DefaultTopic.clear();
        env.showStep(QStringLiteral("正在转换为HTML文件..."));
        const StructureModel &tree = window_.structureTree();
        DocumentConverter converter(*office, *this, window_.prompts());
        report.documents = DocumentConverter::countDocuments(tree);
        converter.setProgress(env.showProgress, report.documents);
        for (int i = 0; i < tree.topLevelCount(); ++i) {
            const TreeNode *node = tree.topLevel(i);
            if (node->hasChildren()) {
                converter.ConvertBranch(node, htmlFolder);
            } else {
                converter.ConvertDocument(node->link, htmlFolder);
                if (!node->link.isEmpty())
                    CopySubfolders(node->link.left(node->link.lastIndexOf(u'/') + 1), htmlFolder);
            }
        }
        throwIfInterrupted();
        report.failedDocuments = converter.failedDocuments();
        env.showStep(QStringLiteral("正在编译..."));
        report.compiledFile = WriteHelpProject(env);
        env.showStep(QStringLiteral("删除临时文件..."));
    } catch (...) {
        // The office is ended and the scratch folder removed however the build ends;
        // the first error is the one reported.
        try {
            office->quit();
        } catch (...) {
        }
        office.reset();
        if (!env.keepBuildFolder)
            DeleteDirectory(buildFolder);
        throw;
    }
    office->quit();
    office.reset();
    if (!env.keepBuildFolder)
        DeleteDirectory(buildFolder);
    // With the compiler missing there is nothing to open.
    if (!report.compiledFile.isEmpty() && env.openResult)
        env.openResult(report.compiledFile);
    return report;
}

}  // namespace zelbrin

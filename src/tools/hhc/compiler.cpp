#include "compiler.h"

#include "chmoutput.h"
#include "gbk.h"
#include "helpproject.h"
#include "references.h"
#include "sitemap.h"
#include "stager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>

#include <sys/statvfs.h>
#include <unistd.h>

namespace zelbrin::hhc {
namespace {

// Names of the compiler's own files in the staging root. The contents and index names
// are what the help file records in its #SYSTEM.
const QString kStagedProject = QStringLiteral("project.hhp");
const QString kStagedContents = QStringLiteral("contents.hhc");
const QString kStagedIndex = QStringLiteral("index.hhk");
const QString kStagedOutput = QStringLiteral("output.chm");

// Options that name files chmcmd never reads; their paths mean nothing in the staging folder.
bool isDroppedOption(const QString &key) {
    static const QStringList dropped{QStringLiteral("error log file"),
                                     QStringLiteral("full text search stop list file"),
                                     QStringLiteral("full-text search stop list"),
                                     QStringLiteral("sample staging path"),
                                     QStringLiteral("sample list file"), QStringLiteral("tmpdir")};
    return dropped.contains(key.toLower());
}

class Compilation {
public:
    Compilation(const HelpProject &project, CompileResult &result, Stager &stager)
        : p_(project), r_(result), stager_(stager) {}

    // A contents or index file staged under stagedName; empty when the project names none.
    std::optional<StagedSitemap> stageSitemapFile(const QString &optionKey, const QString &what) {
        const QString value = p_.option(optionKey);
        if (value.isEmpty())
            return std::nullopt;
        const QString path = projectPath(value, p_.folder);
        QFile f(path);
        if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
            r_.errors.append(QStringLiteral("%1 not found: %2").arg(what, path));
            return std::nullopt;
        }
        QByteArray bytes = f.readAll();
        if (bytes.startsWith("\xEF\xBB\xBF")) {  // a UTF-8 sitemap: the help file wants GBK titles
            const auto gbk = encodeGbk(QString::fromUtf8(bytes.mid(3)));
            if (!gbk) {
                r_.errors.append(QStringLiteral("%1 %2 holds characters that GBK cannot hold").arg(what, path));
                return std::nullopt;
            }
            bytes = *gbk;
        }
        StagedSitemap s = stageSitemap(bytes, p_.folder, stager_);
        for (const QString &m : std::as_const(s.missing))
            r_.errors.append(QStringLiteral("page named in the %1 not found: %2").arg(what, m));
        for (const QString &d : std::as_const(s.dropped))
            r_.warnings.append(QStringLiteral("%1 entry for \"%2\" has no page; it is kept as a heading").arg(what, d));
        return s;
    }

    // A file name written in the project (window fields, default topic, aliases) as a
    // staged name, with its "#anchor" kept.
    std::optional<QString> stageReference(const QString &value) {
        const auto gbk = encodeGbk(value);
        const QByteArray raw = gbk ? *gbk : value.toUtf8();
        const TextEncoding encoding = gbk ? TextEncoding::Gbk : TextEncoding::Utf8;
        const auto found = resolveReference(raw, p_.folder, encoding, p_.folder);
        if (!found)
            return std::nullopt;
        const QString suffix = gbk ? decodeGbk(found->suffix) : QString::fromUtf8(found->suffix);
        return stager_.stage(found->path) + suffix;
    }

    void stageListedFiles() {
        for (const QString &entry : p_.files) {
            const QString path = projectPath(entry, p_.folder);
            if (isRegularFile(path))
                stager_.stage(path);
            else if (path.endsWith(u".htm", Qt::CaseInsensitive) && isRegularFile(path + u'l'))
                stager_.stage(path + u'l');
            else
                r_.errors.append(QStringLiteral("file listed in [FILES] not found: %1").arg(path));
        }
    }

    // Rewrites the window definitions; returns the staged default topic.
    QString stageWindowsAndDefaultTopic(QList<WindowDefinition> &windows, bool hasContents,
                                        bool hasIndex, const QString &firstContentsPage) {
        const WindowDefinition *original = p_.defaultWindow();
        const qsizetype defaultIndex = original ? original - p_.windows.constData() : -1;
        QString defaultTopic;
        static const struct {
            int field;
            const char *label;
        } pageFields[] = {{WindowDefinition::DefaultTopic, "default topic"},
                          {WindowDefinition::Home, "home page"},
                          {WindowDefinition::Jump1Url, "jump 1 page"},
                          {WindowDefinition::Jump2Url, "jump 2 page"}};
        for (qsizetype i = 0; i < windows.size(); ++i) {
            WindowDefinition &w = windows[i];
            if (!w.field(WindowDefinition::Contents).isEmpty())
                w.setField(WindowDefinition::Contents, hasContents ? kStagedContents : QString());
            if (!w.field(WindowDefinition::Index).isEmpty())
                w.setField(WindowDefinition::Index, hasIndex ? kStagedIndex : QString());
            for (const auto &pf : pageFields) {
                const QString value = w.field(pf.field);
                if (value.isEmpty() || isExternalReference(value.toUtf8()))
                    continue;
                const auto staged = stageReference(value);
                if (!staged)
                    r_.warnings.append(QStringLiteral("window \"%1\": no file for its %2 \"%3\"")
                                           .arg(w.name, QLatin1String(pf.label), value));
                w.setField(pf.field, staged.value_or(QString()));
            }
            if (i == defaultIndex)
                defaultTopic = w.field(WindowDefinition::DefaultTopic);
        }
        const QString option = p_.option(QStringLiteral("Default topic"));
        if (defaultTopic.isEmpty() && !option.isEmpty()) {
            if (const auto staged = stageReference(option))
                defaultTopic = *staged;
            else
                r_.warnings.append(QStringLiteral("default topic \"%1\" names no file; the first "
                                                  "contents entry is the default topic").arg(option));
        }
        if (defaultTopic.isEmpty())
            defaultTopic = firstContentsPage;
        if (defaultIndex >= 0 && windows[defaultIndex].field(WindowDefinition::DefaultTopic).isEmpty() &&
            !defaultTopic.isEmpty())
            windows[defaultIndex].setField(WindowDefinition::DefaultTopic, defaultTopic);
        return defaultTopic;
    }

    QStringList stageAliases() {
        QStringList lines;
        for (const QString &line : p_.aliases) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq <= 0)
                continue;
            const QString target = line.mid(eq + 1).section(u';', 0, 0).trimmed();
            if (const auto staged = stageReference(target))
                lines.append(line.left(eq).trimmed() + u'=' + *staged);
            else
                r_.errors.append(QStringLiteral("[ALIAS] names a file that does not exist: %1").arg(target));
        }
        return lines;
    }

    QStringList projectLines(const QList<WindowDefinition> &windows, bool hasContents, bool hasIndex,
                             const QString &defaultTopic, const QStringList &aliases) {
        QStringList lines{QStringLiteral("[OPTIONS]")};
        bool haveLanguage = false;
        for (const auto &[key, value] : p_.options) {
            const QString k = key.toLower();
            if (isDroppedOption(k) || k == u"compiled file" || k == u"contents file" ||
                k == u"index file" || k == u"default topic")
                continue;
            if (k == u"language") {
                const auto lcid = parseLanguage(value);
                if (!lcid)
                    r_.warnings.append(QStringLiteral("Language=%1 is not understood; 0x0804 is used").arg(value));
                lines.append(QStringLiteral("Language=") + formatLanguage(lcid.value_or(0x0804)));
                haveLanguage = true;
                continue;
            }
            lines.append(key + u'=' + value);
        }
        lines.append(QStringLiteral("Compiled file=") + kStagedOutput);
        if (hasContents)
            lines.append(QStringLiteral("Contents file=") + kStagedContents);
        if (hasIndex)
            lines.append(QStringLiteral("Index file=") + kStagedIndex);
        if (!defaultTopic.isEmpty())
            lines.append(QStringLiteral("Default topic=") + defaultTopic);
        if (!haveLanguage)
            lines.append(QStringLiteral("Language=") + formatLanguage(0x0804));
        // Readers that show the help file's title rather than the window caption (xchm)
        // then show the project name as well.
        const WindowDefinition *w = p_.defaultWindow();
        if (!p_.hasOption(QStringLiteral("Title")) && w && !w->field(WindowDefinition::Caption).isEmpty())
            lines.append(QStringLiteral("Title=") + w->field(WindowDefinition::Caption));
        lines.append(QStringLiteral("[WINDOWS]"));
        for (const WindowDefinition &win : windows)
            lines.append(win.toLine());
        lines.append(QStringLiteral("[FILES]"));
        lines.append(stager_.stagedFiles());
        if (!aliases.isEmpty()) {
            lines.append(QStringLiteral("[ALIAS]"));
            lines.append(aliases);
        }
        QStringList map;
        for (const QString &line : p_.map) {
            if (!line.trimmed().isEmpty())
                map.append(line.trimmed());
        }
        if (!map.isEmpty()) {
            lines.append(QStringLiteral("[MAP]"));
            lines.append(map);
        }
        if (!p_.mergeFiles.isEmpty()) {
            lines.append(QStringLiteral("[MERGE FILES]"));
            lines.append(p_.mergeFiles);
        }
        return lines;
    }

private:
    const HelpProject &p_;
    CompileResult &r_;
    Stager &stager_;
};

// Creating and removing many small files costs far more on a journaling disk than in
// memory (a 100-page project: half a second against a few milliseconds), so the copy
// goes to shared memory when it fits there with room to spare. TMPDIR, when set, wins.
QString stagingParent(qint64 stagedBytes) {
    if (!qEnvironmentVariableIsEmpty("TMPDIR"))
        return QDir::tempPath();
    const char *shm = "/dev/shm";
    struct statvfs st {};
    if (::statvfs(shm, &st) == 0 && ::access(shm, W_OK | X_OK) == 0) {
        const quint64 free = quint64(st.f_bavail) * quint64(st.f_frsize);
        if (free > quint64(stagedBytes) * 3 + (quint64(64) << 20))
            return QString::fromLatin1(shm);
    }
    return QDir::tempPath();
}

bool writeBytes(const QString &path, const QByteArray &bytes, QStringList &errors) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush())
        return true;
    errors.append(QStringLiteral("cannot write %1: %2").arg(path, f.errorString()));
    return false;
}

// Runs the compilation proper; a failure leaves whatever stood at the target untouched.
void compileInto(const HelpProject &project, const CompileOptions &options, CompileResult &r) {
    const QString target = r.outputPath;
    if (QFileInfo(target).isDir()) {
        r.errors.append(QStringLiteral("the compiled file's name is a folder: %1").arg(target));
        return;
    }
    if (!QFileInfo(folderOf(target)).isDir()) {
        r.errors.append(QStringLiteral("folder for the compiled file not found: %1").arg(folderOf(target)));
        return;
    }
    const QString chmcmd = options.chmcmd.isEmpty() ? findChmcmd() : options.chmcmd;
    if (chmcmd.isEmpty()) {
        r.errors.append(QStringLiteral("chmcmd not found (it comes with the package fp-utils)"));
        return;
    }
    Stager stager(project.folder);
    for (const QString &name : {kStagedProject, kStagedContents, kStagedIndex, kStagedOutput})
        stager.reserveRootName(name);
    Compilation c(project, r, stager);

    const auto contents = c.stageSitemapFile(QStringLiteral("Contents file"), QStringLiteral("contents file"));
    const auto index = c.stageSitemapFile(QStringLiteral("Index file"), QStringLiteral("index file"));
    c.stageListedFiles();
    QList<WindowDefinition> windows = project.windows;
    r.defaultTopic = c.stageWindowsAndDefaultTopic(windows, contents.has_value(), index.has_value(),
                                                   contents ? contents->firstPage : QString());
    if (r.defaultTopic.isEmpty())
        r.warnings.append(QStringLiteral("the project names no default topic"));
    const QStringList aliases = c.stageAliases();
    if (!r.errors.isEmpty())
        return;  // every missing file is named before anything is read or copied
    if (!stager.plan(r.errors, r.warnings))
        return;

    // The pid in the name lets a later hhc remove the folder when this one was killed.
    QTemporaryDir staging(stagingParent(stager.totalBytes()) +
                          QStringLiteral("/zelbrin-hhc-%1-XXXXXX").arg(::getpid()));
    if (!staging.isValid()) {
        r.errors.append(QStringLiteral("cannot create a staging folder: %1").arg(staging.errorString()));
        return;
    }
    const QString stagingFolder = staging.path() + u'/';
    if (!stager.write(stagingFolder, r.errors))
        return;

    const QStringList lines =
        c.projectLines(windows, contents.has_value(), index.has_value(), r.defaultTopic, aliases);
    const auto projectText = encodeGbk(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    if (!projectText) {
        r.errors.append(QStringLiteral("the help project holds characters that GBK cannot hold"));
        return;
    }
    if (!writeBytes(stagingFolder + kStagedProject, *projectText, r.errors) ||
        (contents && !writeBytes(stagingFolder + kStagedContents, contents->text, r.errors)) ||
        (index && !writeBytes(stagingFolder + kStagedIndex, index->text, r.errors)))
        return;

    ChmcmdRun run = runChmcmd(chmcmd, stagingFolder, kStagedProject);
    // chmcmd's full-text indexer dies on some real pages (an access violation, exit 217)
    // while the same project compiles without the index; a help file without search beats
    // none, so try once more without it and say so.
    const bool indexerCrash = run.started && (run.crashed || run.exitCode == 217 ||
                                              run.output.contains(QLatin1String("Access violation")));
    QStringList withoutSearch = lines;
    bool searchWasOn = false;
    for (QString &line : withoutSearch) {
        if (line.startsWith(QLatin1String("Full-text search="), Qt::CaseInsensitive) &&
            line.mid(17).trimmed().compare(QLatin1String("No"), Qt::CaseInsensitive) != 0) {
            line = QStringLiteral("Full-text search=No");
            searchWasOn = true;
        }
    }
    if (indexerCrash && searchWasOn) {
        const auto retryText =
            encodeGbk(withoutSearch.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
        QFile::remove(stagingFolder + kStagedOutput);
        if (retryText && writeBytes(stagingFolder + kStagedProject, *retryText, r.errors)) {
            r.warnings.append(QStringLiteral(
                "chmcmd's full-text indexer failed (%1); compiled without full-text search")
                                  .arg(run.crashed ? QStringLiteral("crash")
                                                   : QStringLiteral("exit code %1").arg(run.exitCode)));
            run = runChmcmd(chmcmd, stagingFolder, kStagedProject);
        }
    }
    r.compilerOutput = run.output;
    if (!run.started) {
        r.errors.append(QStringLiteral("cannot start %1: %2").arg(chmcmd, run.output));
        return;
    }
    if (run.crashed)
        r.errors.append(QStringLiteral("chmcmd crashed"));
    else if (run.exitCode != 0)
        r.errors.append(QStringLiteral("chmcmd failed with exit code %1").arg(run.exitCode));
    for (const QString &line : run.errorLines)
        r.errors.append(QStringLiteral("chmcmd: %1").arg(line));
    QString why;
    if (!isWholeChm(stagingFolder + kStagedOutput, &why))
        r.errors.append(QStringLiteral("chmcmd did not write a whole help file: %1").arg(why));
    if (!r.errors.isEmpty())
        return;
    bool repaired = false;
    if (!repairListingStart(stagingFolder + kStagedOutput, &repaired, &why)) {
        r.errors.append(QStringLiteral("cannot finish the compiled help file: %1").arg(why));
        return;
    }
    if (!placeFile(stagingFolder + kStagedOutput, target, &why))
        r.errors.append(QStringLiteral("cannot write %1: %2").arg(target, why));
}

}  // namespace

CompileResult compileHelpProject(const QString &projectFile, const CompileOptions &options) {
    CompileResult r;
    QString error;
    const auto project = readHelpProject(projectFile, &error);
    if (!project) {
        r.errors.append(error);
        return r;
    }
    r.warnings.append(project->warnings);
    const QString compiled = project->option(QStringLiteral("Compiled file"));
    r.outputPath = compiled.isEmpty()
                       ? project->folder + QFileInfo(project->path).completeBaseName() + QStringLiteral(".chm")
                       : projectPath(compiled, project->folder);
    compileInto(*project, options, r);
    r.ok = r.errors.isEmpty();
    return r;
}

}  // namespace zelbrin::hhc

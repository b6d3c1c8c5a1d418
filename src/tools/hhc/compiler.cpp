#include "compiler.h"

#include "atomicfile.h"
#include "codepage.h"
#include "container.h"
#include "fulltextsearch.h"
#include "gbk.h"
#include "helpfile.h"
#include "helpproject.h"
#include "interruption.h"
#include "pageencoding.h"
#include "references.h"
#include "sitemap.h"
#include "stager.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

namespace zelbrin::hhc {
namespace {

// The names the help file stores the contents and index files under; #SYSTEM records them.
const QString kStagedContents = QStringLiteral("contents.hhc");
const QString kStagedIndex = QStringLiteral("index.hhk");

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

private:
    const HelpProject &p_;
    CompileResult &r_;
    Stager &stager_;
};

bool isYes(const QString &value) {
    const QString v = value.trimmed().toLower();
    return v == u"yes" || v == u"1" || v == u"true" || v == u"on";
}

// Passes progress lines on now and then: often enough that whoever runs the compiler
// sees it working, seldom enough not to flood its output.
class ProgressLines {
public:
    explicit ProgressLines(const std::function<void(const QString &)> &out) : out_(out) {}
    void report(const QString &line, bool always = false) {
        if (!out_ || (!always && clock_.isValid() && clock_.elapsed() < 1000))
            return;
        out_(line);
        clock_.restart();
    }

private:
    const std::function<void(const QString &)> &out_;
    QElapsedTimer clock_;
};

// A staged contents or index file (GBK) in the help file's code page.
QByteArray inCodePage(const QByteArray &gbkText, const chm::AnsiCodePage &codePage) {
    if (codePage.number == 936)
        return gbkText;
    return chm::encodeAnsiWithReferences(decodeGbk(gbkText), codePage);
}

QString megabytes(qint64 bytes) {
    return QString::number(double(bytes) / (1 << 20), 'f', 1);
}

// A staged file as the help file stores it, and a page's title and text.
struct ReadFile {
    QByteArray bytes;
    bool isPage = false;
    ConvertedPage page;  // of a page: its title and text (its stored form is in bytes)
    QString error;       // set when the file could not be read
};

// Reads every staged file and converts the pages, on every core; nothing when a file cannot
// be read (the first in staging order is named) or the compilation is interrupted.
std::optional<std::vector<ReadFile>> readStagedFiles(const Stager &stager, const chm::AnsiCodePage &codePage,
                                                     int threads, ProgressLines &progress, CompileResult &r) {
    const size_t count = size_t(stager.fileCount());
    std::vector<ReadFile> read(count);
    std::atomic<size_t> next{0}, finished{0};
    std::atomic<bool> stop{false};
    const auto work = [&](bool reports) {
        for (size_t i; !stop && (i = next++) < count;) {
            if (reports)
                progress.report(QStringLiteral("hhc: read %1 of %2 files").arg(finished.load()).arg(count));
            if (interruption::requested()) {
                stop = true;
                break;
            }
            ReadFile &file = read[i];
            std::optional<QByteArray> bytes = stager.stagedBytes(qsizetype(i), &file.error);
            if (!bytes) {
                stop = true;
                break;
            }
            file.isPage = stager.isPage(qsizetype(i));
            if (file.isPage) {
                file.page = convertPage(*bytes, codePage);
                file.bytes = std::move(file.page.stored);
            } else {
                file.bytes = std::move(*bytes);
            }
            ++finished;
        }
    };
    const int workers = std::clamp(threads > 0 ? threads : int(std::thread::hardware_concurrency()), 1,
                                   int(std::max<size_t>(count, 1)));
    std::vector<std::thread> pool;
    for (int t = 1; t < workers; ++t)
        pool.emplace_back(work, false);
    work(true);
    for (std::thread &t : pool)
        t.join();
    for (const ReadFile &file : read) {
        if (!file.error.isEmpty()) {
            r.errors.append(file.error);
            return std::nullopt;
        }
    }
    if (stop) {  // interrupted: some files were not read
        r.errors.append(QStringLiteral("interrupted"));
        return std::nullopt;
    }
    return read;
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
    quint32 lcid = 0x0804;
    const QString language = project.option(QStringLiteral("Language"));
    if (!language.isEmpty()) {
        if (const auto parsed = parseLanguage(language))
            lcid = quint32(*parsed);
        else
            r.warnings.append(QStringLiteral("Language=%1 is not understood; 0x0804 is used").arg(language));
    }
    const chm::AnsiCodePage &codePage = chm::ansiCodePage(lcid);

    Stager stager(project.folder);
    for (const QString &name : {kStagedContents, kStagedIndex})
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
        return;  // every missing file is named before anything is read
    if (!stager.plan(r.errors, r.warnings))
        return;

    ProgressLines progress(options.progress);
    StagedProject staged;
    staged.project = &project;
    staged.lcid = lcid;
    staged.compiledFile = target;
    staged.fullTextSearch = isYes(project.option(QStringLiteral("Full-text search")));
    staged.windows = windows;
    staged.defaultTopic = r.defaultTopic;
    staged.aliases = aliases;
    std::optional<std::vector<ReadFile>> read = readStagedFiles(stager, codePage, options.threads, progress, r);
    if (!read)
        return;
    QList<chm::StoredFile> files;
    QStringList pageTexts, pageTitles;  // for the full-text index, by topic number
    files.reserve(read->size() + 16);
    for (size_t i = 0; i < read->size(); ++i) {
        ReadFile &file = (*read)[i];
        const QString name = stager.stagedName(qsizetype(i));
        if (file.isPage) {
            staged.pages.append({name, file.page.title, stager.sourcePath(qsizetype(i))});
            if (staged.fullTextSearch) {
                pageTexts.append(std::move(file.page.text));
                pageTitles.append(file.page.title);
            }
        }
        // Pictures too: LZX still takes about 6% off LibreOffice's JPEG and PNG pictures, which
        // keeps real help files within a tenth of what other compilers make.
        files.append({QByteArray("/") + name.toLatin1(), std::move(file.bytes), true});
    }
    if (contents) {
        staged.contentsName = kStagedContents;
        staged.contents = readSitemapObjects(contents->text);
        files.append({QByteArray("/") + kStagedContents.toLatin1(), inCodePage(contents->text, codePage), true});
    }
    if (index) {
        staged.indexName = kStagedIndex;
        staged.index = readSitemapObjects(index->text);
        files.append({QByteArray("/") + kStagedIndex.toLatin1(), inCodePage(index->text, codePage), true});
    }
    InternalFiles internal = writeInternalFiles(staged, codePage);
    r.warnings.append(internal.warnings);
    files.append(internal.files);
    if (staged.fullTextSearch) {
        progress.report(QStringLiteral("hhc: indexing %1 pages for full-text search").arg(pageTexts.size()), true);
        QList<chm::SearchPage> search;
        search.reserve(pageTexts.size());
        // Title words are the page's own <title>, as HTML Help Workshop indexes them, not the
        // caption that stands in for a missing one.
        for (qsizetype i = 0; i < pageTexts.size(); ++i)
            search.append({quint32(i), pageTitles[i], std::move(pageTexts[i])});
        pageTexts.clear();
        chm::SearchOptions searchOptions;
        searchOptions.languageId = lcid;
        searchOptions.threads = options.threads;
        searchOptions.codePage = codePage.number;
        const QByteArray index = chm::buildFullTextSearch(search, searchOptions);
        if (index.isEmpty())
            r.warnings.append(QStringLiteral("no full-text search index could be made for code page %1").arg(codePage.number));
        else
            files.append({QByteArrayLiteral("/$FIftiMain"), index, true});
    } else {
        files.append({QByteArrayLiteral("/$FIftiMain"), QByteArray(), true});  // as HTML Help Workshop stores it
    }

    if (interruption::requested()) {
        r.errors.append(QStringLiteral("interrupted"));
        return;
    }
    qint64 totalBytes = 0;
    for (const chm::StoredFile &f : std::as_const(files))
        totalBytes += f.data.size();
    progress.report(QStringLiteral("hhc: writing %1 files, %2 MB").arg(files.size()).arg(megabytes(totalBytes)), true);
    chm::ContainerOptions containerOptions;
    containerOptions.languageId = lcid;
    containerOptions.threads = options.threads;
    containerOptions.progress = [&](qint64 done, qint64 total) {
        progress.report(QStringLiteral("hhc: compressed %1 of %2 MB").arg(megabytes(done), megabytes(total)));
    };
    sweepAtomicWriteLeftovers(target);  // what killed runs left beside the help file
    const QString error = chm::writeContainer(target, files, containerOptions);
    if (!error.isEmpty())
        r.errors.append(QStringLiteral("cannot write %1: %2").arg(target, error));
    else if (options.storedFiles)
        *options.storedFiles = std::move(files);
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
    if (project->options.isEmpty() && project->windows.isEmpty() && project->files.isEmpty()) {
        r.errors.append(QStringLiteral("%1 is not a help project: it has no [OPTIONS], [WINDOWS] or [FILES] entries")
                            .arg(project->path));
        return r;
    }
    const QString compiled = project->option(QStringLiteral("Compiled file"));
    r.outputPath = compiled.isEmpty()
                       ? project->folder + QFileInfo(project->path).completeBaseName() + QStringLiteral(".chm")
                       : projectPath(compiled, project->folder);
    compileInto(*project, options, r);
    r.ok = r.errors.isEmpty();
    return r;
}

}  // namespace zelbrin::hhc

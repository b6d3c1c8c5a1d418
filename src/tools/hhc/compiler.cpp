#include "compiler.h"

#include "atomicfile.h"
#include "codepage.h"
#include "container.h"
#include "fulltextsearch.h"
#include "helpfile.h"
#include "helpproject.h"
#include "interruption.h"
#include "pageencoding.h"
#include "pagekeywords.h"
#include "parallelfor.h"
#include "references.h"
#include "sitemap.h"
#include "stager.h"
#include "textencoding.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

namespace zelbrin::hhc {
namespace {

// A contents or index file of the project.
struct ProjectSitemap {
    QString path;        // on disk
    QString stored;      // its name in the help file
    QString written;     // its name as #SYSTEM and the windows record it
    bool windowNamesIt = false;  // the default window names it (and the help file's records do not)
    StagedSitemap staged;
};

bool isAscii(const QString &text) {
    for (QChar c : text) {
        if (c.unicode() > 0x7F)
            return false;
    }
    return true;
}

class Compilation {
public:
    Compilation(const HelpProject &project, CompileResult &result, Stager &stager, const chm::AnsiCodePage &codePage)
        : p_(project), r_(result), stager_(stager), cp_(codePage) {}

    // The contents or index file: the one the project's options name, else the default
    // window's. Staged first, as the help compiler stores them first.
    std::optional<ProjectSitemap> locateSitemap(const QString &optionKey, int windowField, const QString &what) {
        const WindowDefinition *window = p_.defaultWindow();
        const QString fromWindow = window ? window->field(windowField) : QString();
        const QString value = p_.option(optionKey).isEmpty() ? fromWindow : p_.option(optionKey);
        if (value.isEmpty())
            return std::nullopt;
        ProjectSitemap s;
        s.path = projectPath(value, p_.folder);
        if (!isRegularFile(s.path)) {
            r_.errors.append(QStringLiteral("%1 not found: %2").arg(what, s.path));
            return std::nullopt;
        }
        s.stored = stager_.stage(s.path);
        if (s.stored.isEmpty())
            s.stored = stager_.stageAtTop(s.path);
        s.written = writtenName(value).value_or(s.stored);
        // kchmviewer and xchm take the name a window records for UTF-8 and so find no
        // contents or index under a code-page name ("用户手册.hhc"). The file is recorded
        // under an ASCII second name instead, which every reader finds; its own name stays
        // stored for links from outside.
        if (!isAscii(s.written)) {
            recorded_.remove(s.written);
            s.written = stager_.reserveTopName(optionKey == u"Contents file" ? QStringLiteral("contents.hhc")
                                                                            : QStringLiteral("index.hhk"));
        }
        recorded_.insert(s.written, s.stored);
        s.windowNamesIt = !fromWindow.isEmpty();
        return s;
    }

    // Stages the pages the sitemap names; false when it cannot be read.
    bool stageSitemapPages(ProjectSitemap &s, const QString &what) {
        QFile f(s.path);
        if (!f.open(QIODevice::ReadOnly)) {
            r_.errors.append(QStringLiteral("%1 cannot be read: %2").arg(what, s.path));
            return false;
        }
        QByteArray bytes = f.readAll();
        if (bytes.startsWith("\xEF\xBB\xBF")) {  // a UTF-8 sitemap: the help file wants its titles in the code page
            const auto encoded = chm::encodeAnsi(QString::fromUtf8(bytes.mid(3)), cp_);
            if (!encoded) {
                r_.errors.append(QStringLiteral("%1 %2 holds characters that code page %3 cannot hold")
                                     .arg(what, s.path).arg(cp_.number));
                return false;
            }
            bytes = *encoded;
        }
        s.staged = stageSitemap(bytes, s.path, s.stored, p_.folder, cp_, stager_);
        for (const QString &m : std::as_const(s.staged.missing))
            r_.errors.append(QStringLiteral("page named in the %1 not found: %2").arg(what, m));
        for (const QString &d : std::as_const(s.staged.dropped))
            r_.warnings.append(QStringLiteral("%1 entry for \"%2\" has no page; it is kept as a heading").arg(what, d));
        return true;
    }

    // A file name written in the project (window fields, default topic, aliases) as the
    // help file records it: as written (with "/" for "\\") when that names the stored file,
    // else its stored name; its "#anchor" kept. Nothing when it names no file.
    std::optional<QString> writtenName(const QString &value) {
        const auto encoded = chm::encodeAnsi(value, cp_);
        const QByteArray raw = encoded ? *encoded : value.toUtf8();
        const TextEncoding encoding = encoded ? TextEncoding::Gbk : TextEncoding::Utf8;
        const auto found = resolveReference(raw, p_.folder, encoding, p_.folder);
        if (!found)
            return std::nullopt;
        QString staged = stager_.stage(found->path);
        if (staged.isEmpty())
            return std::nullopt;
        const QString suffix = encoded ? decodeGbk(found->suffix) : QString::fromUtf8(found->suffix);
        QString written = QString(value).trimmed().replace(u'\\', u'/');
        if (QDir::cleanPath(written.left(written.size() - suffix.size())) != staged)
            written = staged + suffix;
        recorded_.insert(written.left(written.size() - suffix.size()), staged);
        return written;
    }

    // Second names for the files that #SYSTEM and the windows name in the code page:
    // viewers on Windows look them up by their Unicode names (stored as UTF-8), but
    // CHMLib-based readers (xchm, kchmviewer, python3-chm) by the bytes as recorded. The
    // help compiler stores a window's contents file twice as well.
    QList<std::pair<QByteArray, QByteArray>> recordedNameAliases() const {
        QList<std::pair<QByteArray, QByteArray>> aliases;
        for (auto it = recorded_.begin(); it != recorded_.end(); ++it) {
            const QByteArray alias = QByteArray("/") + chm::encodeAnsiLossy(it.key(), cp_);
            const QByteArray stored = QByteArray("/") + it.value().toUtf8();
            bool known = alias == stored;
            for (const auto &a : std::as_const(aliases))
                known = known || a.first == alias;
            if (!known)
                aliases.append({alias, stored});
        }
        return aliases;
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

    // Rewrites the window definitions; returns the default topic.
    QString stageWindowsAndDefaultTopic(QList<WindowDefinition> &windows, const std::optional<ProjectSitemap> &contents,
                                        const std::optional<ProjectSitemap> &index) {
        const WindowDefinition *original = p_.defaultWindow();
        const qsizetype defaultIndex = original ? original - p_.windows.constData() : -1;
        QString defaultTopic;
        static const struct {
            int field;
            const char *label;
        } pageFields[] = {{WindowDefinition::Contents, "contents file"},
                          {WindowDefinition::Index, "index file"},
                          {WindowDefinition::DefaultTopic, "default topic"},
                          {WindowDefinition::Home, "home page"},
                          {WindowDefinition::Jump1Url, "jump 1 page"},
                          {WindowDefinition::Jump2Url, "jump 2 page"}};
        for (qsizetype i = 0; i < windows.size(); ++i) {
            WindowDefinition &w = windows[i];
            for (const auto &pf : pageFields) {
                const QString value = w.field(pf.field);
                if (value.isEmpty() || isExternalReference(value.toUtf8()))
                    continue;
                std::optional<QString> written;
                if (pf.field == WindowDefinition::Contents && contents && projectPath(value, p_.folder) == contents->path)
                    written = contents->written;
                else if (pf.field == WindowDefinition::Index && index && projectPath(value, p_.folder) == index->path)
                    written = index->written;
                else
                    written = writtenName(value);
                if (!written)
                    r_.warnings.append(QStringLiteral("window \"%1\": no file for its %2 \"%3\"")
                                           .arg(w.name, QLatin1String(pf.label), value));
                w.setField(pf.field, written.value_or(QString()));
            }
            if (i == defaultIndex)
                defaultTopic = w.field(WindowDefinition::DefaultTopic);
        }
        const QString option = p_.option(QStringLiteral("Default topic"));
        if (!option.isEmpty()) {
            if (const auto written = writtenName(option))
                defaultTopic = *written;
            else
                r_.warnings.append(QStringLiteral("default topic \"%1\" names no file; the first "
                                                  "contents entry is the default topic").arg(option));
        }
        if (defaultTopic.isEmpty() && contents)
            defaultTopic = contents->staged.firstPage;
        return defaultTopic;
    }

    QStringList stageAliases() {
        QStringList lines;
        for (const QString &line : p_.aliases) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq <= 0)
                continue;
            const QString target = line.mid(eq + 1).section(u';', 0, 0).trimmed();
            if (const auto written = writtenName(target))
                lines.append(line.left(eq).trimmed() + u'=' + *written);
            else
                r_.errors.append(QStringLiteral("[ALIAS] names a file that does not exist: %1").arg(target));
        }
        return lines;
    }

private:
    const HelpProject &p_;
    CompileResult &r_;
    Stager &stager_;
    const chm::AnsiCodePage &cp_;
    QHash<QString, QString> recorded_;  // names as the help file records them -> stored names
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

QString megabytes(qint64 bytes) {
    return QString::number(double(bytes) / (1 << 20), 'f', 1);
}

// A staged file as the help file stores it, and a page's title and text.
struct ReadFile {
    QByteArray bytes;
    bool isPage = false;
    ConvertedPage page;  // of a page: its title and text (its stored form is in bytes)
    PageKeywords keywords;
    QString error;       // set when the file could not be read
};

// Reads every staged file and converts the pages, on every core; nothing when a file cannot
// be read (the first in staging order is named) or the compilation is interrupted.
std::optional<std::vector<ReadFile>> readStagedFiles(const Stager &stager, const chm::AnsiCodePage &codePage,
                                                     int threads, ProgressLines &progress, CompileResult &r) {
    const size_t count = size_t(stager.fileCount());
    std::vector<ReadFile> read(count);
    std::atomic<size_t> finished{0};
    std::atomic<bool> stop{false};
    parallelFor(count, workerCount(threads, count), [&](size_t i, int worker) {
        if (stop)
            return;
        if (worker == 0)
            progress.report(QStringLiteral("hhc: read %1 of %2 files").arg(finished.load()).arg(count));
        if (interruption::requested()) {
            stop = true;
            return;
        }
        ReadFile &file = read[i];
        std::optional<QByteArray> bytes = stager.stagedBytes(qsizetype(i), &file.error);
        if (!bytes) {
            stop = true;
            return;
        }
        file.isPage = stager.isPage(qsizetype(i));
        if (file.isPage) {
            file.page = convertPage(*bytes, codePage);
            file.bytes = std::move(file.page.stored);
            file.keywords = readPageKeywords(file.bytes, codePage);
        } else {
            file.bytes = std::move(*bytes);
        }
        ++finished;
    });
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

    Stager stager(project.folder, codePage);
    Compilation c(project, r, stager, codePage);
    // The order in which the help compiler stores the files and numbers the topics: the
    // contents and index files, [FILES], the pages the contents and the index name, and
    // then what the pages link.
    auto contents = c.locateSitemap(QStringLiteral("Contents file"), WindowDefinition::Contents,
                                    QStringLiteral("contents file"));
    auto index = c.locateSitemap(QStringLiteral("Index file"), WindowDefinition::Index, QStringLiteral("index file"));
    const qsizetype sitemapFiles = stager.fileCount();
    c.stageListedFiles();
    const qsizetype listedFiles = stager.fileCount();
    if (contents)
        c.stageSitemapPages(*contents, QStringLiteral("contents file"));
    if (index)
        c.stageSitemapPages(*index, QStringLiteral("index file"));
    QList<WindowDefinition> windows = project.windows;
    r.defaultTopic = c.stageWindowsAndDefaultTopic(windows, contents, index);
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
    staged.binaryContents = isYes(project.option(QStringLiteral("Binary TOC")));
    staged.windows = windows;
    staged.defaultTopic = r.defaultTopic;
    staged.aliases = aliases;
    for (auto [sitemap, into] : {std::pair{&contents, &staged.contents}, std::pair{&index, &staged.index}}) {
        if (!*sitemap)
            continue;
        into->stored = (*sitemap)->stored;
        into->written = (*sitemap)->written;
        into->recorded = !(*sitemap)->windowNamesIt;
        into->objects = readSitemapObjects((*sitemap)->staged.text, codePage);
    }
    std::optional<std::vector<ReadFile>> read = readStagedFiles(stager, codePage, options.threads, progress, r);
    if (!read)
        return;
    // The topics: the pages [FILES] names, the contents and index files that a window names,
    // then the pages the contents and the index name, then those the pages link.
    QList<chm::StoredFile> files;
    QHash<QString, QString> pageTexts;  // for the full-text index, by stored name
    QList<HelpFilePage> laterPages;
    files.reserve(read->size() + 16);
    for (size_t i = 0; i < read->size(); ++i) {
        ReadFile &file = (*read)[i];
        const QString name = stager.stagedName(qsizetype(i));
        for (const auto &sitemap : {contents, index}) {
            if (sitemap && sitemap->stored == name)
                file.bytes = sitemap->staged.text;
        }
        if (file.isPage) {
            HelpFilePage page{name, file.page.title, stager.sourcePath(qsizetype(i)), file.keywords, false};
            if (staged.fullTextSearch)
                pageTexts.insert(name, std::move(file.page.text));
            (qsizetype(i) < listedFiles ? staged.topicFiles : laterPages).append(page);
        }
        // Pictures too: LZX still takes about 6% off LibreOffice's JPEG and PNG pictures, which
        // keeps real help files within a tenth of what other compilers make.
        files.append({QByteArray("/") + name.toUtf8(), std::move(file.bytes), true});
    }
    // A contents or index file that a window names is a topic of its own (without a title).
    for (qsizetype i = 0; i < sitemapFiles; ++i) {
        for (const auto &sitemap : {contents, index}) {
            if (sitemap && sitemap->windowNamesIt && sitemap->stored == stager.stagedName(i))
                staged.topicFiles.append({sitemap->stored, QString(), sitemap->path, {}, true});
        }
    }
    staged.topicFiles.append(laterPages);
    InternalFiles internal = writeInternalFiles(staged, codePage);
    r.warnings.append(internal.warnings);
    // The full-text index lies between the files the viewer opens the help file with and the
    // topic tables, as the help compiler stores them.
    qsizetype searchAt = 0;
    while (searchAt < internal.files.size() && internal.files[searchAt].name != "/#IDXHDR")
        ++searchAt;
    QList<chm::StoredFile> searchFiles;
    if (staged.fullTextSearch) {
        progress.report(QStringLiteral("hhc: indexing %1 pages for full-text search").arg(pageTexts.size()), true);
        QList<chm::SearchPage> search;
        search.reserve(pageTexts.size());
        // Title words are the page's own <title>, as HTML Help Workshop indexes them, not the
        // caption that stands in for a missing one.
        for (const HelpFilePage &page : std::as_const(staged.topicFiles)) {
            if (page.isSitemap)
                continue;
            search.append({internal.topicOf.value(page.name), page.title, pageTexts.take(page.name)});
        }
        chm::SearchOptions searchOptions;
        searchOptions.languageId = lcid;
        searchOptions.threads = options.threads;
        searchOptions.codePage = codePage.number;
        const QByteArray index = chm::buildFullTextSearch(search, searchOptions);
        if (index.isEmpty())
            r.warnings.append(QStringLiteral("no full-text search index could be made for code page %1").arg(codePage.number));
        else
            searchFiles.append({QByteArrayLiteral("/$FIftiMain"), index, true});
    } else {
        searchFiles.append({QByteArrayLiteral("/$FIftiMain"), QByteArray(), true});  // as HTML Help Workshop stores it
    }
    // A file that #SYSTEM or a window names is stored a second time under the bytes they
    // name it by, right after the first, where it compresses to almost nothing.
    for (const auto &[alias, original] : c.recordedNameAliases()) {
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (files[i].name == original) {
                files.insert(i + 1, {alias, files[i].data, true});
                break;
            }
        }
    }
    files.append(internal.files.mid(0, searchAt));
    files.append(searchFiles);
    files.append(internal.files.mid(searchAt));

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

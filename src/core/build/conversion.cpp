#include "conversion.h"

#include "atomicfile.h"
#include "build.h"
#include "builderror.h"
#include "documentoutline.h"
#include "fileops.h"
#include "helpproject.h"
#include "officepool.h"
#include "prompts.h"
#include "structuretree.h"
#include "textencoding.h"
#include "topicsplitter.h"
#include "wordhtml.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace zelbrin {

QString missingDocumentMessage(const QString &path) {
    return QStringLiteral("编译文件中缺少") + path + QStringLiteral("文件，请确认！");
}

DocumentConverter::DocumentConverter(OfficePool &office, UserPrompts &prompts, std::stop_token stop)
    : office_(office), prompts_(prompts), stop_(std::move(stop)) {}

QString DocumentConverter::parentFolder(const QString &folder) {
    int i = int(folder.size()) - 1;
    while (i >= 1 && folder.at(i - 1) != u'/')
        --i;
    return folder.left(i);
}

QString DocumentConverter::documentExtension(const QString &path) {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const int dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : asciiLower(name.mid(dot));
}

DocumentRoute DocumentConverter::routeOf(const QString &path) {
    const QString ext = documentExtension(path);
    if (ext == u".doc" || ext == u".docx" || ext == u".txt" || ext == u".odt")
        return DocumentRoute::Word;
    if (ext == u".htm" || ext == u".html")
        return DocumentRoute::Html;
    if (ext == u".xls" || ext == u".xlsx" || ext == u".ods")
        return DocumentRoute::Workbook;
    if (ext == u".ppt" || ext == u".pptx" || ext == u".odp")
        return DocumentRoute::Presentation;
    return DocumentRoute::None;
}

int DocumentConverter::countDocuments(const StructureModel &tree) {
    int count = 0;
    tree.forEach([&](const TreeNode *node) {
        if (!node->link.isEmpty())
            ++count;
        return true;
    });
    return count;
}

void DocumentConverter::setProgress(std::function<void(const ConversionProgress &)> report, int total) {
    progress_ = std::move(report);
    total_ = total;
    done_ = 0;
}

void DocumentConverter::reportStart(const QString &path) {
    ++done_;
    if (progress_)
        progress_({done_, total_, path.mid(path.lastIndexOf(u'/') + 1)});
}

void DocumentConverter::skipDocument(const QString &path, const QString &target,
                                     const DocumentFault &fault, const QString &pageText) {
    failed_.append({path, fault});
    writeStandInPage(target, pageText.isEmpty() ? QStringLiteral("无法转换文件：%1（%2）").arg(path, fault.reason)
                                                : pageText);
}

void DocumentConverter::writeStandInPage(const QString &target, const QString &text) {
    // The contents still name the page of a skipped document; a page that says why keeps
    // that entry from leading nowhere (and hhc from refusing the whole help file).
    if (QFileInfo::exists(target))
        return;
    const QString body = text.toHtmlEscaped();
    const QString html = QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" "
                                        "content=\"text/html; charset=gb2312\"><title>") +
                         body + QStringLiteral("</title></head><body><p>") + body +
                         QStringLiteral("</p></body></html>\r\n");
    QFile f(target);
    if (f.open(QIODevice::WriteOnly))
        f.write(encodeGbk(html).value_or(html.toUtf8()));
}

void DocumentConverter::setDefaultTopicOnce(const QString &page) {
    if (defaultTopic_.isEmpty())
        defaultTopic_ = page;
}

void DocumentConverter::convertTree(const StructureModel &tree, const QString &htmlFolder) {
    layout_.emplace(tree, topicSettings_);
    htmlFolder_ = htmlFolder;
    submitOfficeDocuments(tree);
    for (int i = 0; i < tree.topLevelCount(); ++i) {
        const TreeNode *node = tree.topLevel(i);
        if (node->hasChildren()) {
            convertBranch(node);
        } else {
            convertLinked(node, htmlFolder);
            if (!node->link.isEmpty())
                copySubfolders(node->link.left(node->link.lastIndexOf(u'/') + 1), htmlFolder);
        }
    }
}

void DocumentConverter::submitOfficeDocuments(const StructureModel &tree) {
    std::vector<OfficePool::Document> documents;
    tree.forEach([&](const TreeNode *node) {
        const DocumentRoute route = node->link.isEmpty() ? DocumentRoute::None : routeOf(node->link);
        // A missing or unreadable document is told about in its turn, and gets no office work.
        const QFileInfo source(node->link);
        if (isOfficeRoute(route) && source.isFile() && source.isReadable())
            documents.push_back({route, node->link, layout_->pageName(node),
                                 !node->topics.appliedTo(topicSettings_).isOff()});
        return true;
    });
    const std::vector<int> tickets = office_.submit(documents);
    for (size_t i = 0; i < documents.size(); ++i)
        submitted_.insert(documents[i].source, tickets[i]);
}

int DocumentConverter::ticketFor(DocumentRoute route, const QString &path, const QString &pageName) {
    return office_.submit(route, path, pageName, currentNode_ && !currentTopics_.isOff());
}

void DocumentConverter::placePage(const QString &madeFolder, const QString &folder) {
    // The page and its companions replace what an earlier document of the same page name
    // left, as the office would have when writing there itself.
    const QFileInfoList made = QDir(madeFolder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : made) {
        const QString target = folder + entry.fileName();
        const QFileInfo existing(target);
        if (existing.isDir() && !existing.isSymLink())
            deleteDirectory(target);
        else if (existing.exists() || existing.isSymLink())
            QFile::remove(target);
        if (!QDir().rename(entry.filePath(), target))
            throw BuildError(QStringLiteral("无法写入文件：") + target);
    }
    QDir().rmdir(madeFolder);
}

void DocumentConverter::convertBranch(const TreeNode *node) {
    const QString folder = htmlFolder_ + layout_->childFolder(node);
    if (!node->link.isEmpty())
        convertLinked(node, htmlFolder_ + layout_->folderOf(node));
    QString lastLink;
    for (int i = 0; i < node->childCount(); ++i) {
        const TreeNode *child = node->child(i);
        if (child->hasChildren()) {
            convertBranch(child);
        } else {
            lastLink = child->link;
            convertLinked(child, folder);
        }
    }
    // Only the last leaf's folder is carried along, whatever the earlier leaves linked.
    if (!lastLink.isEmpty())
        copySubfolders(lastLink.left(lastLink.lastIndexOf(u'/') + 1), folder);
}

void DocumentConverter::convertLinked(const TreeNode *node, const QString &folder) {
    currentNode_ = node;
    currentTopics_ = node->topics.appliedTo(topicSettings_);
    convertDocument(node->link, folder, layout_->pageName(node));
    currentNode_ = nullptr;
    currentTopics_ = {};
}

void DocumentConverter::splitIntoTopics(const QString &folder, const QString &pageName) {
    const QString target = folder + pageName;
    const QString sideFile = outlineFilePath(target);
    std::optional<DocumentOutline> outline;
    if (QFile side(sideFile); side.open(QIODevice::ReadOnly))
        outline = readOutline(side.readAll());
    QFile::remove(sideFile);
    // A page without a readable outline still gets its caption as title, as one page.
    const DocumentOutline read = outline.value_or(DocumentOutline{});
    QFile pageFile(target);
    if (!pageFile.open(QIODevice::ReadOnly))
        throw BuildError(QStringLiteral("无法读取文件：") + target, pageFile.errorString());
    const QByteArray page = withFirstHeadingAnchor(pageFile.readAll(), read);
    pageFile.close();
    const TopicSplit split = splitTopics(page, pageName, contentsCaption(currentNode_), read, currentTopics_.splitLevel);
    for (const TopicPage &part : split.pages) {
        QString error;
        if (!writeFileAtomically(folder + part.fileName, part.html, &error))
            throw BuildError(QStringLiteral("无法写入文件：") + folder + part.fileName, error);
    }
    // Every page of a split document has its contents entry, else only its neighbours'
    // links would lead there.
    const int depth = std::max(currentTopics_.contentsDepth, currentTopics_.splitLevel);
    topics_.insert(currentNode_, {topicContents(read, split, depth),
                                  topicKeywords(read, split, currentTopics_.indexKeywords,
                                                currentTopics_.headingKeywords)});
}

// A page's title is what the viewer's window, search results and Favorites show: the
// caption the user gave, not the document's own title property, which is often a
// template's ("The quick brown fox…" on page after page).
void DocumentConverter::titleWithCaption(const QString &target) {
    QFile file(target);
    if (!file.open(QIODevice::ReadOnly))
        throw BuildError(QStringLiteral("无法读取文件：") + target, file.errorString());
    const QByteArray page = file.readAll();
    file.close();
    const QByteArray titled = withPageTitle(page, contentsCaption(currentNode_));
    QString error;
    if (titled != page && !writeFileAtomically(target, titled, &error))
        throw BuildError(QStringLiteral("无法写入文件：") + target, error);
}

void DocumentConverter::convertDocument(const QString &path, const QString &folder, const QString &pageName) {
    throwIfInterrupted(stop_);
    const QString ext = documentExtension(path);
    QDir().mkpath(folder);
    if (path.isEmpty())
        return;
    const DocumentRoute route = routeOf(path);
    const QString target = folder + pageName;
    // Tickets of one link were handed in in tree order; the earliest is this turn's.
    int ticket = -1;
    if (const QList<int> tickets = submitted_.values(path); !tickets.isEmpty()) {
        ticket = *std::min_element(tickets.begin(), tickets.end());
        submitted_.remove(path, ticket);
    }

    const QFileInfo source(path);
    if (!source.exists()) {
        reportStart(path);
        // Told once, also for a workbook or presentation that the office would try again.
        prompts_.notice(missingDocumentMessage(path));
        skipDocument(path, target, {kDocumentMissing, {}}, missingDocumentMessage(path));
        return;
    }
    if (!source.isFile() || route == DocumentRoute::None || !source.isReadable()) {
        reportStart(path);
        skipDocument(path, target,
                     {!source.isFile() ? kNotADocument : route == DocumentRoute::None ? kKindNotConverted : kDocumentUnreadable, {}});
        return;
    }

    if (route == DocumentRoute::Html) {
        reportStart(path);
        QFile::remove(target);
        if (!QFile::copy(path, target))
            throw BuildError(QStringLiteral("无法复制文件：") + path + QStringLiteral(" → ") + target);
        cleanWordHtml(target);
        setDefaultTopicOnce(target);
        return;
    }
    if (ticket < 0)
        ticket = ticketFor(route, path, pageName);
    // An office that starts for this document is told before its count, which would
    // otherwise give way to the start's messages.
    office_.settleStarts(ticket);
    reportStart(path);
    if (route == DocumentRoute::Word)
        setDefaultTopicOnce(target);
    const OfficePool::Result result = office_.take(ticket);
    switch (result.outcome) {
    case OfficePool::Result::Outcome::Made:
        placePage(result.folder, folder);
        if (route == DocumentRoute::Word && ext != u".txt")
            cleanWordHtml(target);
        if (currentNode_ && !currentTopics_.isOff())
            splitIntoTopics(folder, pageName);
        else if (currentNode_)
            titleWithCaption(target);
        return;
    case OfficePool::Result::Outcome::Failed:
        // An earlier page of this name goes, as Excel deletes it before each attempt.
        if (route == DocumentRoute::Workbook)
            QFile::remove(target);
        skipDocument(path, target, result.fault);
        return;
    case OfficePool::Result::Outcome::Error:
        if (result.officeStartFailed)
            throw OfficeStartError(result.error, result.errorDetail);
        if (result.officeFault)
            throw OfficeError(result.error, result.errorDetail);
        throw BuildError(result.error, result.errorDetail);
    }
}

}  // namespace zelbrin

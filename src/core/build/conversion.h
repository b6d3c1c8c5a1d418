#pragma once

#include "helpproject.h"
#include "officesession.h"
#include "topiccontents.h"
#include "topicsettings.h"

#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <stop_token>

namespace zelbrin {

class OfficePool;
class StructureModel;
struct ConversionProgress;
class TreeNode;
class UserPrompts;

// Turns the documents that the structure tree links into HTML pages at exactly the
// page paths that the contents and index files name (PageLayout in helpproject.h).
// A document that cannot be converted through its own fault (missing, damaged, protected,
// no document at all) gets a page that says so and is listed in failedDocuments(); the
// build goes on.
//
// Everything that lands in the HTML folder (pages, copies, stand-in pages, carried
// folders), every notice and the progress happen in tree order on the calling thread, so
// that a build with several offices writes what a build with one writes. Only the office
// work runs ahead: convertTree hands every office document to the pool first, and each
// document's turn then waits for its page.
class DocumentConverter {
public:
    // Ends with BuildError between documents once stop is requested.
    DocumentConverter(OfficePool &office, UserPrompts &prompts, std::stop_token stop = {});

    // The project's settings for splitting documents into topics, which each document's
    // own override refines; everything off (the default) gives one page per document.
    void setTopicSettings(const TopicSettings &project) { topicSettings_ = project; }
    // The whole tree into htmlFolder: each top-level node as a branch or a document, a
    // top-level document with its folders carried along.
    void convertTree(const StructureModel &tree, const QString &htmlFolder);
    // Converts the node's own link into its folder and its children into the node's
    // catalog folder, carrying the last leaf's document folders along (within convertTree).
    void convertBranch(const TreeNode *node);
    // Converts one document into folder, as the page pageName, by its extension; creates
    // folder in any case.
    void convertDocument(const QString &path, const QString &folder, const QString &pageName);

    // Reports each document as its conversion begins, counting up to total.
    void setProgress(std::function<void(const ConversionProgress &)> report, int total);
    // The first page made from a Word-route or HTML document: the one the help file opens
    // first. Empty while there is none.
    const QString &defaultTopic() const { return defaultTopic_; }
    // Linked documents that got a stand-in page, in order.
    const QList<FailedDocument> &failedDocuments() const { return failed_; }
    // What the outlines of the documents converted with topic settings on gave.
    const DocumentTopicsMap &documentTopics() const { return topics_; }
    // The documents a build of tree converts: every link that is not empty.
    static int countDocuments(const StructureModel &tree);

    // The folder one level up, with its trailing "/".
    static QString parentFolder(const QString &folder);
    // The extension from the last "." of the file name, A-Z lowered; "" when none.
    static QString documentExtension(const QString &path);

    static DocumentRoute routeOf(const QString &path);

private:
    // Hands the office documents below nodes to the pool, in tree order.
    void submitOfficeDocuments(const StructureModel &tree);
    int ticketFor(DocumentRoute route, const QString &path, const QString &pageName);
    void placePage(const QString &madeFolder, const QString &folder);
    // Converts node's document as its page pageName in folder, with its topic settings.
    void convertLinked(const TreeNode *node, const QString &folder);
    // Reads the outline beside the placed page (and removes it, so that it stays out of the
    // help file), cuts the page into topics and keeps what they give the contents and index.
    void splitIntoTopics(const QString &folder, const QString &pageName);
    void titleWithCaption(const QString &target);
    // Lists the document as failed and writes the page that says why.
    void skipDocument(const QString &path, const QString &target, const DocumentFault &fault,
                      const QString &pageText = {});
    void writeStandInPage(const QString &target, const QString &text);
    void setDefaultTopicOnce(const QString &page);
    void reportStart(const QString &path);

    OfficePool &office_;
    std::optional<PageLayout> layout_;
    QString htmlFolder_;
    // Tickets of the documents handed in ahead, by link, first in first out.
    QMultiHash<QString, int> submitted_;
    QString defaultTopic_;
    UserPrompts &prompts_;
    std::stop_token stop_;
    std::function<void(const ConversionProgress &)> progress_;
    int total_ = 0;
    int done_ = 0;
    QList<FailedDocument> failed_;
    TopicSettings topicSettings_;
    // The document being converted and its settings, while convertDocument runs for it.
    const TreeNode *currentNode_ = nullptr;
    TopicSettings currentTopics_;
    DocumentTopicsMap topics_;
};

// "编译文件中缺少" + path + "文件，请确认！"
QString missingDocumentMessage(const QString &path);

}  // namespace zelbrin

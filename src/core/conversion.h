#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace zelbrin {

class OfficeSession;
class StructureModel;
struct ConversionProgress;
class TreeNode;
class TZLPProject;
class UserPrompts;

// Turns the documents that the structure tree links into HTML pages at exactly the
// page paths that the contents and index files name (pagePath in helpproject.h).
class DocumentConverter {
public:
    DocumentConverter(OfficeSession &office, TZLPProject &project, UserPrompts &prompts);

    // Converts the node's own link into parentFolder and its children into the node's
    // own (mapped) catalog folder, carrying the last leaf's document folders along.
    void ConvertBranch(const TreeNode *node, const QString &parentFolder);
    // Converts one document into folder by its extension; creates folder in any case.
    void ConvertDocument(const QString &path, const QString &folder);

    // Reports each document as its conversion begins, counting up to total.
    void setProgress(std::function<void(const ConversionProgress &)> report, int total);
    // Linked documents that got a stand-in page (missing, or not convertible), in order.
    const QStringList &failedDocuments() const { return failed_; }
    // The documents a build of tree converts: every link of a kind the conversion handles.
    static int countDocuments(const StructureModel &tree);

    // One attempt each; false when the office could not save the page.
    bool ConvertExcelToHtml(const QString &source, const QString &target);
    bool ConvertPowerPointToHtml(const QString &source, const QString &target);

    // The folder one level up, with its trailing "/".
    static QString ParentFolder(const QString &folder);
    // The extension from the last "." of the file name, A-Z lowered; "" when none.
    static QString DocumentExtension(const QString &path);

    // How a document becomes a page, by its extension.
    enum class Route { None, Word, Html, Workbook, Presentation };
    static Route routeOf(const QString &path);

    // Attempts per workbook or presentation; the pause after a failed presentation.
    int officeAttempts = 5;
    int presentationRetryPauseMs = 1000;

private:
    void missingDocument(const QString &path);
    void writeStandInPage(const QString &target, const QString &text);
    void setDefaultTopicOnce(const QString &page);
    void reportStart(const QString &path);

    OfficeSession &office_;
    TZLPProject &project_;
    UserPrompts &prompts_;
    std::function<void(const ConversionProgress &)> progress_;
    int total_ = 0;
    int done_ = 0;
    QStringList failed_;
};

// "编译文件中缺少" + path + "文件，请确认！"
QString missingDocumentMessage(const QString &path);

}  // namespace zelbrin

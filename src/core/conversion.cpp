#include "conversion.h"

#include "build.h"
#include "builderror.h"
#include "fileops.h"
#include "gbk.h"
#include "helpproject.h"
#include "officesession.h"
#include "prompts.h"
#include "structuretree.h"
#include "wordhtml.h"
#include "zlpproject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace zelbrin {

QString missingDocumentMessage(const QString &path) {
    return QStringLiteral("编译文件中缺少") + path + QStringLiteral("文件，请确认！");
}

DocumentConverter::DocumentConverter(OfficeSession &office, TZLPProject &project,
                                     UserPrompts &prompts)
    : office_(office), project_(project), prompts_(prompts) {}

QString DocumentConverter::ParentFolder(const QString &folder) {
    int i = int(folder.size()) - 1;
    while (i >= 1 && folder.at(i - 1) != u'/')
        --i;
    return folder.left(i);
}

QString DocumentConverter::DocumentExtension(const QString &path) {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const int dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : asciiLower(name.mid(dot));
}

DocumentConverter::Route DocumentConverter::routeOf(const QString &path) {
    const QString ext = DocumentExtension(path);
    if (ext == u".doc" || ext == u".docx" || ext == u".txt" || ext == u".odt")
        return Route::Word;
    if (ext == u".htm" || ext == u".html")
        return Route::Html;
    if (ext == u".xls" || ext == u".xlsx" || ext == u".ods")
        return Route::Workbook;
    if (ext == u".ppt" || ext == u".pptx" || ext == u".odp")
        return Route::Presentation;
    return Route::None;
}

int DocumentConverter::countDocuments(const StructureModel &tree) {
    int count = 0;
    tree.forEach([&](const TreeNode *node) {
        if (!node->link.isEmpty() && routeOf(node->link) != Route::None)
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

void DocumentConverter::missingDocument(const QString &path) {
    prompts_.notice(missingDocumentMessage(path));
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
    if (project_.DefaultTopic.isEmpty())
        project_.DefaultTopic = page;
}

void DocumentConverter::ConvertBranch(const TreeNode *node, const QString &parentFolder) {
    const QString folder = parentFolder + safeFolderName(node->caption) + u'/';
    if (!node->link.isEmpty())
        ConvertDocument(node->link, ParentFolder(folder));
    QString lastLink;
    for (int i = 0; i < node->childCount(); ++i) {
        const TreeNode *child = node->child(i);
        if (child->hasChildren()) {
            ConvertBranch(child, folder);
        } else {
            lastLink = child->link;
            ConvertDocument(child->link, folder);
        }
    }
    // Only the last leaf's folder is carried along, whatever the earlier leaves linked.
    if (!lastLink.isEmpty())
        CopySubfolders(lastLink.left(lastLink.lastIndexOf(u'/') + 1), folder);
}

void DocumentConverter::ConvertDocument(const QString &path, const QString &folder) {
    throwIfInterrupted();
    const QString ext = DocumentExtension(path);
    const Route route = path.isEmpty() ? Route::None : routeOf(path);
    QDir().mkpath(folder);
    const QString target = folder + pageFileName(path);
    if (route != Route::None)
        reportStart(path);

    if (route == Route::Word) {
        if (!QFileInfo(path).isFile()) {
            missingDocument(path);
            failed_.append(path);
            writeStandInPage(target, missingDocumentMessage(path));
            return;
        }
        setDefaultTopicOnce(target);
        office_.convertWordDocument(path, target);
        if (ext != u".txt")
            CleanWordHtml(target);
    } else if (route == Route::Html) {
        // A missing page cannot be copied; say which one instead of failing later.
        if (!QFileInfo(path).isFile())
            throw BuildError(missingDocumentMessage(path));
        QFile::remove(target);
        if (!QFile::copy(path, target))
            throw BuildError(QStringLiteral("无法复制文件：") + path + QStringLiteral(" → ") + target);
        CleanWordHtml(target);
        setDefaultTopicOnce(target);
    } else if (route == Route::Workbook || route == Route::Presentation) {
        // A missing workbook or presentation is reported once, not once per attempt.
        if (!QFileInfo(path).isFile()) {
            missingDocument(path);
            failed_.append(path);
            writeStandInPage(target, missingDocumentMessage(path));
            return;
        }
        const bool workbook = route == Route::Workbook;
        for (int attempt = 0; attempt < officeAttempts; ++attempt) {
            if (workbook ? ConvertExcelToHtml(path, target) : ConvertPowerPointToHtml(path, target))
                return;
        }
        failed_.append(path);
        writeStandInPage(target, QStringLiteral("无法转换文件：") + path);
    }
}

bool DocumentConverter::ConvertExcelToHtml(const QString &source, const QString &target) {
    if (QFileInfo::exists(target))
        QFile::remove(target);
    if (!QFileInfo(source).isFile()) {
        missingDocument(source);
        return false;
    }
    return office_.convertWorkbook(source, target);
}

bool DocumentConverter::ConvertPowerPointToHtml(const QString &source, const QString &target) {
    if (!QFileInfo(source).isFile()) {
        missingDocument(source);
        return false;
    }
    if (office_.convertPresentation(source, target))
        return true;
    QThread::msleep(ulong(presentationRetryPauseMs));
    return false;
}

}  // namespace zelbrin

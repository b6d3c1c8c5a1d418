#include "zlpproject.h"

#include "projectwindow.h"
#include "structuretree.h"

#include <QFileInfo>

namespace zelbrin {

const QString kApplicationTitle = QStringLiteral("Zelbrin");

TreeNode *addNodeToModel(StructureModel &model, TreeNode *parent, const QString &caption,
                         bool isCatalog, const QString &link, bool *madeCatalog) {
    const bool catalog = link.isEmpty() || isCatalog;
    TreeNode *node = model.append(parent, caption.isEmpty() ? kNewCatalogCaption : caption, link,
                                  catalog ? ImageIndex::Catalog : ImageIndex::Page);
    if (madeCatalog)
        *madeCatalog = catalog;
    return node;
}

TZLPProject::TZLPProject(ProjectWindow &window) : window_(window) {}

QString TZLPProject::ExtractProjectName(const QString &path) {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    return name.size() <= 4 ? QString() : name.left(name.size() - 4);
}

QString TZLPProject::ProjectDirectory() const {
    const int slash = FileName.lastIndexOf(u'/');
    return slash < 0 ? QString() : FileName.left(slash + 1);
}

void TZLPProject::NewProject() {
    FileName.clear();
    Modified = true;
    Closed = false;
    Topics = {};
    window_.structureTree().clear();
    window_.setWindowCaption(kApplicationTitle + QStringLiteral(" - 未命名"));
}

void TZLPProject::CloseProject() {
    FileName.clear();
    Modified = false;
    Closed = true;
    Topics = {};
    window_.structureTree().clear();
    window_.setWindowCaption(kApplicationTitle);
}

void TZLPProject::SetWorkCatalog(const QString &folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    WorkCatalog = folder;
    window_.refreshFileList();
}

namespace {
bool isNameStart(char32_t c) {
    return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}
bool isNameChar(char32_t c) {
    return isNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}
}  // namespace

bool isXmlName(const QString &name) {
    const QList<uint> chars = name.toUcs4();
    if (chars.isEmpty() || !isNameStart(chars.front()))
        return false;
    for (uint c : chars)
        if (!isNameChar(c))
            return false;
    return true;
}

}  // namespace zelbrin

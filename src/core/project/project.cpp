#include "project.h"

#include "atomicfile.h"
#include "projectfile.h"
#include "prompts.h"
#include "structuretree.h"

#include <QFile>
#include <QFileInfo>

namespace zelbrin {

const QString kApplicationTitle = QStringLiteral("Zelbrin");

Project::Project(QObject *parent) : QObject(parent), tree_(new StructureModel(this)) {}

Project::~Project() = default;

QString Project::nameOf(const QString &path) {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    return name.size() <= 4 ? QString() : name.left(name.size() - 4);
}

QString Project::directory() const {
    const int slash = fileName_.lastIndexOf(u'/');
    return slash < 0 ? QString() : fileName_.left(slash + 1);
}

QString Project::caption() const {
    if (!fileName_.isEmpty())
        return kApplicationTitle + QStringLiteral(" - ") + name();
    return open_ ? kApplicationTitle + QStringLiteral(" - 未命名") : kApplicationTitle;
}

void Project::setFileName(const QString &path) {
    fileName_ = path;
    emit captionChanged(caption());
}

// A new project counts as modified from the start; a closed one has nothing to save.
void Project::startOver(bool open) {
    modified_ = open;
    open_ = open;
    topics_ = {};
    tree_->clear();
    setFileName({});
}

void Project::setWorkCatalog(const QString &folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    workCatalog_ = folder;
    emit workCatalogChanged(folder);
}

Project::SaveOutcome Project::save(UserPrompts &prompts, const QString &target) {
    if (fileName_.isEmpty() && target.isEmpty())
        return SaveOutcome::NoFileName;
    if (!target.isEmpty() && QFileInfo::exists(target) &&
        prompts.ask(QStringLiteral("文件已经存在！是否覆盖？"), false) != UserPrompts::Answer::Yes)
        return SaveOutcome::Declined;
    const QString path = target.isEmpty() ? fileName_ : target;
    const QString rootName = nameOf(path);
    if (!isXmlName(rootName)) {
        prompts.notice(QStringLiteral("保存文件时发生错误：工程名称“%1”不是合法的XML名称，"
                                      "请换用以字母或汉字开头、不含空格和括号的文件名。")
                           .arg(rootName),
                       UserPrompts::Icon::Error);
        return SaveOutcome::InvalidName;
    }
    const QByteArray bytes = serializeProject(rootName, workCatalog_, *tree_, topics_);
    // A failed write must never leave a truncated project behind.
    QString error;
    if (!writeFileAtomically(path, bytes, &error)) {
        prompts.notice(QStringLiteral("保存文件时发生错误：") + error);
        return SaveOutcome::Failed;
    }
    modified_ = false;
    setFileName(path);
    return SaveOutcome::Written;
}

Project::OpenOutcome Project::open(const QString &path) {
    const QFileInfo info(path);
    const int dot = path.lastIndexOf(u'.');
    const QString ext = dot < 0 ? QString() : asciiLower(path.mid(dot));
    if (!info.isFile() || ext != QStringLiteral(".zlp"))
        return OpenOutcome::NotAProject;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return OpenOutcome::Unreadable;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return OpenOutcome::Unreadable;
    const std::optional<ParsedProject> project = parseProject(bytes);
    if (!project)
        return OpenOutcome::Unreadable;
    if (project->tooDeep)
        return OpenOutcome::TooDeep;

    modified_ = false;
    if (project->hasWorkCatalog)
        setWorkCatalog(project->workCatalog);
    else
        workCatalog_.clear();
    tree_->clear();
    loadItems(*tree_, project->items);
    topics_ = project->topics;
    open_ = true;
    setFileName(path);
    return OpenOutcome::Read;
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

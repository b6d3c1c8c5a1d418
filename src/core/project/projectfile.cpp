// Reading and writing the .zlp project file.
#include "projectfile.h"

#include "structuretree.h"

#include <QFile>
#include <QFileInfo>

#include <pugixml.hpp>

#include <cstring>
#include <vector>

namespace zelbrin {
namespace {

struct ByteWriter : pugi::xml_writer {
    QByteArray bytes;
    void write(const void *data, size_t size) override {
        bytes.append(static_cast<const char *>(data), qsizetype(size));
    }
};

std::string utf8(const QString &s) { return s.toStdString(); }
QString fromUtf8(const char *s) { return QString::fromUtf8(s); }

// The concatenated text of a node's descendants, as the DOM's text property gives it.
// pugixml walks without recursion, so no nesting can exhaust the stack here.
QString nodeText(const pugi::xml_node &node) {
    struct TextCollector : pugi::xml_tree_walker {
        QString text;
        bool for_each(pugi::xml_node &n) override {
            if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
                text += fromUtf8(n.value());
            return true;
        }
    } collector;
    pugi::xml_node walked = node;
    walked.traverse(collector);
    return collector.text;
}

bool isItem(const pugi::xml_node &n) {
    return n.type() == pugi::node_element && std::strcmp(n.name(), "Item") == 0;
}

// The first Item at or after n among its siblings.
pugi::xml_node itemFrom(pugi::xml_node n) {
    while (n && !isItem(n))
        n = n.next_sibling();
    return n;
}

// The Item elements below container, parents first; other elements and their content are
// skipped. Walks without recursion and stops at the first level deeper than the limit.
QList<ProjectItem> collectItems(const pugi::xml_node &container, bool *tooDeep) {
    QList<ProjectItem> items;
    qsizetype parent = -1;
    int depth = 1;
    for (pugi::xml_node n = itemFrom(container.first_child()); n;) {
        if (depth > kMaxTreeDepth) {
            *tooDeep = true;
            return {};
        }
        const pugi::xml_node child = itemFrom(n.first_child());
        items.append({fromUtf8(n.attribute("Caption").value()),
                      fromUtf8(n.attribute("FullDir").value()), parent, bool(child),
                      readTopicAttributes(n)});
        if (child) {
            parent = items.size() - 1;
            ++depth;
            n = child;
            continue;
        }
        pugi::xml_node next = itemFrom(n.next_sibling());
        while (!next && parent >= 0) {
            n = n.parent();
            parent = items[parent].parent;
            --depth;
            next = itemFrom(n.next_sibling());
        }
        n = next;
    }
    return items;
}

}  // namespace

void saveNode(const TreeNode *node, pugi::xml_node parent) {
    pugi::xml_node item = parent.append_child("Item");
    item.append_attribute("Caption").set_value(utf8(node->caption).c_str());
    item.append_attribute("FullDir").set_value(utf8(node->link).c_str());
    writeTopicAttributes(item, node->topics);
    for (int i = 0; i < node->childCount(); ++i)
        saveNode(node->child(i), item);
}

QByteArray serializeProject(const QString &rootName, const QString &workCatalog,
                            const StructureModel &tree, const TopicSettings &topics) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child(utf8(rootName).c_str());
    pugi::xml_node wc = root.append_child("WorkCatalog");
    if (!workCatalog.isEmpty())
        wc.append_child(pugi::node_pcdata).set_value(utf8(workCatalog).c_str());
    pugi::xml_node items = root.append_child("Items");
    for (int i = 0; i < tree.topLevelCount(); ++i)
        saveNode(tree.topLevel(i), items);
    if (!topics.isOff())
        writeTopicAttributes(root.append_child(kTopicSettingsElement), projectTopicAttributes(topics));
    ByteWriter w;
    doc.save(w, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return w.bytes;
}

std::optional<ParsedProject> parseProject(const QByteArray &bytes) {
    pugi::xml_document doc;
    const unsigned flags = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments |
                           pugi::parse_pi | pugi::parse_doctype;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(bytes.constData(), size_t(bytes.size()), flags, pugi::encoding_auto);
    const pugi::xml_node root = doc.first_child();
    if (!parsed || !root)
        return std::nullopt;
    ParsedProject project;
    // The root is the first node whatever it is: a file that starts with a declaration,
    // comment or processing instruction has no WorkCatalog or Items under it.
    if (root.type() != pugi::node_element)
        return project;
    if (const pugi::xml_node workCatalog = root.child("WorkCatalog")) {
        project.hasWorkCatalog = true;
        project.workCatalog = nodeText(workCatalog);
    }
    project.items = collectItems(root.child("Items"), &project.tooDeep);
    if (const pugi::xml_node topics = root.child(kTopicSettingsElement))
        project.topics = readTopicAttributes(topics).appliedTo({});
    return project;
}

void loadItems(StructureModel &tree, const QList<ProjectItem> &items) {
    std::vector<TreeNode *> nodes;
    nodes.reserve(size_t(items.size()));
    for (const ProjectItem &item : items) {
        nodes.push_back(tree.addNode(item.parent < 0 ? nullptr : nodes[size_t(item.parent)],
                                     item.caption, item.hasItems, item.link));
        nodes.back()->topics = item.topics;
    }
}

QString tooDeepProjectMessage(const QString &path) {
    return QStringLiteral("无法打开工程文件：%1\n其中的目录层次超过%2层，本程序最多支持%2层。")
        .arg(path)
        .arg(kMaxTreeDepth);
}

QString tooDeepTreeMessage() {
    return QStringLiteral("目录层次不能超过%1层！").arg(kMaxTreeDepth);
}

}  // namespace zelbrin

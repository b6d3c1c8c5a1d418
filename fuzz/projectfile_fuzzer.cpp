// The project file reader: what Open reads into the tree, and what Save writes of that
// tree, which must read back to the same tree.
#include "fuzzsupport.h"
#include "projectfile.h"
#include "structuretree.h"

using namespace zelbrin;

namespace {

bool sameTree(const StructureModel &a, const StructureModel &b) {
    std::vector<const TreeNode *> left, right;
    a.forEach([&](TreeNode *n) { left.push_back(n); return true; });
    b.forEach([&](TreeNode *n) { right.push_back(n); return true; });
    if (left.size() != right.size())
        return false;
    for (size_t i = 0; i < left.size(); ++i) {
        const TreeNode *l = left[i], *r = right[i];
        if (l->caption != r->caption || l->link != r->link || l->imageIndex != r->imageIndex ||
            l->childCount() != r->childCount() || l->topics != r->topics)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<ParsedProject> parsed = parseProject(bytes);
    if (!parsed || parsed->tooDeep)
        return 0;
    for (qsizetype i = 0; i < parsed->items.size(); ++i)
        fuzz::check(parsed->items[i].parent < i, "an item comes after its parent");

    StructureModel tree;
    loadItems(tree, parsed->items);

    const QByteArray saved =
        serializeProject(QStringLiteral("P"), parsed->workCatalog, tree, parsed->topics);
    const std::optional<ParsedProject> reread = parseProject(saved);
    fuzz::check(reread.has_value(), "a saved project reads back");
    fuzz::check(reread->topics == parsed->topics, "saved topic settings read back unchanged");
    StructureModel rereadTree;
    loadItems(rereadTree, reread->items);
    fuzz::check(sameTree(tree, rereadTree),
                "a saved tree reads back unchanged");
    return 0;
}

#include "treecommands.h"

#include "project.h"
#include "structuretree.h"

#include <algorithm>

namespace zelbrin::ui {

NodePlace placeOf(const TreeNode *node) {
    NodePlace place;
    for (; node; node = node->parent())
        place.push_back(node->row());
    std::reverse(place.begin(), place.end());
    return place;
}

std::unique_ptr<TreeNode> makeNode(const QString &caption, const QString &link, int imageIndex) {
    auto node = std::make_unique<TreeNode>();
    node->caption = caption;
    node->link = link;
    node->imageIndex = imageIndex;
    return node;
}

namespace {

// The node at place (null for the empty place, the top level). False when the place
// names no node: the tree was changed outside the commands, and the command then leaves
// it alone rather than guess.
bool resolve(const StructureModel &model, const NodePlace &place, TreeNode *&node) {
    TreeNode *n = nullptr;
    for (int row : place) {
        n = model.childAt(n, row);
        if (!n)
            return false;
    }
    node = n;
    return true;
}

NodePlace parentPlace(const NodePlace &place) { return {place.begin(), place.end() - 1}; }

// Takes the node at `from` out and puts it in at row of the node at `toParent`, which is
// looked up once the node is out. Returns false and changes nothing when a place is gone.
bool moveBetween(StructureModel &model, const NodePlace &from, const NodePlace &toParent,
                 int row) {
    TreeNode *node = nullptr;
    if (from.empty() || !resolve(model, from, node))
        return false;
    std::unique_ptr<TreeNode> owned = model.take(node);
    TreeNode *parent = nullptr;
    if (!resolve(model, toParent, parent)) {
        TreeNode *home = nullptr;
        resolve(model, parentPlace(from), home);
        model.insert(home, from.back(), std::move(owned));
        return false;
    }
    model.insert(parent, row, std::move(owned));
    return true;
}

// Puts a detached subtree in at a row of a parent (the end when row is negative).
class InsertNode : public QUndoCommand {
public:
    InsertNode(StructureModel &model, TreeNode *parent, std::unique_ptr<TreeNode> node,
               QUndoCommand *group)
        : QUndoCommand(group), model_(model), parentOnFirstRun_(parent), owned_(std::move(node)) {}

    void redo() override {
        TreeNode *parent = nullptr;
        if (firstRun_) {
            firstRun_ = false;
            parent_ = placeOf(parentOnFirstRun_);
            parent = parentOnFirstRun_;
            row_ = model_.childCount(parent);
        } else if (!resolve(model_, parent_, parent)) {
            return;
        }
        if (owned_)
            model_.insert(parent, row_, std::move(owned_));
    }
    void undo() override {
        TreeNode *parent = nullptr;
        if (resolve(model_, parent_, parent))
            if (TreeNode *node = model_.childAt(parent, row_))
                owned_ = model_.take(node);
    }

private:
    StructureModel &model_;
    TreeNode *parentOnFirstRun_;
    bool firstRun_ = true;
    NodePlace parent_;
    int row_ = 0;
    std::unique_ptr<TreeNode> owned_;
};

// Takes a node with its descendants out of the tree, keeping them for the undo.
class TakeNode : public QUndoCommand {
public:
    TakeNode(StructureModel &model, TreeNode *node, QUndoCommand *group)
        : QUndoCommand(group), model_(model), nodeOnFirstRun_(node) {}

    void redo() override {
        if (nodeOnFirstRun_) {
            place_ = placeOf(nodeOnFirstRun_);
            nodeOnFirstRun_ = nullptr;
        }
        TreeNode *node = nullptr;
        if (!place_.empty() && resolve(model_, place_, node))
            owned_ = model_.take(node);
    }
    void undo() override {
        TreeNode *parent = nullptr;
        if (owned_ && resolve(model_, parentPlace(place_), parent))
            model_.insert(parent, place_.back(), std::move(owned_));
    }

private:
    StructureModel &model_;
    TreeNode *nodeOnFirstRun_;
    NodePlace place_;
    std::unique_ptr<TreeNode> owned_;
};

// Moves a node with its descendants to a row of another parent; the row counts in the
// tree without the node (negative: the end).
class MoveNode : public QUndoCommand {
public:
    MoveNode(StructureModel &model, TreeNode *node, TreeNode *newParent, int row,
             QUndoCommand *group)
        : QUndoCommand(group), model_(model), nodeOnFirstRun_(node), parentOnFirstRun_(newParent),
          row_(row) {}

    void redo() override {
        if (!nodeOnFirstRun_) {
            moveBetween(model_, from_, toParent_, row_);
            return;
        }
        from_ = placeOf(nodeOnFirstRun_);
        std::unique_ptr<TreeNode> owned = model_.take(nodeOnFirstRun_);
        toParent_ = placeOf(parentOnFirstRun_);
        if (row_ < 0)
            row_ = model_.childCount(parentOnFirstRun_);
        model_.insert(parentOnFirstRun_, row_, std::move(owned));
        nodeOnFirstRun_ = parentOnFirstRun_ = nullptr;
    }
    void undo() override {
        NodePlace to = toParent_;
        to.push_back(row_);
        moveBetween(model_, to, parentPlace(from_), from_.back());
    }

private:
    StructureModel &model_;
    TreeNode *nodeOnFirstRun_, *parentOnFirstRun_;
    int row_;
    NodePlace from_, toParent_;
};

// Sets a node's caption, link and topic choices together, one step for the undo.
class SetProperties : public QUndoCommand {
public:
    struct Values {
        QString caption, link;
        TopicOverride topics;
    };
    SetProperties(StructureModel &model, const QString &text, TreeNode *node, Values values)
        : QUndoCommand(text), model_(model), nodeOnFirstRun_(node), new_(std::move(values)) {}

    void redo() override {
        if (nodeOnFirstRun_) {
            place_ = placeOf(nodeOnFirstRun_);
            old_ = {nodeOnFirstRun_->caption, nodeOnFirstRun_->link, nodeOnFirstRun_->topics};
            nodeOnFirstRun_ = nullptr;
        }
        apply(new_);
    }
    void undo() override { apply(old_); }

private:
    void apply(const Values &values) {
        TreeNode *node = nullptr;
        if (place_.empty() || !resolve(model_, place_, node))
            return;
        if (node->caption != values.caption)
            model_.setCaption(node, values.caption);
        if (node->link != values.link)
            model_.setLink(node, values.link);
        node->topics = values.topics;
    }

    StructureModel &model_;
    TreeNode *nodeOnFirstRun_;
    NodePlace place_;
    Values new_, old_;
};

class SetProjectTopics : public QUndoCommand {
public:
    SetProjectTopics(Project &project, const QString &text, const TopicSettings &topics)
        : QUndoCommand(text), project_(project), new_(topics), old_(project.topics()) {}

    void redo() override { project_.setTopics(new_); }
    void undo() override { project_.setTopics(old_); }

private:
    Project &project_;
    TopicSettings new_, old_;
};

}  // namespace

QUndoCommand *appendNodesEdit(StructureModel &model, const QString &text, TreeNode *parent,
                              std::vector<std::unique_ptr<TreeNode>> nodes, QUndoCommand *group) {
    auto *edit = new QUndoCommand(text, group);
    for (auto &node : nodes)
        new InsertNode(model, parent, std::move(node), edit);
    return edit;
}

QUndoCommand *removeNodesEdit(StructureModel &model, const QString &text, QList<TreeNode *> nodes,
                              QUndoCommand *group) {
    std::sort(nodes.begin(), nodes.end(), [](const TreeNode *a, const TreeNode *b) {
        return placeOf(a) > placeOf(b);
    });
    auto *edit = new QUndoCommand(text, group);
    for (TreeNode *node : nodes)
        new TakeNode(model, node, edit);
    return edit;
}

QUndoCommand *swapSiblingsEdit(StructureModel &model, const QString &text, TreeNode *node,
                               TreeNode *sibling) {
    auto *edit = new QUndoCommand(text);
    // The node goes where the sibling stood; the sibling, which then stands where the node
    // stood, is taken out and put back in the same place.
    new MoveNode(model, node, node->parent(), sibling->row(), edit);
    new MoveNode(model, sibling, node->parent(), node->row(), edit);
    return edit;
}

QUndoCommand *moveToEndEdit(StructureModel &model, const QString &text, TreeNode *node,
                            TreeNode *newParent) {
    auto *edit = new QUndoCommand(text);
    new MoveNode(model, node, newParent, -1, edit);
    return edit;
}

QUndoCommand *setTextsEdit(StructureModel &model, const QString &text, TreeNode *node,
                           const QString &caption, const QString &link) {
    return new SetProperties(model, text, node, {caption, link, node->topics});
}

QUndoCommand *setPropertiesEdit(StructureModel &model, const QString &text, TreeNode *node,
                                const QString &caption, const QString &link,
                                const TopicOverride &topics) {
    return new SetProperties(model, text, node, {caption, link, topics});
}

QUndoCommand *setProjectTopicsEdit(Project &project, const QString &text,
                                   const TopicSettings &topics) {
    return new SetProjectTopics(project, text, topics);
}

}  // namespace zelbrin::ui

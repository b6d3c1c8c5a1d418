#pragma once

#include "projectwindow.h"
#include "structuretree.h"

namespace zelbrin {

// A ProjectWindow without widgets, for the command-line builder and for tests:
// addNode follows the model rules only; the caption is remembered.
class HeadlessProjectWindow : public ProjectWindow {
public:
    explicit HeadlessProjectWindow(UserPrompts &prompts) : prompts_(prompts) {}

    StructureModel &structureTree() override { return model_; }
    TreeNode *addNode(TreeNode *parent, const QString &caption, bool isCatalog, bool,
                      const QString &link) override {
        return addNodeToModel(model_, parent, caption, isCatalog, link);
    }
    void setWindowCaption(const QString &caption) override { caption_ = caption; }
    void refreshFileList() override { ++refreshCount_; }
    UserPrompts &prompts() override { return prompts_; }

    const QString &caption() const { return caption_; }
    int refreshCount() const { return refreshCount_; }

private:
    StructureModel model_;
    UserPrompts &prompts_;
    QString caption_;
    int refreshCount_ = 0;
};

}  // namespace zelbrin

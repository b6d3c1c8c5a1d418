// The working-directory list and placing documents into the tree and taking them out.
#include "mainwindow.h"

#include <QToolButton>

namespace zelbrin::ui {

bool TMainForm::IsLinkedInTree(const QString &path) const {
    bool found = false;
    model_->forEach([&](TreeNode *n) {
        found = linksEqual(n->link, path);
        return !found;
    });
    return found;
}

void TMainForm::actSetWorkCatalogExecute() {}
void TMainForm::RefreshFileList() {}
void TMainForm::F2Click() {}
void TMainForm::PopupMenu3Popup() {}
void TMainForm::actSelectExecute() {}
void TMainForm::actSelectAllExecute() {}
void TMainForm::actRemoveExecute() {}
void TMainForm::actRemoveAllExecute() {}

void TMainForm::Panel1Resize() {
    // The four buttons stand in a column in the middle of the strip.
    const int x = (Panel1->width() - SpeedButton1->width()) / 2;
    const int top = Panel1->height() / 2 - 2 * (SpeedButton1->height() + 6);
    int y = top;
    for (QToolButton *b : {SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4}) {
        b->move(x, y);
        y += b->height() + 12;
    }
}

}  // namespace zelbrin::ui

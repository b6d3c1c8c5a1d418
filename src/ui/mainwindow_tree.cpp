// Structure-tree editing: new catalogs, rename, delete, moves, properties.
#include "mainwindow.h"

namespace zelbrin::ui {

void TMainForm::actNewExecute() {}
void TMainForm::actNewSubExecute() {}
void TMainForm::actDeleteCatalogExecute() {}
void TMainForm::actRenameCatalogExecute() {}
void TMainForm::actUpExecute() {}
void TMainForm::actDownExecute() {}
void TMainForm::actLeftExecute() {}
void TMainForm::PopupMenu2Popup() {}
void TMainForm::N23Click() {}

}  // namespace zelbrin::ui

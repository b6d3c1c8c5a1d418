// The Other menu and the auxiliary commands: decompile, About, demonstration,
// update, product number.
#include "mainwindow.h"

namespace zelbrin::ui {

void TMainForm::actCutomCompileExecute() {}
void TMainForm::actSetProdNOExecute() {}
void TMainForm::N18Click() {}
void TMainForm::N22Click() {}
void TMainForm::U2Click() {}
void TMainForm::startUpdateCheck() {}

}  // namespace zelbrin::ui

// The compile command's front end.
#include "mainwindow.h"

namespace zelbrin::ui {

void TMainForm::actCompileExecute() {}

}  // namespace zelbrin::ui

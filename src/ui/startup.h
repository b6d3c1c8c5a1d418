#pragma once

#include <QStringList>

namespace zelbrin::ui {

class MainWindow;

// Loads Qt's own Chinese texts (standard buttons, file dialogs) from Qt's translations
// folder, so that they speak the program's language. False when they are not installed.
bool loadChineseQtTranslations();

// The project named on the command line (the first argument that is no option), opened
// as 打开工程 opens one, with its messages; nothing happens without one.
void openCommandLineProject(MainWindow &window, const QStringList &arguments);

}  // namespace zelbrin::ui

#pragma once

#include "officesession.h"

#include <QString>
#include <functional>

namespace zelbrin {

// What one build needs from the world outside the core. The window and the
// command-line builder fill it differently; tests fill it with fakes.
struct BuildEnvironment {
    // ShowStep: shows a step text (and lets the window paint it).
    std::function<void(const QString &)> showStep;
    // Starts the office for this build; one office serves every document.
    OfficeSessionFactory officeFactory;
    // Closes a help viewer whose window title is exactly the given text.
    std::function<void(const QString &)> closeViewer;
    // Opens the compiled help file in the program registered for it.
    std::function<void(const QString &)> openResult;
    // Folder that holds hhc, ending in "/".
    QString programFolder;
    // Keeps the build folder after the build (command-line --keep-temp).
    bool keepBuildFolder = false;
    // hhc prints progress while it compiles, however long that takes; a compiler that has
    // printed nothing for this long has stalled and is stopped.
    int compilerSilenceMs = 10 * 60 * 1000;
};

// The build folder names, relative to the project directory.
inline const QString kBuildFolderName = QStringLiteral("temp");
inline const QString kHtmlFolderName = QStringLiteral("temp/html/");

// Texts of the build.
inline const QString kCompilerMissingMessage =
    QStringLiteral("未找到 HTML Help Workshop 的安装目录，请确认该程序已经被安装到您的计算机上！");
inline const QString kCompileFailedPrefix = QStringLiteral("编译CHM文件失败：");
// Follows kCompileFailedPrefix; %1 is how long the compiler was silent ("10 分钟").
inline const QString kCompilerStalledMessage = QStringLiteral("编译程序已有%1没有任何进展，编译已停止。");
inline const QString kBuildErrorPrefix = QStringLiteral("编译时出错，是否安装过office？：");

}  // namespace zelbrin

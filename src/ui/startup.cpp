#include "startup.h"

#include "mainwindow.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zelbrin::ui {

bool loadChineseQtTranslations() {
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void openCommandLineProject(MainWindow &window, const QStringList &arguments) {
    for (const QString &argument : arguments.mid(1)) {
        if (argument.startsWith(u'-'))
            continue;
        window.openProjectFile(QFileInfo(argument).absoluteFilePath(), true);
        return;
    }
}

}  // namespace zelbrin::ui

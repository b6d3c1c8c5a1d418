// The compile command's front end: the save question, the compile panel, and the
// window held still while the build runs.
#include "mainwindow.h"

#include "build.h"
#include "builderror.h"
#include "fileops.h"
#include "libreofficesession.h"
#include "prompts.h"
#include "shellopen.h"
#include "structureview.h"
#include "windowcloser.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>

namespace zelbrin::ui {

void TMainForm::actCompileExecute() { StartCompile(); }

void TMainForm::StartCompile() {
    if (building_)
        return;
    // A caption still being typed belongs to the tree that is saved and built; left
    // open, it would be committed mid-build and re-enable the commands there.
    tlMain->commitOpenEditor();
    if (project_->Modified) {
        if (prompts_->ask(QStringLiteral("编译之前必须先保存所做的修改！要保存并继续编译吗？"),
                          false) != UserPrompts::Answer::Yes)
            return;
        actSaveProjectExecute();
    }
    if (project_->FileName.isEmpty())
        return;

    panCompile->move(frameGeometry().width() / 2 - panCompile->width() / 2,
                     centralWidget()->height() / 2 - panCompile->height() / 2);
    panCompile->show();
    panCompile->raise();
    aniCompile->setRange(0, 0);

    // Every command waits while the build runs; afterwards each gets its state back.
    building_ = true;
    QList<QPair<QAction *, bool>> saved;
    for (QAction *a : findChildren<QAction *>()) {
        saved.append({a, a->isEnabled()});
        a->setEnabled(false);
    }
    panLeft->setEnabled(false);
    panClient->setEnabled(false);

    BuildEnvironment env;
    env.showStep = [this](const QString &step) {
        lbCompileHint->setText(step);
        QCoreApplication::processEvents();
    };
    env.programFolder = programFolder();
    const QString worker = env.programFolder + QStringLiteral("zelbrin-office");
    env.officeFactory = options_.officeFactory
                            ? options_.officeFactory
                            : platform::makeLibreOfficeSessionFactory(worker, 90000, platform::defaultProfileTemplate());
    // Pages that an earlier build converted are taken again; a stand-in office keeps none.
    if (!options_.officeFactory)
        env.pageCache = platform::libreOfficePageCache(worker);
    env.closeViewer = [](const QString &title) { platform::closeWindowTitled(title); };
    env.openResult = [](const QString &chm) { platform::shellOpen(chm); };
    try {
        project_->Compile(env);
    } catch (const BuildError &e) {
        prompts_->notice(kBuildErrorPrefix + e.message());
    } catch (const std::exception &e) {
        prompts_->notice(kBuildErrorPrefix + QString::fromLocal8Bit(e.what()));
    }

    aniCompile->setRange(0, 1);
    panCompile->hide();
    panLeft->setEnabled(true);
    panClient->setEnabled(true);
    // Restore in reverse so a bound entry re-syncs after its command is back.
    for (auto it = saved.crbegin(); it != saved.crend(); ++it)
        it->first->setEnabled(it->second);
    building_ = false;
}

}  // namespace zelbrin::ui

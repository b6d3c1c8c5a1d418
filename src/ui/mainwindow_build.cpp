// The compile command's front end: the save question, the compile panel with the
// build's steps and progress, the window held still while the build runs, and the
// result in the status bar.
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
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace zelbrin::ui {

namespace {
QString resultNotOpenedMessage(const QString &chm) {
    return QStringLiteral("没有能打开帮助文件的程序，或者该程序无法启动。\n帮助文件位于：") + chm;
}
}  // namespace

void MainWindow::compile() {
    if (building_)
        return;
    // A caption still being typed belongs to the tree that is saved and built; left
    // open, it would be committed mid-build and re-enable the commands there.
    structureView_->commitOpenEditor();
    if (project_->Modified) {
        if (prompts_->ask(QStringLiteral("编译之前必须先保存所做的修改！要保存并继续编译吗？"),
                          false) != UserPrompts::Answer::Yes)
            return;
        saveProject();
    }
    if (project_->FileName.isEmpty())
        return;

    compilePanel_->move(frameGeometry().width() / 2 - compilePanel_->width() / 2,
                        centralWidget()->height() / 2 - compilePanel_->height() / 2);
    compilePanel_->show();
    compilePanel_->raise();
    compileProgress_->setRange(0, 0);
    showBuildResult({});

    // Every command waits while the build runs; afterwards each gets its state back.
    building_ = true;
    QList<QPair<QAction *, bool>> saved;
    for (QAction *a : findChildren<QAction *>()) {
        saved.append({a, a->isEnabled()});
        a->setEnabled(false);
    }
    leftPane_->setEnabled(false);
    rightPane_->setEnabled(false);

    BuildEnvironment env;
    env.showStep = [this](const QString &step) {
        compileStepLabel_->setText(step);
        compileProgress_->setRange(0, 0);
        QCoreApplication::processEvents();
    };
    env.showProgress = [this](const ConversionProgress &progress) {
        compileStepLabel_->setText(conversionProgressText(progress));
        compileProgress_->setRange(0, progress.total);
        compileProgress_->setValue(progress.done);
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
    // Told after the build, once the panel is gone; a viewer that fails later is told then.
    QString unopened;
    env.openResult = [this, &unopened](const QString &chm) {
        QPointer<MainWindow> window(this);
        const bool started = platform::openWithDesktop(chm, [window, chm] {
            if (window)
                window->prompts().notice(resultNotOpenedMessage(chm), UserPrompts::Icon::Warning);
        });
        if (!started)
            unopened = chm;
    };
    // What another program said in its own words stays apart, below the message.
    const auto showError = [this](const BuildError &e) {
        prompts_->notice(e.detail().isEmpty() ? buildErrorText(e) : buildErrorText(e) + QStringLiteral("\n\n") + e.detail());
    };
    BuildReport report;
    try {
        report = project_->Compile(env);
    } catch (const BuildError &e) {
        showError(e);
    } catch (const std::exception &e) {
        showError(unexpectedBuildError(e));
    }

    compileProgress_->setRange(0, 1);
    compilePanel_->hide();
    leftPane_->setEnabled(true);
    rightPane_->setEnabled(true);
    // Restore in reverse so a bound entry re-syncs after its command is back.
    for (auto it = saved.crbegin(); it != saved.crend(); ++it)
        it->first->setEnabled(it->second);
    building_ = false;
    showBuildResult(report);
    if (!unopened.isEmpty())
        prompts_->notice(resultNotOpenedMessage(unopened), UserPrompts::Icon::Warning);
}

void MainWindow::showBuildResult(const BuildReport &report) {
    failedDocuments_ = report.failedDocuments;
    buildResultLabel_->setText(report.compiledFile.isEmpty() ? QString()
                                                             : buildSummaryText(report));
    failedDocumentsButton_->setText(
        QStringLiteral("未能转换的文档（%1）...").arg(failedDocuments_.size()));
    failedDocumentsButton_->setVisible(!report.compiledFile.isEmpty() &&
                                       !failedDocuments_.isEmpty());
}

void MainWindow::showFailedDocuments() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("failedDocumentsDialog"));
    dialog.setWindowTitle(QStringLiteral("未能转换的文档"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QStringLiteral("下列文档没有转换成网页，帮助文件中用一页说明代替："), &dialog));
    auto *documents = new QListWidget(&dialog);
    documents->setObjectName(QStringLiteral("failedDocumentsList"));
    for (const FailedDocument &failed : std::as_const(failedDocuments_)) {
        auto *item = new QListWidgetItem(failedDocumentText(failed), documents);
        item->setToolTip(failed.fault.detail);
    }
    layout->addWidget(documents);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(560, 300);
    runDialog_(dialog);
}

}  // namespace zelbrin::ui

// The compile command's front end: the save question, the compile panel with the
// build's steps, progress and Cancel, the commands held while the build runs on its own
// thread, and the result in the status bar.
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
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace zelbrin::ui {

namespace {
const QString kCancellingStep = QStringLiteral("正在取消编译...");
const QString kBuildCancelledText = QStringLiteral("编译已取消");

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
    if (project_->isModified()) {
        if (prompts_->ask(QStringLiteral("编译之前必须先保存所做的修改！要保存并继续编译吗？"),
                          false) != UserPrompts::Answer::Yes)
            return;
        saveProject();
    }
    if (project_->fileName().isEmpty())
        return;

    compilePanel_->move(frameGeometry().width() / 2 - compilePanel_->width() / 2,
                        centralWidget()->height() / 2 - compilePanel_->height() / 2);
    compilePanel_->show();
    compilePanel_->raise();
    compileProgress_->setRange(0, 0);
    showBuildResult({});

    // Every command waits while the build runs; afterwards each gets its state back.
    building_ = true;
    actionStatesBeforeBuild_.clear();
    for (QAction *a : findChildren<QAction *>()) {
        actionStatesBeforeBuild_.append({a, a->isEnabled()});
        a->setEnabled(false);
    }
    leftPane_->setEnabled(false);
    rightPane_->setEnabled(false);

    BuildEnvironment env;
    env.programFolder = programFolder();
    const QString worker = env.programFolder + QStringLiteral("zelbrin-office");
    env.officeFactory = options_.officeFactory
                            ? options_.officeFactory
                            : platform::makeLibreOfficeSessionFactory(worker, 90000, platform::defaultProfileTemplate());
    // Pages that an earlier build converted are taken again; a stand-in office keeps none.
    if (!options_.officeFactory)
        env.pageCache = platform::libreOfficePageCache(worker);
    env.closeViewer = [](const QString &title) { platform::closeWindowTitled(title); };
    // The build runs on a thread of its own; the window only shows what it tells and
    // answers what it asks.
    build_ = new Build(*project_, env, this);
    Build *build = build_;
    connect(build, &Build::stepChanged, this, [this](const QString &step) {
        compileStepLabel_->setText(step);
        compileProgress_->setRange(0, 0);
    });
    connect(build, &Build::progressChanged, this, [this](const ConversionProgress &progress) {
        compileStepLabel_->setText(conversionProgressText(progress));
        compileProgress_->setRange(0, progress.total);
        compileProgress_->setValue(progress.done);
    });
    connect(build, &Build::noticeGiven, this, [this, build](const QString &text) {
        prompts_->notice(text);
        build->reply(UserPrompts::Answer::Yes);
    });
    connect(build, &Build::questionAsked, this, [this, build](const QString &text, bool withCancel) {
        build->reply(prompts_->ask(text, withCancel));
    });
    connect(build, &Build::finished, this, &MainWindow::finishBuild);
    cancelBuildButton_->setEnabled(true);
    build->start();
}

void MainWindow::cancelBuild() {
    if (!build_)
        return;
    cancelBuildButton_->setEnabled(false);
    compileStepLabel_->setText(kCancellingStep);
    build_->cancel();
}

void MainWindow::finishBuild() {
    Build *build = build_;
    build_ = nullptr;
    build->deleteLater();
    compileProgress_->setRange(0, 1);
    compilePanel_->hide();
    leftPane_->setEnabled(true);
    rightPane_->setEnabled(true);
    // Restore in reverse so a bound entry re-syncs after its command is back.
    for (auto it = actionStatesBeforeBuild_.crbegin(); it != actionStatesBeforeBuild_.crend(); ++it)
        it->first->setEnabled(it->second);
    actionStatesBeforeBuild_.clear();
    building_ = false;

    const BuildReport report = build->wasCancelled() ? BuildReport() : build->report();
    if (!build->errorText().isEmpty())
        prompts_->notice(build->errorText());
    showBuildResult(report);
    if (build->wasCancelled())
        buildResultLabel_->setText(kBuildCancelledText);
    if (!report.compiledFile.isEmpty()) {
        // A viewer that fails once it has started is told about when it fails.
        QPointer<MainWindow> window(this);
        const QString chm = report.compiledFile;
        const bool started = platform::openWithDesktop(chm, [window, chm] {
            if (window)
                window->prompts().notice(resultNotOpenedMessage(chm), UserPrompts::Icon::Warning);
        });
        if (!started)
            prompts_->notice(resultNotOpenedMessage(chm), UserPrompts::Icon::Warning);
    }
    emit buildFinished();
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

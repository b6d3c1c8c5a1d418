#pragma once

#include "officesession.h"
#include "projectwindow.h"
#include "structuretree.h"
#include "workbenchrules.h"
#include "zlpproject.h"

#include <QMainWindow>
#include <QProcessEnvironment>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QSettings;
class QSplitter;
class QStatusBar;
class QToolBar;
class QToolButton;
class QTreeWidgetItem;
class QFrame;

namespace zelbrin::platform {
class CheckUpdate;
QString defaultUpdateBaseUrl();
}  // namespace zelbrin::platform

namespace zelbrin {
struct BuildReport;
}

namespace zelbrin::ui {

class BoundAction;
class StructureView;
class WordListWidget;
class AboutDialog;
class UpdateCheckHost;

// The user's settings of the workbench (window size and splitter, recent projects), in
// the user's configuration folder: $XDG_CONFIG_HOME/zelbrin/zelbrin.conf.
std::unique_ptr<QSettings> workbenchSettings();

struct MainWindowOptions {
    // Questions and notices; null means the real dialogs. Tests pass scripted prompts.
    UserPrompts *prompts = nullptr;
    // The background update check is started by the first show unless switched off.
    bool startUpdateCheck = true;
    // The office for builds; empty means the office worker in the program folder.
    OfficeSessionFactory officeFactory;
    // Update server (path "/update/Chm/CHS/"), the environment its proxy comes from, and
    // the random pause before a retry.
    QString updateBaseUrl = platform::defaultUpdateBaseUrl();
    QProcessEnvironment updateEnvironment = QProcessEnvironment::systemEnvironment();
    int updateRetryMinMs = 300000;
    int updateRetryMaxMs = 600000;
    // Where hhc, hh, the office worker, Update, Tutorix and the installed update list lie;
    // empty means the folder of the running executable.
    QString programFolder;
};

// The workbench window. Its commands are split by area over several files:
// mainwindow.cpp (layout, command table, enabling), mainwindow_lifecycle.cpp (New, Open,
// Save, Close, quit), mainwindow_tree.cpp (tree editing), mainwindow_files.cpp
// (working-directory list, placing files), mainwindow_build.cpp (compile front end),
// mainwindow_other.cpp (decompile, About, demonstration, update, product number).
class TMainForm : public QMainWindow, public ProjectWindow {
    Q_OBJECT
public:
    explicit TMainForm(MainWindowOptions options = {});
    ~TMainForm() override;

    // ProjectWindow
    StructureModel &structureTree() override { return *model_; }
    TreeNode *AddNode(TreeNode *parent, const QString &caption, bool isCatalog, bool beginEdit,
                      const QString &link) override;
    void setWindowCaption(const QString &caption) override;
    void RefreshFileList() override;
    UserPrompts &prompts() override { return *prompts_; }

    TZLPProject &project() { return *project_; }
    // Opens a project file as 打开工程 does after its dialog, with its messages. A file
    // named on the command line or in the recent list (reportMissing) that is missing or
    // no project says so; one typed into the dialog reads nothing silently. True when read.
    bool openProject(const QString &path, bool reportMissing);
    // The last opened or saved project files, newest first, from the user's settings.
    QStringList recentProjects() const;
    void openRecentProject(const QString &path);
    void UpdateProjectState(bool value);
    bool ConfirmSaveChanges();
    bool HasChildLink(const TreeNode *parent, const QString &path) const {
        return model_->HasChildLink(parent, path);
    }
    bool IsLinkedInTree(const QString &path) const;
    // True (after telling the user) when a child of parent would nest deeper than the
    // tree may: a project saved that deep could not be opened again.
    bool refuseDeeperLevel(const TreeNode *parent);

    // View state of the structure tree.
    TreeNode *focusedNode() const;
    void setFocusedNode(TreeNode *node);
    QList<TreeNode *> selectedNodes() const;  // in the order the nodes were selected
    void setInPlaceEditing(bool on);
    bool inPlaceEditing() const;

    // Commands of the command table.
    void actSetWorkCatalogExecute();
    void actNewExecute();
    void actNewSubExecute();
    void actDeleteCatalogExecute();
    void actRenameCatalogExecute();
    void actQuitExecute();
    void actOpenProjectExecute();
    void actSaveProjectExecute();
    void actCloseProjectExecute();
    void actSelectExecute();
    void actSelectAllExecute();
    void actRemoveExecute();
    void actRemoveAllExecute();
    void actNewProjectExecute();
    void actCompileExecute();
    void actUpExecute();
    void actDownExecute();
    void actDecompileExecute();
    void actSetProdNOExecute();
    void actLeftExecute();
    // Other handlers, named after their menu entry or control and the event.
    void miAboutClick();
    void miDemoClick();
    void miUpgradeClick();
    void miTreePropertiesClick();
    void miListRefreshClick();
    void pmTreePopup();
    void pmFileListPopup();
    void panPlaceResize();
    void StartCompile();
    bool isBuilding() const { return building_; }
    // The documents the last build could not convert, in a list the user can read.
    void showFailedDocuments();
    // The update question, run on the user-interface thread for the update check.
    void PromptForUpdate();

    // Folder of hh, Update and Tutorix, ending with "/".
    QString programFolder() const;
    // Set by actSetProdNOExecute; lives only while the program runs.
    int productNumber() const { return productNumber_; }
    // The running update check, or null.
    platform::CheckUpdate *updateCheckThread() const;
    // Structure-tree events and drag and drop.
    void tlMainClick();
    void tlMainEditing();
    void tlMainEdited(TreeNode *edited);
    void tlMainExit();
    void tlMainBeginDragNode(TreeNode *node);
    bool tlMainDragOver(DragSource source) const;
    void tlMainEndDrag(bool accepted, const QPoint &globalPos);
    void lvWordListEndDrag(bool accepted);
    void miCutClick();
    void miCopyClick();

    void RefreshFileList(const QString &folder);
    // Selected nodes from top to bottom.
    QList<TreeNode *> selectedNodesInDisplayOrder() const;
    // The node the last drag within the tree started on; none once it is deleted.
    TreeNode *draggedNode() const { return draggedNode_; }
    const QString &rememberedCaption() const { return rememberedCaption_; }

    // Modal steps, replaceable so that tests can answer them: running a dialog
    // (default exec()) and choosing from a popup menu (default exec() at the point).
    std::function<int(QDialog &)> execDialog;
    std::function<QAction *(QMenu *, const QPoint &)> execPopupMenu;

    // The commands. These and the window's parts start null: the event filter installed
    // during construction already compares against parts not made yet.
    QAction *actSetWorkCatalog{}, *actNew{}, *actNewSub{}, *actDeleteCatalog{},
        *actRenameCatalog{}, *actQuit{}, *actOpenProject{}, *actSaveProject{},
        *actCloseProject{}, *actSelect{}, *actSelectAll{}, *actRemove{}, *actRemoveAll{},
        *actNewProject{}, *actCompile{}, *actUp{}, *actDown{}, *actDecompile{},
        *actSetProdNO{}, *actLeft{};
    QList<QAction *> allActions() const;

    // The structure tree and the working-directory list. The window's other parts (menu
    // entries, buttons, panels) carry their field's name below as object name.
    StructureView *structureView() const { return tlMain; }
    WordListWidget *fileList() const { return lvWordList; }

protected:
    void closeEvent(QCloseEvent *event) override;  // FormCloseQuery
    void showEvent(QShowEvent *event) override;    // FormShow, once
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    bool askToSaveChanges();
    void createActions();
    void createMenus();
    void createToolBar();
    void createLayout();
    void createPopupMenus();
    void createStatusBar();
    void restoreWindowSettings();
    void saveWindowSettings() const;
    void rememberRecentProject(const QString &path);
    void setRecentProjects(const QStringList &paths);
    void fillRecentMenu();
    QString suggestedProjectPath() const;
    void showBuildResult(const BuildReport &report);
    void startUpdateCheck();
    void setupTreeEditing();
    void setupPlacing();
    bool swapNodes(TreeNode *focused, TreeNode *neighbour);
    void focusMovedNode(TreeNode *node);
    void appendReturnedRow(const TreeNode *node);
    void showChildrenOf(TreeNode *catalog);
    void dropOnTree(DragSource source, const QPoint &globalPos);
    void finishDrop();

    // Menus, toolbar and context menus. Entries that run a command by clicking its button
    // are bound actions; the tree's context menu entries start with miTree, the file
    // list's with miList.
    QMenu *menuFile{}, *menuRecent{}, *menuCatalog{}, *menuEdit{}, *menuNode{}, *menuOther{};
    BoundAction *miSetWorkCatalog{};
    QAction *miAbout{}, *miDemo{}, *miUpgrade{};
    QToolBar *toolBar{};
    BoundAction *toolSetWorkCatalog{}, *toolCompile{};
    QMenu *pmDrop{}, *pmTree{}, *pmFileList{};
    QAction *miCut{}, *miCopy{};
    BoundAction *miTreeNew{}, *miTreeNewSub{}, *miTreeLeft{}, *miTreeUp{}, *miTreeDown{},
        *miTreeRemove{}, *miTreeRemoveAll{};
    QAction *miTreeRename{}, *miTreeDelete{}, *miTreeProperties{};
    BoundAction *miListSetWorkCatalog{}, *miListSelect{}, *miListSelectAll{};
    QAction *miListRefresh{};
    // Layout: panMove holds the Left/Up/Down buttons under the tree, panPlace the
    // Select/Remove buttons beside the list.
    QWidget *panLeft{}, *panClient{}, *panPlace{}, *panMove{}, *Show_Panel{};
    QSplitter *splLeftPane{};
    QGroupBox *grpFileList{}, *grpStructure{};
    StructureView *tlMain{};
    WordListWidget *lvWordList{};
    QToolButton *btnSelect{}, *btnSelectAll{}, *btnRemove{}, *btnRemoveAll{}, *btnUp{},
        *btnDown{}, *btnLeft{};
    QFrame *panCompile{};
    QLabel *lbCompileHint{};
    QProgressBar *aniCompile{};
    QLabel *lblweb{};
    // The last build's result in the status bar, with the documents it could not convert.
    QLabel *lblBuildResult;
    QToolButton *btnFailedDocuments;
    QList<FailedDocument> failedDocuments_;

    MainWindowOptions options_;
    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts *prompts_ = nullptr;
    StructureModel *model_ = nullptr;
    // Own fields besides the components.
    QString rememberedCaption_;
    std::unique_ptr<TZLPProject> project_;
    TreeNode *draggedNode_ = nullptr;
    bool shown_ = false;
    bool building_ = false;
    // Auxiliary commands (mainwindow_other.cpp).
    int productNumber_ = 6;
    AboutDialog *aboutDialog_ = nullptr;      // child; kept once created
    UpdateCheckHost *updateCheck_ = nullptr;  // child; stops and joins the thread when destroyed
    // A drop waits for the drag loop of its source to end before it is acted on.
    struct PendingDrop {
        DragSource source;
        QPoint globalPos;
    };
    std::optional<PendingDrop> pendingDrop_;
    int runningDrags_ = 0;
};

}  // namespace zelbrin::ui

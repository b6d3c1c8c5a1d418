#pragma once

#include "officesession.h"
#include "structuretree.h"
#include "workbenchrules.h"
#include "project.h"

#include <QMainWindow>
#include <QModelIndex>
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
class QPushButton;
class QSettings;
class QSplitter;
class QStatusBar;
class QToolBar;
class QToolButton;
class QTreeWidgetItem;
class QUndoCommand;
class QUndoStack;
class QFrame;

namespace zelbrin::platform {
class CheckUpdate;
QString defaultUpdateBaseUrl();
}  // namespace zelbrin::platform

namespace zelbrin {
class Build;
struct BuildReport;
}

namespace zelbrin::ui {

class BoundAction;
class StructureView;
class FileListWidget;
class AboutDialog;
class UpdateCheckHost;
struct LinkChanges;

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
// Its parts (commands, menu entries, buttons, panels, the tree and the list) are its
// own and carry object names (a member's is its name without the underscore).
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowOptions options = {});
    ~MainWindow() override;

    // The project the window shows and edits.
    Project &project() { return *project_; }
    UserPrompts &prompts() { return *prompts_; }
    // Adds a node to the tree as the project's own additions do (an empty caption becomes
    // "新建目录", a node without a link a catalog); a new catalog gets the focus and, with
    // beginEdit, its caption editor. Not an undoable edit: the commands make their own.
    TreeNode *addNode(TreeNode *parent, const QString &caption, bool isCatalog, bool beginEdit,
                      const QString &link);
    // Refills the working-directory list from the project's working directory.
    void refreshFileList();
    // Opens a project file as 打开工程 does after its dialog, with its messages. A file
    // named on the command line or in the recent list (reportMissing) that is missing or
    // no project says so; one typed into the dialog reads nothing silently. True when read.
    bool openProjectFile(const QString &path, bool reportMissing);
    // The last opened or saved project files, newest first, from the user's settings.
    QStringList recentProjects() const;
    void openRecentProject(const QString &path);
    // Marks the project modified by a change that is not on the undo stack (true), or
    // unmodified with the stack's present state as the saved one (false); then enables the
    // commands that depend on it and on whether a project is open.
    void setProjectModified(bool modified);
    // False when the user keeps unsaved changes by cancelling (or by a save that failed).
    bool confirmSaveChanges();
    bool hasChildLink(const TreeNode *parent, const QString &path) const {
        return model_->hasChildLink(parent, path);
    }
    bool isLinkedInTree(const QString &path) const;
    // True (after telling the user) when a child of parent would nest deeper than the
    // tree may: a project saved that deep could not be opened again.
    bool refuseDeeperLevel(const TreeNode *parent);
    // Refills the working-directory list with the documents of folder that the tree does
    // not link yet; an empty folder leaves the list as it is.
    void fillFileList(const QString &folder);

    // View state of the structure tree.
    TreeNode *focusedNode() const;
    void setFocusedNode(TreeNode *node);
    QList<TreeNode *> selectedNodes() const;  // in the order the nodes were selected
    QList<TreeNode *> selectedNodesInDisplayOrder() const;
    void setInPlaceEditing(bool on);
    bool inPlaceEditing() const;
    // The node the last drag within the tree started on; none once it is deleted.
    TreeNode *draggedNode() const { return draggedNode_; }
    const QString &rememberedCaption() const { return rememberedCaption_; }

    // The commands of the command table, in its order.
    QList<QAction *> allActions() const;
    bool isBuilding() const { return building_; }
    // Folder of hh, Update and Tutorix, ending with "/".
    QString programFolder() const;
    // Set by askProductNumber; lives only while the program runs.
    int productNumber() const { return productNumber_; }
    // The running update check, or null.
    platform::CheckUpdate *updateCheckThread() const;

    // Modal steps, replaceable so that tests can answer them: running a dialog
    // (default exec()) and choosing from a popup menu (default exec() at the point).
    using DialogRunner = std::function<int(QDialog &)>;
    using PopupMenuRunner = std::function<QAction *(QMenu *, const QPoint &)>;
    void setDialogRunner(DialogRunner run) { runDialog_ = std::move(run); }
    void setPopupMenuRunner(PopupMenuRunner run) { runPopupMenu_ = std::move(run); }

public slots:
    // The command table.
    void chooseWorkCatalog();
    void newSiblingCatalog();
    void newChildCatalog();
    void deleteSelectedNodes();
    void renameFocusedNode();
    void quit();
    void openProject();
    void saveProject();
    void closeProject();
    void placeDocuments();
    void placeAllDocuments();
    void removeDocuments();
    void removeAllDocuments();
    void newProject();
    void compile();
    void moveNodeUp();
    void moveNodeDown();
    void decompileHelpFile();
    void askProductNumber();
    void promoteNode();
    // The other menu entries and buttons.
    void showAbout();
    void startDemonstration();
    void startUpdater();
    void editNodeProperties();
    // 工程设置: the project's splitting, contents and keywords, as an undoable edit.
    void editProjectSettings();
    void refreshDocuments();
    void enableTreeMenuEntries();
    void enableFileListMenuEntries();
    // 撤销 and 重做: every edit of the tree goes through one undo stack.
    void undoEdit();
    void redoEdit();
    // The documents the last build could not convert, in a list the user can read.
    void showFailedDocuments();
    // Stops the running build (the compile panel's 取消).
    void cancelBuild();

signals:
    // A build that compile() started has ended, whichever way.
    void buildFinished();

public slots:
    // The update question, run on the user-interface thread for the update check.
    void askToUpdate();
    // A drag within the tree started on node; a copy or move later takes it.
    void rememberDraggedNode(TreeNode *node);
    void copyDraggedNode();
    void moveDraggedNode();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void prepareFirstShow();
    bool mayClose();
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
    void finishBuild();
    void showProjectCaption(const QString &caption);
    void startUpdateCheck();
    void setupTreeEditing();
    void setupPlacing();
    // Structure-tree events.
    void noteClickInTree();
    void restoreTreeCaption();
    void showTreeCaption();
    void commitCaption(const QModelIndex &index, const QString &caption);
    void showNewCatalog(TreeNode *node, bool beginEdit);
    void newCatalog(TreeNode *parent, const QString &text);
    void swapNodes(TreeNode *focused, TreeNode *neighbour, const QString &text);
    void focusMovedNode(TreeNode *node);
    // Drag and drop.
    bool acceptsDropOnTree(DragSource source) const;
    void dropOnTree(DragSource source, const QPoint &globalPos);
    void finishDrop();
    void placeDroppedDocuments(bool accepted);
    void offerMoveOrCopy(bool accepted, const QPoint &globalPos);
    bool placeHighlightedRows(const QString &text);
    void showChildrenOf(TreeNode *catalog);
    // Edits of the tree: a new one, an undo or a redo. Each keeps the working-directory list
    // to what it did to the links and then the modified mark to the stack.
    void runEdit(QUndoCommand *edit);
    void changeTree(const std::function<void()> &change);
    void followLinkChanges(const LinkChanges &changes);
    void applyProjectState();

    // The commands.
    QAction *chooseWorkCatalogAction_{}, *newSiblingCatalogAction_{}, *newChildCatalogAction_{},
        *deleteSelectedNodesAction_{}, *renameFocusedNodeAction_{}, *quitAction_{},
        *openProjectAction_{}, *saveProjectAction_{}, *closeProjectAction_{},
        *placeDocumentsAction_{}, *placeAllDocumentsAction_{}, *removeDocumentsAction_{},
        *removeAllDocumentsAction_{}, *newProjectAction_{}, *compileAction_{}, *moveNodeUpAction_{},
        *moveNodeDownAction_{}, *decompileHelpFileAction_{}, *askProductNumberAction_{},
        *promoteNodeAction_{};
    // Menus, toolbar and context menus. Entries that run a command by clicking its button
    // are bound actions; an entry of the tree's context menu ends in TreeEntry, one of the
    // file list's in ListEntry.
    QMenu *fileMenu_{}, *recentMenu_{}, *catalogMenu_{}, *editMenu_{}, *nodeMenu_{}, *otherMenu_{};
    BoundAction *chooseWorkCatalogMenuEntry_{};
    QAction *showAboutAction_{}, *startDemonstrationAction_{}, *startUpdaterAction_{};
    QAction *undoAction_{}, *redoAction_{};
    QAction *editProjectSettingsAction_{};
    QToolBar *toolBar_{};
    BoundAction *chooseWorkCatalogTool_{}, *compileTool_{};
    QMenu *dropMenu_{}, *treeMenu_{}, *fileListMenu_{};
    QAction *moveDraggedNodeAction_{}, *copyDraggedNodeAction_{};
    BoundAction *newSiblingCatalogTreeEntry_{}, *newChildCatalogTreeEntry_{},
        *promoteNodeTreeEntry_{}, *moveNodeUpTreeEntry_{}, *moveNodeDownTreeEntry_{},
        *removeDocumentsTreeEntry_{}, *removeAllDocumentsTreeEntry_{};
    QAction *renameFocusedNodeTreeEntry_{}, *deleteSelectedNodesTreeEntry_{},
        *editNodePropertiesTreeEntry_{};
    BoundAction *chooseWorkCatalogListEntry_{}, *placeDocumentsListEntry_{},
        *placeAllDocumentsListEntry_{};
    QAction *refreshDocumentsListEntry_{};
    // Layout: moveStrip_ holds the Left/Up/Down buttons under the tree, placeStrip_ the
    // Select/Remove buttons beside the list.
    QWidget *leftPane_{}, *rightPane_{}, *placeStrip_{}, *moveStrip_{}, *supportStrip_{};
    QSplitter *paneSplitter_{};
    QGroupBox *fileListBox_{}, *structureBox_{};
    StructureView *structureView_{};
    FileListWidget *fileList_{};
    QToolButton *placeDocumentsButton_{}, *placeAllDocumentsButton_{}, *removeDocumentsButton_{},
        *removeAllDocumentsButton_{}, *moveNodeUpButton_{}, *moveNodeDownButton_{},
        *promoteNodeButton_{};
    QFrame *compilePanel_{};
    QLabel *compileStepLabel_{};
    QProgressBar *compileProgress_{};
    QPushButton *cancelBuildButton_{};
    QLabel *webLabel_{};
    // The last build's result in the status bar, with the documents it could not convert.
    QLabel *buildResultLabel_{};
    QToolButton *failedDocumentsButton_{};
    QList<FailedDocument> failedDocuments_;

    MainWindowOptions options_;
    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts *prompts_ = nullptr;
    StructureModel *model_ = nullptr;
    QUndoStack *undoStack_ = nullptr;
    // Changes that are not on the undo stack (a new project, the working directory, the
    // commands that mark the project although they changed nothing) keep it modified
    // until it is saved; the stack's own changes undo back to the saved state.
    bool changesOutsideUndo_ = false;
    // While a rename that the command opened runs: whether there were such changes
    // before it marked the project, for a rename that changes the caption (an edit).
    std::optional<bool> changesBeforeRename_;
    // The group box shows the focused node's document from a click in the tree until
    // the tree loses the focus.
    bool showingNodeFile_ = false;
    DialogRunner runDialog_;
    PopupMenuRunner runPopupMenu_;
    // Held for the clicks in the tree: the caption of the focused node at the last click.
    QString rememberedCaption_;
    std::unique_ptr<Project> project_;
    TreeNode *draggedNode_ = nullptr;
    bool shown_ = false;
    bool building_ = false;
    Build *build_ = nullptr;  // child; the running build
    QList<QPair<QAction *, bool>> actionStatesBeforeBuild_;
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

// The main window: layout, command table, enabling rule and structure-tree view state.
#include "mainwindow.h"

#include "boundaction.h"
#include "imagelist.h"
#include "projectfile.h"
#include "qtprompts.h"
#include "structuredelegate.h"
#include "weblabel.h"
#include "structureview.h"
#include "filelistwidget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QUndoStack>
#include <QVBoxLayout>

namespace zelbrin::ui {

namespace {

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kSplitterKey = QStringLiteral("window/splitter");
const QString kWorkCatalogKey = QStringLiteral("workCatalog");
const QString kFirstStepsHint = QStringLiteral("设置本地文件目录 → 新建工程 → 拖入文档 → 编译");
const QString kEmptyProjectHint = QStringLiteral("新建同级目录 → 拖入文档 → 编译");

// The Select/Remove strip beside the list: the first button a quarter of the way down,
// each next one a fixed distance below the top of the one before (the wider gap keeps
// placing and taking out apart), all 5 pixels from the left edge. The strip takes any
// height the pane gives it.
class PlaceStripLayout : public QLayout {
public:
    PlaceStripLayout(QWidget *strip, QList<int> distances)
        : QLayout(strip), distances_(std::move(distances)) {
        setContentsMargins(0, 0, 0, 0);
    }
    ~PlaceStripLayout() override { qDeleteAll(items_); }

    void addItem(QLayoutItem *item) override { items_ << item; }
    int count() const override { return int(items_.size()); }
    QLayoutItem *itemAt(int index) const override { return items_.value(index); }
    QLayoutItem *takeAt(int index) override {
        return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
    }
    QSize sizeHint() const override { return {0, 0}; }
    QSize minimumSize() const override { return {0, 0}; }

    void setGeometry(const QRect &rect) override {
        QLayout::setGeometry(rect);
        int top = rect.top() + rect.height() / 4;
        for (int i = 0; i < items_.size(); ++i) {
            if (i > 0)
                top += distances_.value(i - 1);
            items_[i]->setGeometry(QRect(QPoint(rect.left() + 5, top), items_[i]->sizeHint()));
        }
    }

private:
    QList<QLayoutItem *> items_;
    QList<int> distances_;
};

}  // namespace

std::unique_ptr<QSettings> workbenchSettings() {
    return std::make_unique<QSettings>(QStringLiteral("zelbrin"), QStringLiteral("zelbrin"));
}

MainWindow::MainWindow(MainWindowOptions options) : options_(options) {
    if (options_.prompts) {
        prompts_ = options_.prompts;
    } else {
        ownPrompts_ = std::make_unique<QtPrompts>(this);
        prompts_ = ownPrompts_.get();
    }
    project_ = std::make_unique<Project>();
    model_ = &project_->tree();
    connect(project_.get(), &Project::captionChanged, this, &MainWindow::showProjectCaption);
    connect(project_.get(), &Project::workCatalogChanged, this, &MainWindow::refreshFileList);
    undoStack_ = new QUndoStack(this);
    undoStack_->setObjectName(QStringLiteral("undoStack"));
    // A new, opened or closed project starts a history of its own.
    connect(model_, &QAbstractItemModel::modelReset, undoStack_, &QUndoStack::clear);
    setObjectName(QStringLiteral("MainWindow"));
    // Room for a tree and a list of long Chinese names; a small screen gets all it has.
    QSize size(1000, 700);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size());
        resize(size);
        move(screen->availableGeometry().center() - rect().center());
    } else {
        resize(size);
    }
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPointSize(9);
    setFont(font);
    createActions();
    createMenus();
    createToolBar();
    createLayout();
    createPopupMenus();
    createStatusBar();
    setupTreeEditing();
    setupPlacing();
    QApplication::setApplicationName(kApplicationTitle);
    setWindowTitle(kApplicationTitle);
    compileStepLabel_->clear();
    restoreWindowSettings();
}

MainWindow::~MainWindow() = default;

void MainWindow::createActions() {
    struct Def {
        QAction **slot;
        const char *name;
        const char *category;
        const char *caption;
        const char *hint;
        int icon;
        void (MainWindow::*handler)();
        QKeySequence keys = {};
    };
    const Def defs[] = {
        {&chooseWorkCatalogAction_, "chooseWorkCatalogAction", "文件", "设置工作目录(&W)", "设置工作目录", 0, &MainWindow::chooseWorkCatalog},
        {&newSiblingCatalogAction_, "newSiblingCatalogAction", "目录", "新建同级目录(&N)", "新建同级目录", 10, &MainWindow::newSiblingCatalog},
        {&newChildCatalogAction_, "newChildCatalogAction", "目录", "新建下级目录(&C)", "新建下级目录", 11, &MainWindow::newChildCatalog},
        {&deleteSelectedNodesAction_, "deleteSelectedNodesAction", "目录", "删除目录(&D)", "删除目录", 5, &MainWindow::deleteSelectedNodes, QKeySequence(Qt::Key_Delete)},
        {&renameFocusedNodeAction_, "renameFocusedNodeAction", "目录", "重命名(&R)", "重命名", 6, &MainWindow::renameFocusedNode, QKeySequence(Qt::Key_F2)},
        {&quitAction_, "quitAction", "文件", "退出(&Q)", "退出", 7, &MainWindow::quit},
        {&openProjectAction_, "openProjectAction", "文件", "打开工程(&O)", "打开工程", 8, &MainWindow::openProject, QKeySequence::Open},
        {&saveProjectAction_, "saveProjectAction", "文件", "保存工程(&S)", "保存工程", 9, &MainWindow::saveProject, QKeySequence::Save},
        {&closeProjectAction_, "closeProjectAction", "文件", "关闭工程(&C)", "关闭工程", -1, &MainWindow::closeProject},
        {&placeDocumentsAction_, "placeDocumentsAction", "编辑", "", "选中", 2, &MainWindow::placeDocuments},
        {&placeAllDocumentsAction_, "placeAllDocumentsAction", "编辑", "", "全部选中", 13, &MainWindow::placeAllDocuments},
        {&removeDocumentsAction_, "removeDocumentsAction", "编辑", "", "移出", 1, &MainWindow::removeDocuments},
        {&removeAllDocumentsAction_, "removeAllDocumentsAction", "编辑", "", "全部移出", 12, &MainWindow::removeAllDocuments},
        {&newProjectAction_, "newProjectAction", "文件", "新建工程(&N)", "新建工程", 4, &MainWindow::newProject, QKeySequence::New},
        {&compileAction_, "compileAction", "文件", "编译(&B)", "编译", 15, &MainWindow::compile, QKeySequence(Qt::Key_F9)},
        {&moveNodeUpAction_, "moveNodeUpAction", "节点", "", "上移", 16, &MainWindow::moveNodeUp},
        {&moveNodeDownAction_, "moveNodeDownAction", "节点", "", "下移", 17, &MainWindow::moveNodeDown},
        {&decompileHelpFileAction_, "decompileHelpFileAction", "文件", "反编译CHM文件(&U)", "反编译CHM文件", 18, &MainWindow::decompileHelpFile},
        {&askProductNumberAction_, "askProductNumberAction", "文件", "设置产品编号(&P)", "设置产品编号", -1, &MainWindow::askProductNumber},
        {&promoteNodeAction_, "promoteNodeAction", "节点", "", "左移", 2, &MainWindow::promoteNode},
    };
    for (const Def &d : defs) {
        auto *a = new QAction(this);
        a->setObjectName(QLatin1String(d.name));
        a->setText(QString::fromUtf8(d.caption));
        a->setToolTip(QString::fromUtf8(d.hint));
        a->setStatusTip(QString::fromUtf8(d.hint));
        a->setProperty("category", QString::fromUtf8(d.category));
        if (d.icon >= 0)
            a->setIcon(imageListIcon(d.icon));
        a->setShortcut(d.keys);
        connect(a, &QAction::triggered, this, d.handler);
        *d.slot = a;
    }
}

QList<QAction *> MainWindow::allActions() const {
    return {chooseWorkCatalogAction_,   newSiblingCatalogAction_, newChildCatalogAction_,
            deleteSelectedNodesAction_, renameFocusedNodeAction_, quitAction_,
            openProjectAction_,         saveProjectAction_,       closeProjectAction_,
            placeDocumentsAction_,      placeAllDocumentsAction_, removeDocumentsAction_,
            removeAllDocumentsAction_,  newProjectAction_,        compileAction_,
            moveNodeUpAction_,          moveNodeDownAction_,      decompileHelpFileAction_,
            askProductNumberAction_,    promoteNodeAction_};
}

// A menu entry bound to a command but showing its own caption.
static QAction *entry(QMenu *menu, QAction *action, const char *name, const char *caption = nullptr) {
    if (!caption) {
        menu->addAction(action);
        return action;
    }
    auto *bound = new BoundAction(action, QString::fromUtf8(caption), QString(), menu);
    bound->setObjectName(QLatin1String(name));
    menu->addAction(bound);
    return bound;
}

void MainWindow::createMenus() {
    fileMenu_ = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    chooseWorkCatalogMenuEntry_ =
        new BoundAction(chooseWorkCatalogAction_, QStringLiteral("设置本地文件目录(&W)"),
                        QStringLiteral("设置设置本地文件目录目录"), this);
    chooseWorkCatalogMenuEntry_->setObjectName(QStringLiteral("chooseWorkCatalogMenuEntry"));
    fileMenu_->addAction(chooseWorkCatalogMenuEntry_);
    fileMenu_->addAction(askProductNumberAction_);
    fileMenu_->addSeparator();
    fileMenu_->addAction(newProjectAction_);
    fileMenu_->addAction(openProjectAction_);
    fileMenu_->addAction(saveProjectAction_);
    fileMenu_->addAction(closeProjectAction_);
    recentMenu_ = fileMenu_->addMenu(QStringLiteral("最近的工程(&R)"));
    recentMenu_->setObjectName(QStringLiteral("recentMenu"));
    fillRecentMenu();
    fileMenu_->addSeparator();
    editProjectSettingsAction_ = fileMenu_->addAction(QStringLiteral("工程设置(&T)..."), this,
                                                      &MainWindow::editProjectSettings);
    editProjectSettingsAction_->setObjectName(QStringLiteral("editProjectSettingsAction"));
    fileMenu_->addAction(compileAction_);
    fileMenu_->addAction(decompileHelpFileAction_);
    fileMenu_->addSeparator();
    fileMenu_->addAction(quitAction_);

    catalogMenu_ = menuBar()->addMenu(QStringLiteral("目录(&C)"));
    catalogMenu_->addActions({newSiblingCatalogAction_, newChildCatalogAction_,
                              deleteSelectedNodesAction_, renameFocusedNodeAction_});

    editMenu_ = menuBar()->addMenu(QStringLiteral("编辑(&E)"));
    undoAction_ = editMenu_->addAction(QStringLiteral("撤销(&U)"), this, &MainWindow::undoEdit);
    undoAction_->setObjectName(QStringLiteral("undoAction"));
    undoAction_->setShortcut(QKeySequence::Undo);
    redoAction_ = editMenu_->addAction(QStringLiteral("重做(&Y)"), this, &MainWindow::redoEdit);
    redoAction_->setObjectName(QStringLiteral("redoAction"));
    redoAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence::Redo});
    for (QAction *a : {undoAction_, redoAction_})
        a->setEnabled(false);
    // Each says which edit it takes back or does again.
    connect(undoStack_, &QUndoStack::canUndoChanged, undoAction_, &QAction::setEnabled);
    connect(undoStack_, &QUndoStack::canRedoChanged, redoAction_, &QAction::setEnabled);
    // The stack outlives the window's own destructor (it goes with the window's children and
    // says its texts once more as it clears), so these reach only the actions.
    connect(undoStack_, &QUndoStack::undoTextChanged, undoAction_, [undo = undoAction_](const QString &text) {
        undo->setText(text.isEmpty() ? QStringLiteral("撤销(&U)") : QStringLiteral("撤销 %1(&U)").arg(text));
    });
    connect(undoStack_, &QUndoStack::redoTextChanged, redoAction_, [redo = redoAction_](const QString &text) {
        redo->setText(text.isEmpty() ? QStringLiteral("重做(&Y)") : QStringLiteral("重做 %1(&Y)").arg(text));
    });
    editMenu_->addSeparator();
    entry(editMenu_, placeDocumentsAction_, "placeDocumentsMenuEntry", "选中(&S)");
    entry(editMenu_, placeAllDocumentsAction_, "placeAllDocumentsMenuEntry", "全部选中(&A)");
    entry(editMenu_, removeDocumentsAction_, "removeDocumentsMenuEntry", "移出(&R)");
    entry(editMenu_, removeAllDocumentsAction_, "removeAllDocumentsMenuEntry", "全部移出(&M)");

    nodeMenu_ = menuBar()->addMenu(QStringLiteral("节点(&N)"));
    entry(nodeMenu_, moveNodeUpAction_, "moveNodeUpMenuEntry", "上移(&U)");
    entry(nodeMenu_, moveNodeDownAction_, "moveNodeDownMenuEntry", "下移(&D)");
    entry(nodeMenu_, promoteNodeAction_, "promoteNodeMenuEntry", "左移(&L)");

    otherMenu_ = menuBar()->addMenu(QStringLiteral("其他(&O)"));
    showAboutAction_ =
        otherMenu_->addAction(QStringLiteral("关于..."), this, &MainWindow::showAbout);
    showAboutAction_->setObjectName(QStringLiteral("showAboutAction"));
    startDemonstrationAction_ =
        otherMenu_->addAction(QStringLiteral("演示"), this, &MainWindow::startDemonstration);
    startDemonstrationAction_->setObjectName(QStringLiteral("startDemonstrationAction"));
    startUpdaterAction_ =
        otherMenu_->addAction(QStringLiteral("升级(&U)"), this, &MainWindow::startUpdater);
    startUpdaterAction_->setObjectName(QStringLiteral("startUpdaterAction"));
}

void MainWindow::createToolBar() {
    toolBar_ = addToolBar(QStringLiteral("工具栏"));
    toolBar_->setObjectName(QStringLiteral("toolBar"));
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar_->addSeparator();
    toolBar_->addActions({newProjectAction_, openProjectAction_, saveProjectAction_});
    toolBar_->addSeparator();
    toolBar_->addActions({newSiblingCatalogAction_, newChildCatalogAction_,
                          renameFocusedNodeAction_, deleteSelectedNodesAction_});
    toolBar_->addSeparator();
    chooseWorkCatalogTool_ =
        new BoundAction(chooseWorkCatalogAction_, QString(), QStringLiteral("设置文件目录"), this);
    chooseWorkCatalogTool_->setObjectName(QStringLiteral("chooseWorkCatalogTool"));
    compileTool_ = new BoundAction(compileAction_, QString(), QStringLiteral("编译成CHM"), this);
    compileTool_->setObjectName(QStringLiteral("compileTool"));
    toolBar_->addActions({chooseWorkCatalogTool_, compileTool_, decompileHelpFileAction_});
}

static QToolButton *speedButton(QWidget *parent, QAction *action, const char *name,
                                const QString &hint = {}) {
    auto *b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setDefaultAction(action);
    b->setAutoRaise(true);
    b->setFixedSize(26, 25);
    if (!hint.isEmpty())
        b->setToolTip(hint);
    return b;
}

void MainWindow::createLayout() {
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    paneSplitter_ = new QSplitter(Qt::Horizontal, central);
    paneSplitter_->setObjectName(QStringLiteral("paneSplitter"));
    paneSplitter_->setChildrenCollapsible(false);
    outer->addWidget(paneSplitter_, 1);

    // Left pane: the structure tree and the Left/Up/Down buttons.
    leftPane_ = new QWidget(paneSplitter_);
    leftPane_->setObjectName(QStringLiteral("leftPane"));
    auto *leftLayout = new QVBoxLayout(leftPane_);
    leftLayout->setContentsMargins(2, 2, 2, 2);
    structureBox_ = new QGroupBox(QStringLiteral("CHM结构"), leftPane_);
    structureBox_->setObjectName(QStringLiteral("structureBox"));
    auto *structureLayout = new QVBoxLayout(structureBox_);
    structureView_ = new StructureView(structureBox_);
    structureView_->setObjectName(QStringLiteral("structureView"));
    structureView_->setModel(model_);
    structureView_->setHeaderHidden(true);
    structureView_->setColumnHidden(1, true);
    structureView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *delegate = new StructureDelegate(structureView_);
    delegate->setCaptionCommitter(
        [this](const QModelIndex &index, const QString &caption) { commitCaption(index, caption); });
    structureView_->setItemDelegate(delegate);
    structureView_->setContextMenuPolicy(Qt::CustomContextMenu);
    structureView_->setEditTriggers(QAbstractItemView::SelectedClicked |
                                    QAbstractItemView::EditKeyPressed);
    structureLayout->addWidget(structureView_);
    leftLayout->addWidget(structureBox_, 1);
    moveStrip_ = new QWidget(leftPane_);
    moveStrip_->setObjectName(QStringLiteral("moveStrip"));
    moveStrip_->setFixedHeight(28);
    auto *moveLayout = new QHBoxLayout(moveStrip_);
    moveLayout->setContentsMargins(2, 0, 8, 0);
    promoteNodeButton_ = speedButton(moveStrip_, promoteNodeAction_, "promoteNodeButton",
                                     QStringLiteral("移到上级目录"));
    moveNodeUpButton_ = speedButton(moveStrip_, moveNodeUpAction_, "moveNodeUpButton");
    moveNodeDownButton_ = speedButton(moveStrip_, moveNodeDownAction_, "moveNodeDownButton");
    moveLayout->addWidget(promoteNodeButton_);
    moveLayout->addStretch(1);
    moveLayout->addWidget(moveNodeUpButton_);
    moveLayout->addWidget(moveNodeDownButton_);
    leftLayout->addWidget(moveStrip_);

    // Right pane: Select/Remove strip and the working-directory list.
    rightPane_ = new QWidget(paneSplitter_);
    rightPane_->setObjectName(QStringLiteral("rightPane"));
    auto *clientLayout = new QHBoxLayout(rightPane_);
    clientLayout->setContentsMargins(2, 2, 2, 2);
    placeStrip_ = new QWidget(rightPane_);
    placeStrip_->setObjectName(QStringLiteral("placeStrip"));
    placeStrip_->setFixedWidth(33);
    placeDocumentsButton_ = speedButton(placeStrip_, placeDocumentsAction_, "placeDocumentsButton");
    placeAllDocumentsButton_ =
        speedButton(placeStrip_, placeAllDocumentsAction_, "placeAllDocumentsButton");
    removeDocumentsButton_ =
        speedButton(placeStrip_, removeDocumentsAction_, "removeDocumentsButton");
    removeAllDocumentsButton_ =
        speedButton(placeStrip_, removeAllDocumentsAction_, "removeAllDocumentsButton");
    auto *placeLayout = new PlaceStripLayout(placeStrip_, {40, 80, 40});
    for (QToolButton *b : {placeDocumentsButton_, placeAllDocumentsButton_, removeDocumentsButton_,
                           removeAllDocumentsButton_}) {
        b->setFixedWidth(23);
        placeLayout->addWidget(b);
    }
    clientLayout->addWidget(placeStrip_);
    auto *placeBevel = new QFrame(rightPane_);
    placeBevel->setFrameShape(QFrame::VLine);
    placeBevel->setFrameShadow(QFrame::Sunken);
    clientLayout->addWidget(placeBevel);
    fileListBox_ = new QGroupBox(QStringLiteral("本地文件目录"), rightPane_);
    fileListBox_->setObjectName(QStringLiteral("fileListBox"));
    auto *fileListLayout = new QVBoxLayout(fileListBox_);
    fileList_ = new FileListWidget(fileListBox_);
    fileList_->setObjectName(QStringLiteral("fileList"));
    fileList_->setColumnCount(2);
    fileList_->setColumnHidden(1, true);
    fileList_->setHeaderHidden(true);
    fileList_->setRootIsDecorated(false);
    fileList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fileList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fileList_->setContextMenuPolicy(Qt::CustomContextMenu);
    fileListLayout->addWidget(fileList_);
    clientLayout->addWidget(fileListBox_, 1);

    paneSplitter_->addWidget(leftPane_);
    paneSplitter_->addWidget(rightPane_);
    paneSplitter_->setStretchFactor(1, 1);

    // Bottom strip with the support texts and the web-address label.
    supportStrip_ = new QFrame(central);
    supportStrip_->setObjectName(QStringLiteral("supportStrip"));
    supportStrip_->setFixedHeight(26);
    auto *sp = new QHBoxLayout(supportStrip_);
    sp->setContentsMargins(6, 0, 6, 0);
    auto *support = new QLabel(QStringLiteral("技术支持：support@zelbrin.example"), supportStrip_);
    auto *caption = new QLabel(QStringLiteral("网址："), supportStrip_);
    webLabel_ = new WebLabel(QStringLiteral("https://zelbrin.example/"), supportStrip_);
    sp->addWidget(support);
    sp->addStretch(1);
    sp->addWidget(caption);
    sp->addWidget(webLabel_);
    outer->addWidget(supportStrip_);

    // The compile panel floats over the window and is placed by the compile command.
    compilePanel_ = new QFrame(central);
    compilePanel_->setObjectName(QStringLiteral("compilePanel"));
    compilePanel_->setFrameShape(QFrame::Panel);
    compilePanel_->setFrameShadow(QFrame::Raised);
    compilePanel_->setAutoFillBackground(true);
    // Wide enough for the step text with its count and a document name; a longer name is
    // cut off at the panel's edge.
    compilePanel_->resize(420, 80);
    auto *pc = new QVBoxLayout(compilePanel_);
    compileStepLabel_ = new QLabel(compilePanel_);
    compileStepLabel_->setObjectName(QStringLiteral("compileStepLabel"));
    compileStepLabel_->setStyleSheet(QStringLiteral("color: blue;"));
    compileStepLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Busy while a step has no count; during the conversion it follows the documents.
    compileProgress_ = new QProgressBar(compilePanel_);
    compileProgress_->setObjectName(QStringLiteral("compileProgress"));
    compileProgress_->setTextVisible(false);
    compileProgress_->setRange(0, 0);
    cancelBuildButton_ = new QPushButton(QStringLiteral("取消"), compilePanel_);
    cancelBuildButton_->setObjectName(QStringLiteral("cancelBuildButton"));
    connect(cancelBuildButton_, &QPushButton::clicked, this, &MainWindow::cancelBuild);
    auto *progressRow = new QHBoxLayout;
    progressRow->addWidget(compileProgress_, 1);
    progressRow->addWidget(cancelBuildButton_);
    pc->addWidget(compileStepLabel_);
    pc->addLayout(progressRow);
    compilePanel_->hide();
}

void MainWindow::createStatusBar() {
    buildResultLabel_ = new QLabel(this);
    buildResultLabel_->setObjectName(QStringLiteral("buildResultLabel"));
    buildResultLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    failedDocumentsButton_ = new QToolButton(this);
    failedDocumentsButton_->setObjectName(QStringLiteral("failedDocumentsButton"));
    failedDocumentsButton_->setAutoRaise(true);
    failedDocumentsButton_->hide();
    connect(failedDocumentsButton_, &QToolButton::clicked, this, &MainWindow::showFailedDocuments);
    statusBar()->addWidget(buildResultLabel_, 1);
    statusBar()->addPermanentWidget(failedDocumentsButton_);
}

void MainWindow::restoreWindowSettings() {
    const auto settings = workbenchSettings();
    restoreGeometry(settings->value(kGeometryKey).toByteArray());
    if (!paneSplitter_->restoreState(settings->value(kSplitterKey).toByteArray()))
        paneSplitter_->setSizes({280, width() - 280});
    // The working directory of the last session, until a project brings its own; one that
    // is gone is ignored.
    project_->setWorkCatalog(settings->value(kWorkCatalogKey).toString());
}

void MainWindow::saveWindowSettings() const {
    const auto settings = workbenchSettings();
    settings->setValue(kGeometryKey, saveGeometry());
    settings->setValue(kSplitterKey, paneSplitter_->saveState());
    settings->setValue(kWorkCatalogKey, project_->workCatalog());
}

void MainWindow::createPopupMenus() {
    dropMenu_ = new QMenu(this);
    dropMenu_->setObjectName(QStringLiteral("dropMenu"));
    moveDraggedNodeAction_ = dropMenu_->addAction(QStringLiteral("移动到此处"));
    moveDraggedNodeAction_->setObjectName(QStringLiteral("moveDraggedNodeAction"));
    copyDraggedNodeAction_ = dropMenu_->addAction(QStringLiteral("拷贝到此处"));
    copyDraggedNodeAction_->setObjectName(QStringLiteral("copyDraggedNodeAction"));

    auto bound = [](QMenu *menu, QAction *target, const char *name, const char *caption) {
        auto *b = new BoundAction(target, QString::fromUtf8(caption), QString(), menu);
        b->setObjectName(QLatin1String(name));
        menu->addAction(b);
        return b;
    };
    treeMenu_ = new QMenu(this);
    treeMenu_->setObjectName(QStringLiteral("treeMenu"));
    newSiblingCatalogTreeEntry_ = bound(treeMenu_, newSiblingCatalogAction_,
                                        "newSiblingCatalogTreeEntry", "新建同级目录(&N)");
    newChildCatalogTreeEntry_ =
        bound(treeMenu_, newChildCatalogAction_, "newChildCatalogTreeEntry", "新建下级目录(&C)");
    // Rename and Delete run their handlers directly, whatever the commands' state.
    renameFocusedNodeTreeEntry_ =
        treeMenu_->addAction(renameFocusedNodeAction_->icon(), QStringLiteral("重命名(&R)"), this,
                             &MainWindow::renameFocusedNode);
    renameFocusedNodeTreeEntry_->setObjectName(QStringLiteral("renameFocusedNodeTreeEntry"));
    deleteSelectedNodesTreeEntry_ =
        treeMenu_->addAction(deleteSelectedNodesAction_->icon(), QStringLiteral("删除目录(&D)"),
                             this, &MainWindow::deleteSelectedNodes);
    deleteSelectedNodesTreeEntry_->setObjectName(QStringLiteral("deleteSelectedNodesTreeEntry"));
    treeMenu_->addSeparator();
    editNodePropertiesTreeEntry_ = treeMenu_->addAction(QStringLiteral("目录属性设置(&L)"), this,
                                                        &MainWindow::editNodeProperties);
    editNodePropertiesTreeEntry_->setObjectName(QStringLiteral("editNodePropertiesTreeEntry"));
    treeMenu_->addSeparator();
    promoteNodeTreeEntry_ =
        bound(treeMenu_, promoteNodeAction_, "promoteNodeTreeEntry", "移到上级目录");
    moveNodeUpTreeEntry_ = bound(treeMenu_, moveNodeUpAction_, "moveNodeUpTreeEntry", "上移");
    moveNodeDownTreeEntry_ = bound(treeMenu_, moveNodeDownAction_, "moveNodeDownTreeEntry", "下移");
    treeMenu_->addSeparator();
    removeDocumentsTreeEntry_ =
        bound(treeMenu_, removeDocumentsAction_, "removeDocumentsTreeEntry", "移出");
    removeAllDocumentsTreeEntry_ =
        bound(treeMenu_, removeAllDocumentsAction_, "removeAllDocumentsTreeEntry", "全部移出");
    connect(treeMenu_, &QMenu::aboutToShow, this, &MainWindow::enableTreeMenuEntries);
    connect(structureView_, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        treeMenu_->popup(structureView_->viewport()->mapToGlobal(p));
    });

    fileListMenu_ = new QMenu(this);
    fileListMenu_->setObjectName(QStringLiteral("fileListMenu"));
    chooseWorkCatalogListEntry_ = bound(fileListMenu_, chooseWorkCatalogAction_,
                                        "chooseWorkCatalogListEntry", "设置本地文件目录(&W)");
    refreshDocumentsListEntry_ =
        fileListMenu_->addAction(QStringLiteral("刷新(&F)"), this, &MainWindow::refreshDocuments);
    refreshDocumentsListEntry_->setObjectName(QStringLiteral("refreshDocumentsListEntry"));
    placeDocumentsListEntry_ =
        bound(fileListMenu_, placeDocumentsAction_, "placeDocumentsListEntry", "选中(&S)");
    placeAllDocumentsListEntry_ = bound(fileListMenu_, placeAllDocumentsAction_,
                                        "placeAllDocumentsListEntry", "全部选中(&A)");
    connect(fileListMenu_, &QMenu::aboutToShow, this, &MainWindow::enableFileListMenuEntries);
    connect(fileList_, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        fileListMenu_->popup(fileList_->viewport()->mapToGlobal(p));
    });
}

void MainWindow::setProjectModified(bool value) {
    changesOutsideUndo_ = value;
    if (!value)
        undoStack_->setClean();
    applyProjectState();
}

void MainWindow::applyProjectState() {
    const bool value = changesOutsideUndo_ || !undoStack_->isClean();
    project_->setModified(value);
    setWindowModified(value && project_->isOpen());  // with no project open, nothing to mark
    saveProjectAction_->setEnabled(value);
    const bool active = project_->isOpen();
    for (QAction *a :
         {compileAction_, closeProjectAction_, newSiblingCatalogAction_, newChildCatalogAction_,
          deleteSelectedNodesAction_, renameFocusedNodeAction_, placeDocumentsAction_,
          placeAllDocumentsAction_, removeDocumentsAction_, removeAllDocumentsAction_,
          editProjectSettingsAction_})
        a->setEnabled(active);
    newSiblingCatalogTreeEntry_->setOwnEnabled(active);
    newChildCatalogTreeEntry_->setOwnEnabled(active);
    chooseWorkCatalogTool_->setOwnEnabled(active);
    chooseWorkCatalogListEntry_->setOwnEnabled(active);
    structureView_->setEmptyHint(active ? kEmptyProjectHint : kFirstStepsHint);
}

TreeNode *MainWindow::addNode(TreeNode *parent, const QString &caption, bool isCatalog,
                              bool beginEdit, const QString &link) {
    TreeNode *node = model_->addNode(parent, caption, isCatalog, link);
    if (node->imageIndex == ImageIndex::Catalog)
        showNewCatalog(node, beginEdit);
    return node;
}

void MainWindow::showNewCatalog(TreeNode *node, bool beginEdit) {
    setFocusedNode(node);
    setInPlaceEditing(beginEdit);
    if (beginEdit)
        structureView_->edit(model_->indexOf(node));
}

bool MainWindow::refuseDeeperLevel(const TreeNode *parent) {
    if (depthOf(parent) < kMaxTreeDepth)
        return false;
    prompts_->notice(tooDeepTreeMessage(), UserPrompts::Icon::Warning);
    return true;
}

void MainWindow::showProjectCaption(const QString &caption) {
    // A project's caption carries Qt's mark for unsaved changes.
    setWindowTitle(caption == kApplicationTitle ? caption : caption + QStringLiteral("[*]"));
}

TreeNode *MainWindow::focusedNode() const { return model_->nodeOf(structureView_->currentIndex()); }

void MainWindow::setFocusedNode(TreeNode *node) {
    structureView_->selectionModel()->setCurrentIndex(model_->indexOf(node),
                                                      QItemSelectionModel::NoUpdate);
}

QList<TreeNode *> MainWindow::selectedNodes() const {
    QList<TreeNode *> nodes;
    for (const QModelIndex &i : structureView_->selectionModel()->selectedIndexes())
        if (i.column() == 0)
            nodes << model_->nodeOf(i);
    return nodes;
}

void MainWindow::setInPlaceEditing(bool on) {
    structureView_->setEditTriggers(
        on ? (QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed)
           : QAbstractItemView::NoEditTriggers);
}

bool MainWindow::inPlaceEditing() const {
    return structureView_->editTriggers() != QAbstractItemView::NoEditTriggers;
}

void MainWindow::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        prepareFirstShow();
    }
}

void MainWindow::prepareFirstShow() {
    setProjectModified(false);
    if (model_->topLevelCount() > 0) {
        setFocusedNode(model_->topLevel(0));
        structureView_->selectionModel()->clearSelection();
        structureView_->selectionModel()->select(
            model_->indexOf(model_->topLevel(0)),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        structureView_->expandAll();
    }
    if (options_.startUpdateCheck)
        startUpdateCheck();
    setWindowTitle(kApplicationTitle);
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // A running build owns the project and the tree until it ends.
    if (building_) {
        event->ignore();
        return;
    }
    if (mayClose()) {
        saveWindowSettings();
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace zelbrin::ui

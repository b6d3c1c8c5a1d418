// The main window: layout, command table, enabling rule and structure-tree view state.
#include "mainwindow.h"

#include "boundaction.h"
#include "imagelist.h"
#include "projectfile.h"
#include "qtprompts.h"
#include "structuredelegate.h"
#include "weblabel.h"
#include "structureview.h"
#include "wordlistwidget.h"

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
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zelbrin::ui {

namespace {
const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kSplitterKey = QStringLiteral("window/splitter");
}  // namespace

std::unique_ptr<QSettings> workbenchSettings() {
    return std::make_unique<QSettings>(QStringLiteral("zelbrin"), QStringLiteral("zelbrin"));
}

TMainForm::TMainForm(MainWindowOptions options) : options_(options) {
    if (options_.prompts) {
        prompts_ = options_.prompts;
    } else {
        ownPrompts_ = std::make_unique<QtPrompts>(this);
        prompts_ = ownPrompts_.get();
    }
    model_ = new StructureModel(this);
    setObjectName(QStringLiteral("MainForm"));
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
    FormCreate();
    restoreWindowSettings();
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    QApplication::setApplicationName(kApplicationTitle);
    setWindowTitle(kApplicationTitle);
    project_ = std::make_unique<TZLPProject>(*this);
    lbCompileHint->clear();
    draggedNode_ = nullptr;
}

void TMainForm::createActions() {
    struct Def {
        QAction **slot;
        const char *name;
        const char *category;
        const char *caption;
        const char *hint;
        int icon;
        void (TMainForm::*handler)();
        QKeySequence keys = {};
    };
    const Def defs[] = {
        {&actSetWorkCatalog, "actSetWorkCatalog", "文件", "设置工作目录(&W)", "设置工作目录", 0, &TMainForm::actSetWorkCatalogExecute},
        {&actNew, "actNew", "目录", "新建同级目录(&N)", "新建同级目录", 10, &TMainForm::actNewExecute},
        {&actNewSub, "actNewSub", "目录", "新建下级目录(&C)", "新建下级目录", 11, &TMainForm::actNewSubExecute},
        {&actDeleteCatalog, "actDeleteCatalog", "目录", "删除目录(&D)", "删除目录", 5, &TMainForm::actDeleteCatalogExecute, QKeySequence(Qt::Key_Delete)},
        {&actRenameCatalog, "actRenameCatalog", "目录", "重命名(&R)", "重命名", 6, &TMainForm::actRenameCatalogExecute, QKeySequence(Qt::Key_F2)},
        {&actQuit, "actQuit", "文件", "退出(&Q)", "退出", 7, &TMainForm::actQuitExecute},
        {&actOpenProject, "actOpenProject", "文件", "打开工程(&O)", "打开工程", 8, &TMainForm::actOpenProjectExecute, QKeySequence::Open},
        {&actSaveProject, "actSaveProject", "文件", "保存工程(&S)", "保存工程", 9, &TMainForm::actSaveProjectExecute, QKeySequence::Save},
        {&actCloseProject, "actCloseProject", "文件", "关闭工程(&C)", "关闭工程", -1, &TMainForm::actCloseProjectExecute},
        {&actSelect, "actSelect", "编辑", "", "选中", 2, &TMainForm::actSelectExecute},
        {&actSelectAll, "actSelectAll", "编辑", "", "全部选中", 13, &TMainForm::actSelectAllExecute},
        {&actRemove, "actRemove", "编辑", "", "移出", 1, &TMainForm::actRemoveExecute},
        {&actRemoveAll, "actRemoveAll", "编辑", "", "全部移出", 12, &TMainForm::actRemoveAllExecute},
        {&actNewProject, "actNewProject", "文件", "新建工程(&N)", "新建工程", 4, &TMainForm::actNewProjectExecute, QKeySequence::New},
        {&actCompile, "actCompile", "文件", "编译(&B)", "编译", 15, &TMainForm::actCompileExecute, QKeySequence(Qt::Key_F9)},
        {&actUp, "actUp", "节点", "", "上移", 16, &TMainForm::actUpExecute},
        {&actDown, "actDown", "节点", "", "下移", 17, &TMainForm::actDownExecute},
        {&actDecompile, "actDecompile", "文件", "反编译CHM文件(&U)", "反编译CHM文件", 18, &TMainForm::actDecompileExecute},
        {&actSetProdNO, "actSetProdNO", "文件", "设置产品编号(&P)", "设置产品编号", -1, &TMainForm::actSetProdNOExecute},
        {&actLeft, "actLeft", "节点", "", "左移", 2, &TMainForm::actLeftExecute},
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

QList<QAction *> TMainForm::allActions() const {
    return {actSetWorkCatalog, actNew,        actNewSub,     actDeleteCatalog, actRenameCatalog,
            actQuit,           actOpenProject, actSaveProject, actCloseProject, actSelect,
            actSelectAll,      actRemove,     actRemoveAll,  actNewProject,    actCompile,
            actUp,             actDown,       actDecompile,  actSetProdNO,    actLeft};
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

void TMainForm::createMenus() {
    menuFile = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    miSetWorkCatalog = new BoundAction(actSetWorkCatalog, QStringLiteral("设置本地文件目录(&W)"),
                         QStringLiteral("设置设置本地文件目录目录"), this);
    miSetWorkCatalog->setObjectName(QStringLiteral("miSetWorkCatalog"));
    menuFile->addAction(miSetWorkCatalog);
    menuFile->addAction(actSetProdNO);
    menuFile->addSeparator();
    menuFile->addAction(actNewProject);
    menuFile->addAction(actOpenProject);
    menuFile->addAction(actSaveProject);
    menuFile->addAction(actCloseProject);
    menuRecent = menuFile->addMenu(QStringLiteral("最近的工程(&R)"));
    menuRecent->setObjectName(QStringLiteral("menuRecent"));
    fillRecentMenu();
    menuFile->addSeparator();
    menuFile->addAction(actCompile);
    menuFile->addAction(actDecompile);
    menuFile->addSeparator();
    menuFile->addAction(actQuit);

    menuCatalog = menuBar()->addMenu(QStringLiteral("目录(&C)"));
    menuCatalog->addActions({actNew, actNewSub, actDeleteCatalog, actRenameCatalog});

    menuEdit = menuBar()->addMenu(QStringLiteral("编辑(&E)"));
    entry(menuEdit, actSelect, "miSelect", "选中(&S)");
    entry(menuEdit, actSelectAll, "miSelectAll", "全部选中(&A)");
    entry(menuEdit, actRemove, "miRemove", "移出(&R)");
    entry(menuEdit, actRemoveAll, "miRemoveAll", "全部移出(&M)");

    menuNode = menuBar()->addMenu(QStringLiteral("节点(&N)"));
    entry(menuNode, actUp, "miUp", "上移(&U)");
    entry(menuNode, actDown, "miDown", "下移(&D)");
    entry(menuNode, actLeft, "miLeft", "左移(&L)");

    menuOther = menuBar()->addMenu(QStringLiteral("其他(&O)"));
    miAbout = menuOther->addAction(QStringLiteral("关于..."), this, &TMainForm::miAboutClick);
    miAbout->setObjectName(QStringLiteral("miAbout"));
    miDemo = menuOther->addAction(QStringLiteral("演示"), this, &TMainForm::miDemoClick);
    miDemo->setObjectName(QStringLiteral("miDemo"));
    miUpgrade = menuOther->addAction(QStringLiteral("升级(&U)"), this, &TMainForm::miUpgradeClick);
    miUpgrade->setObjectName(QStringLiteral("miUpgrade"));
}

void TMainForm::createToolBar() {
    toolBar = addToolBar(QStringLiteral("工具栏"));
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setMovable(false);
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->addSeparator();
    toolBar->addActions({actNewProject, actOpenProject, actSaveProject});
    toolBar->addSeparator();
    toolBar->addActions({actNew, actNewSub, actRenameCatalog, actDeleteCatalog});
    toolBar->addSeparator();
    toolSetWorkCatalog =
        new BoundAction(actSetWorkCatalog, QString(), QStringLiteral("设置文件目录"), this);
    toolSetWorkCatalog->setObjectName(QStringLiteral("toolSetWorkCatalog"));
    toolCompile = new BoundAction(actCompile, QString(), QStringLiteral("编译成CHM"), this);
    toolCompile->setObjectName(QStringLiteral("toolCompile"));
    toolBar->addActions({toolSetWorkCatalog, toolCompile, actDecompile});
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

void TMainForm::createLayout() {
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    splLeftPane = new QSplitter(Qt::Horizontal, central);
    splLeftPane->setObjectName(QStringLiteral("splLeftPane"));
    splLeftPane->setChildrenCollapsible(false);
    outer->addWidget(splLeftPane, 1);

    // Left pane: the structure tree and the Left/Up/Down buttons.
    panLeft = new QWidget(splLeftPane);
    panLeft->setObjectName(QStringLiteral("panLeft"));
    auto *leftLayout = new QVBoxLayout(panLeft);
    leftLayout->setContentsMargins(2, 2, 2, 2);
    grpStructure = new QGroupBox(QStringLiteral("CHM结构"), panLeft);
    grpStructure->setObjectName(QStringLiteral("grpStructure"));
    auto *structureLayout = new QVBoxLayout(grpStructure);
    tlMain = new StructureView(grpStructure);
    tlMain->setObjectName(QStringLiteral("tlMain"));
    tlMain->setModel(model_);
    tlMain->setHeaderHidden(true);
    tlMain->setColumnHidden(1, true);
    tlMain->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tlMain->setItemDelegate(new StructureDelegate(tlMain));
    tlMain->setContextMenuPolicy(Qt::CustomContextMenu);
    tlMain->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    tlMain->installEventFilter(this);
    structureLayout->addWidget(tlMain);
    leftLayout->addWidget(grpStructure, 1);
    panMove = new QWidget(panLeft);
    panMove->setObjectName(QStringLiteral("panMove"));
    panMove->setFixedHeight(28);
    auto *moveLayout = new QHBoxLayout(panMove);
    moveLayout->setContentsMargins(2, 0, 8, 0);
    btnLeft = speedButton(panMove, actLeft, "btnLeft", QStringLiteral("移到上级目录"));
    btnUp = speedButton(panMove, actUp, "btnUp");
    btnDown = speedButton(panMove, actDown, "btnDown");
    moveLayout->addWidget(btnLeft);
    moveLayout->addStretch(1);
    moveLayout->addWidget(btnUp);
    moveLayout->addWidget(btnDown);
    leftLayout->addWidget(panMove);

    // Right pane: Select/Remove strip and the working-directory list.
    panClient = new QWidget(splLeftPane);
    panClient->setObjectName(QStringLiteral("panClient"));
    auto *clientLayout = new QHBoxLayout(panClient);
    clientLayout->setContentsMargins(2, 2, 2, 2);
    panPlace = new QWidget(panClient);
    panPlace->setObjectName(QStringLiteral("panPlace"));
    panPlace->setFixedWidth(33);
    btnSelect = speedButton(panPlace, actSelect, "btnSelect");
    btnSelectAll = speedButton(panPlace, actSelectAll, "btnSelectAll");
    btnRemove = speedButton(panPlace, actRemove, "btnRemove");
    btnRemoveAll = speedButton(panPlace, actRemoveAll, "btnRemoveAll");
    panPlace->installEventFilter(this);
    clientLayout->addWidget(panPlace);
    auto *placeBevel = new QFrame(panClient);
    placeBevel->setFrameShape(QFrame::VLine);
    placeBevel->setFrameShadow(QFrame::Sunken);
    clientLayout->addWidget(placeBevel);
    grpFileList = new QGroupBox(QStringLiteral("本地文件目录"), panClient);
    grpFileList->setObjectName(QStringLiteral("grpFileList"));
    auto *fileListLayout = new QVBoxLayout(grpFileList);
    lvWordList = new WordListWidget(grpFileList);
    lvWordList->setObjectName(QStringLiteral("lvWordList"));
    lvWordList->setColumnCount(2);
    lvWordList->setColumnHidden(1, true);
    lvWordList->setHeaderHidden(true);
    lvWordList->setRootIsDecorated(false);
    lvWordList->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvWordList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvWordList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvWordList->setContextMenuPolicy(Qt::CustomContextMenu);
    fileListLayout->addWidget(lvWordList);
    clientLayout->addWidget(grpFileList, 1);

    splLeftPane->addWidget(panLeft);
    splLeftPane->addWidget(panClient);
    splLeftPane->setStretchFactor(1, 1);

    // Bottom strip with the support texts and the web-address label.
    Show_Panel = new QFrame(central);
    Show_Panel->setObjectName(QStringLiteral("Show_Panel"));
    Show_Panel->setFixedHeight(26);
    auto *sp = new QHBoxLayout(Show_Panel);
    sp->setContentsMargins(6, 0, 6, 0);
    auto *support = new QLabel(QStringLiteral("技术支持：support@zelbrin.example"), Show_Panel);
    auto *caption = new QLabel(QStringLiteral("网址："), Show_Panel);
    lblweb = new WebLabel(QStringLiteral("https://zelbrin.example/"), Show_Panel);
    lblweb->setObjectName(QStringLiteral("lblweb"));
    sp->addWidget(support);
    sp->addStretch(1);
    sp->addWidget(caption);
    sp->addWidget(lblweb);
    outer->addWidget(Show_Panel);

    // The compile panel floats over the window and is placed by the compile command.
    panCompile = new QFrame(central);
    panCompile->setObjectName(QStringLiteral("panCompile"));
    panCompile->setFrameShape(QFrame::Panel);
    panCompile->setFrameShadow(QFrame::Raised);
    panCompile->setAutoFillBackground(true);
    // Wide enough for the step text with its count and a document name; a longer name is
    // cut off at the panel's edge.
    panCompile->resize(420, 72);
    auto *pc = new QVBoxLayout(panCompile);
    lbCompileHint = new QLabel(panCompile);
    lbCompileHint->setObjectName(QStringLiteral("lbCompileHint"));
    lbCompileHint->setStyleSheet(QStringLiteral("color: blue;"));
    lbCompileHint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Busy while a step has no count; during the conversion it follows the documents.
    aniCompile = new QProgressBar(panCompile);
    aniCompile->setObjectName(QStringLiteral("aniCompile"));
    aniCompile->setTextVisible(false);
    aniCompile->setRange(0, 0);
    pc->addWidget(lbCompileHint);
    pc->addWidget(aniCompile);
    panCompile->hide();
}

void TMainForm::createStatusBar() {
    lblBuildResult = new QLabel(this);
    lblBuildResult->setObjectName(QStringLiteral("lblBuildResult"));
    lblBuildResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnFailedDocuments = new QToolButton(this);
    btnFailedDocuments->setObjectName(QStringLiteral("btnFailedDocuments"));
    btnFailedDocuments->setAutoRaise(true);
    btnFailedDocuments->hide();
    connect(btnFailedDocuments, &QToolButton::clicked, this, &TMainForm::showFailedDocuments);
    statusBar()->addWidget(lblBuildResult, 1);
    statusBar()->addPermanentWidget(btnFailedDocuments);
}

void TMainForm::restoreWindowSettings() {
    const auto settings = workbenchSettings();
    restoreGeometry(settings->value(kGeometryKey).toByteArray());
    if (!splLeftPane->restoreState(settings->value(kSplitterKey).toByteArray()))
        splLeftPane->setSizes({280, width() - 280});
}

void TMainForm::saveWindowSettings() const {
    const auto settings = workbenchSettings();
    settings->setValue(kGeometryKey, saveGeometry());
    settings->setValue(kSplitterKey, splLeftPane->saveState());
}

void TMainForm::createPopupMenus() {
    pmDrop = new QMenu(this);
    pmDrop->setObjectName(QStringLiteral("pmDrop"));
    miCut = pmDrop->addAction(QStringLiteral("移动到此处"));
    miCut->setObjectName(QStringLiteral("miCut"));
    miCopy = pmDrop->addAction(QStringLiteral("拷贝到此处"));
    miCopy->setObjectName(QStringLiteral("miCopy"));

    auto bound = [](QMenu *menu, QAction *target, const char *name, const char *caption) {
        auto *b = new BoundAction(target, QString::fromUtf8(caption), QString(), menu);
        b->setObjectName(QLatin1String(name));
        menu->addAction(b);
        return b;
    };
    pmTree = new QMenu(this);
    pmTree->setObjectName(QStringLiteral("pmTree"));
    miTreeNew = bound(pmTree, actNew, "miTreeNew", "新建同级目录(&N)");
    miTreeNewSub = bound(pmTree, actNewSub, "miTreeNewSub", "新建下级目录(&C)");
    // Rename and Delete run their handlers directly, whatever the commands' state.
    miTreeRename = pmTree->addAction(actRenameCatalog->icon(), QStringLiteral("重命名(&R)"), this,
                                     &TMainForm::actRenameCatalogExecute);
    miTreeRename->setObjectName(QStringLiteral("miTreeRename"));
    miTreeDelete = pmTree->addAction(actDeleteCatalog->icon(), QStringLiteral("删除目录(&D)"),
                                     this, &TMainForm::actDeleteCatalogExecute);
    miTreeDelete->setObjectName(QStringLiteral("miTreeDelete"));
    pmTree->addSeparator();
    miTreeProperties = pmTree->addAction(QStringLiteral("目录属性设置(&L)"), this,
                                         &TMainForm::miTreePropertiesClick);
    miTreeProperties->setObjectName(QStringLiteral("miTreeProperties"));
    pmTree->addSeparator();
    miTreeLeft = bound(pmTree, actLeft, "miTreeLeft", "移到上级目录");
    miTreeUp = bound(pmTree, actUp, "miTreeUp", "上移");
    miTreeDown = bound(pmTree, actDown, "miTreeDown", "下移");
    pmTree->addSeparator();
    miTreeRemove = bound(pmTree, actRemove, "miTreeRemove", "移出");
    miTreeRemoveAll = bound(pmTree, actRemoveAll, "miTreeRemoveAll", "全部移出");
    connect(pmTree, &QMenu::aboutToShow, this, &TMainForm::pmTreePopup);
    connect(tlMain, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { pmTree->popup(tlMain->viewport()->mapToGlobal(p)); });

    pmFileList = new QMenu(this);
    pmFileList->setObjectName(QStringLiteral("pmFileList"));
    miListSetWorkCatalog =
        bound(pmFileList, actSetWorkCatalog, "miListSetWorkCatalog", "设置本地文件目录(&W)");
    miListRefresh =
        pmFileList->addAction(QStringLiteral("刷新(&F)"), this, &TMainForm::miListRefreshClick);
    miListRefresh->setObjectName(QStringLiteral("miListRefresh"));
    miListSelect = bound(pmFileList, actSelect, "miListSelect", "选中(&S)");
    miListSelectAll = bound(pmFileList, actSelectAll, "miListSelectAll", "全部选中(&A)");
    connect(pmFileList, &QMenu::aboutToShow, this, &TMainForm::pmFileListPopup);
    connect(lvWordList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { pmFileList->popup(lvWordList->viewport()->mapToGlobal(p)); });
}

void TMainForm::UpdateProjectState(bool value) {
    project_->SetModified(value);
    actSaveProject->setEnabled(value);
    const bool active = !project_->Closed;
    for (QAction *a : {actCompile, actCloseProject, actNew, actNewSub, actDeleteCatalog,
                       actRenameCatalog, actSelect, actSelectAll, actRemove, actRemoveAll})
        a->setEnabled(active);
    miTreeNew->setOwnEnabled(active);
    miTreeNewSub->setOwnEnabled(active);
    toolSetWorkCatalog->setOwnEnabled(active);
    miListSetWorkCatalog->setOwnEnabled(active);
}

TreeNode *TMainForm::AddNode(TreeNode *parent, const QString &caption, bool isCatalog,
                             bool beginEdit, const QString &link) {
    bool catalog = false;
    TreeNode *node = addNodeToModel(*model_, parent, caption, isCatalog, link, &catalog);
    if (catalog) {
        setFocusedNode(node);
        setInPlaceEditing(beginEdit);
        if (beginEdit)
            tlMain->edit(model_->indexOf(node));
    }
    return node;
}

bool TMainForm::refuseDeeperLevel(const TreeNode *parent) {
    if (depthOf(parent) < kMaxTreeDepth)
        return false;
    prompts_->notice(tooDeepTreeMessage(), UserPrompts::Icon::Warning);
    return true;
}

void TMainForm::setWindowCaption(const QString &caption) { setWindowTitle(caption); }

TreeNode *TMainForm::focusedNode() const { return model_->nodeOf(tlMain->currentIndex()); }

void TMainForm::setFocusedNode(TreeNode *node) {
    tlMain->selectionModel()->setCurrentIndex(model_->indexOf(node), QItemSelectionModel::NoUpdate);
}

QList<TreeNode *> TMainForm::selectedNodes() const {
    QList<TreeNode *> nodes;
    for (const QModelIndex &i : tlMain->selectionModel()->selectedIndexes())
        if (i.column() == 0)
            nodes << model_->nodeOf(i);
    return nodes;
}

void TMainForm::setInPlaceEditing(bool on) {
    tlMain->setEditTriggers(on ? (QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed)
                               : QAbstractItemView::NoEditTriggers);
}

bool TMainForm::inPlaceEditing() const {
    return tlMain->editTriggers() != QAbstractItemView::NoEditTriggers;
}

void TMainForm::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TMainForm::FormShow() {
    UpdateProjectState(false);
    if (model_->topLevelCount() > 0) {
        setFocusedNode(model_->topLevel(0));
        tlMain->selectionModel()->clearSelection();
        tlMain->selectionModel()->select(model_->indexOf(model_->topLevel(0)),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        tlMain->expandAll();
    }
    if (options_.startUpdateCheck)
        startUpdateCheck();
    setWindowTitle(kApplicationTitle);
}

void TMainForm::closeEvent(QCloseEvent *event) {
    // A running build owns the project and the tree until it ends.
    if (building_) {
        event->ignore();
        return;
    }
    if (FormCloseQuery()) {
        saveWindowSettings();
        event->accept();
    } else {
        event->ignore();
    }
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == panPlace && event->type() == QEvent::Resize)
        panPlaceResize();
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace zelbrin::ui

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
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zelbrin::ui {

TMainForm::TMainForm(MainWindowOptions options) : options_(options) {
    if (options_.prompts) {
        prompts_ = options_.prompts;
    } else {
        ownPrompts_ = std::make_unique<QtPrompts>(this);
        prompts_ = ownPrompts_.get();
    }
    model_ = new StructureModel(this);
    setObjectName(QStringLiteral("MainForm"));
    resize(657, 492);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
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
    setupTreeEditing();
    setupPlacing();
    FormCreate();
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
    };
    const Def defs[] = {
        {&actSetWorkCatalog, "actSetWorkCatalog", "文件", "设置工作目录(&W)", "设置工作目录", 0, &TMainForm::actSetWorkCatalogExecute},
        {&actNew, "actNew", "目录", "新建同级目录(&N)", "新建同级目录", 10, &TMainForm::actNewExecute},
        {&actNewSub, "actNewSub", "目录", "新建下级目录(&C)", "新建下级目录", 11, &TMainForm::actNewSubExecute},
        {&actDeleteCatalog, "actDeleteCatalog", "目录", "删除目录(&D)", "删除目录", 5, &TMainForm::actDeleteCatalogExecute},
        {&actRenameCatalog, "actRenameCatalog", "目录", "重命名(&R)", "重命名", 6, &TMainForm::actRenameCatalogExecute},
        {&actQuit, "actQuit", "文件", "退出(&Q)", "退出", 7, &TMainForm::actQuitExecute},
        {&actOpenProject, "actOpenProject", "文件", "打开工程(&O)", "打开工程", 8, &TMainForm::actOpenProjectExecute},
        {&actSaveProject, "actSaveProject", "文件", "保存工程(&S)", "保存工程", 9, &TMainForm::actSaveProjectExecute},
        {&actCloseProject, "actCloseProject", "文件", "关闭工程(&C)", "关闭工程", -1, &TMainForm::actCloseProjectExecute},
        {&actSelect, "actSelect", "编辑", "", "选中", 2, &TMainForm::actSelectExecute},
        {&actSelectAll, "actSelectAll", "编辑", "", "全部选中", 13, &TMainForm::actSelectAllExecute},
        {&actRemove, "actRemove", "编辑", "", "移出", 1, &TMainForm::actRemoveExecute},
        {&actRemoveAll, "actRemoveAll", "编辑", "", "全部移出", 12, &TMainForm::actRemoveAllExecute},
        {&actNewProject, "actNewProject", "文件", "新建工程(&N)", "新建工程", 4, &TMainForm::actNewProjectExecute},
        {&actCompile, "actCompile", "文件", "编译(&C)", "编译", 15, &TMainForm::actCompileExecute},
        {&actUp, "actUp", "节点", "", "上移", 16, &TMainForm::actUpExecute},
        {&actDown, "actDown", "节点", "", "下移", 17, &TMainForm::actDownExecute},
        {&actCutomCompile, "actCutomCompile", "文件", "反编译CHM文件(&U)", "反编译CHM文件", 18, &TMainForm::actCutomCompileExecute},
        {&actSetProdNO, "actSetProdNO", "文件", "设置产品编号(&C)", "设置产品编号", -1, &TMainForm::actSetProdNOExecute},
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
        connect(a, &QAction::triggered, this, d.handler);
        *d.slot = a;
    }
}

QList<QAction *> TMainForm::allActions() const {
    return {actSetWorkCatalog, actNew,        actNewSub,     actDeleteCatalog, actRenameCatalog,
            actQuit,           actOpenProject, actSaveProject, actCloseProject, actSelect,
            actSelectAll,      actRemove,     actRemoveAll,  actNewProject,    actCompile,
            actUp,             actDown,       actCutomCompile, actSetProdNO,   actLeft};
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
    W1 = new BoundAction(actSetWorkCatalog, QStringLiteral("设置本地文件目录(&W)"),
                         QStringLiteral("设置设置本地文件目录目录"), this);
    W1->setObjectName(QStringLiteral("W1"));
    menuFile->addAction(W1);
    menuFile->addAction(actSetProdNO);
    menuFile->addSeparator();
    menuFile->addAction(actNewProject);
    menuFile->addAction(actOpenProject);
    menuFile->addAction(actSaveProject);
    menuFile->addAction(actCloseProject);
    menuFile->addSeparator();
    menuFile->addAction(actCompile);
    menuFile->addAction(actCutomCompile);
    menuFile->addSeparator();
    menuFile->addAction(actQuit);

    menuCatalog = menuBar()->addMenu(QStringLiteral("目录(&C)"));
    menuCatalog->addActions({actNew, actNewSub, actDeleteCatalog, actRenameCatalog});

    menuEdit = menuBar()->addMenu(QStringLiteral("编辑(&E)"));
    entry(menuEdit, actSelect, "N4", "选中(&S)");
    entry(menuEdit, actSelectAll, "A1", "全部选中(&A)");
    entry(menuEdit, actRemove, "R2", "移出(&R)");
    entry(menuEdit, actRemoveAll, "M1", "全部移出(&M)");

    menuNode = menuBar()->addMenu(QStringLiteral("节点(&N)"));
    entry(menuNode, actUp, "N8", "上移(&U)");
    entry(menuNode, actDown, "D2", "下移(&D)");
    entry(menuNode, actLeft, "L1", "左移(&L)");

    menuOther = menuBar()->addMenu(QStringLiteral("其他(&O)"));
    N18 = menuOther->addAction(QStringLiteral("关于..."), this, &TMainForm::N18Click);
    N22 = menuOther->addAction(QStringLiteral("演示"), this, &TMainForm::N22Click);
    U2 = menuOther->addAction(QStringLiteral("升级(&U)"), this, &TMainForm::U2Click);
}

void TMainForm::createToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->addSeparator();
    ToolBar1->addActions({actNewProject, actOpenProject, actSaveProject});
    ToolBar1->addSeparator();
    ToolBar1->addActions({actNew, actNewSub, actRenameCatalog, actDeleteCatalog});
    ToolBar1->addSeparator();
    ToolButton1 = new BoundAction(actSetWorkCatalog, QString(), QStringLiteral("设置文件目录"), this);
    ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
    ToolButton12 = new BoundAction(actCompile, QString(), QStringLiteral("编译成CHM"), this);
    ToolButton12->setObjectName(QStringLiteral("ToolButton12"));
    ToolBar1->addActions({ToolButton1, ToolButton12, actCutomCompile});
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

    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    outer->addWidget(Splitter1, 1);

    // Left pane: the structure tree and the Left/Up/Down buttons.
    panLeft = new QWidget(Splitter1);
    panLeft->setObjectName(QStringLiteral("panLeft"));
    auto *leftLayout = new QVBoxLayout(panLeft);
    leftLayout->setContentsMargins(2, 2, 2, 2);
    GroupBox2 = new QGroupBox(QStringLiteral("CHM结构"), panLeft);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto *gb2 = new QVBoxLayout(GroupBox2);
    tlMain = new StructureView(GroupBox2);
    tlMain->setObjectName(QStringLiteral("tlMain"));
    tlMain->setModel(model_);
    tlMain->setHeaderHidden(true);
    tlMain->setColumnHidden(1, true);
    tlMain->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tlMain->setItemDelegate(new StructureDelegate(tlMain));
    tlMain->setContextMenuPolicy(Qt::CustomContextMenu);
    tlMain->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    tlMain->installEventFilter(this);
    gb2->addWidget(tlMain);
    leftLayout->addWidget(GroupBox2, 1);
    Panel2 = new QWidget(panLeft);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(28);
    auto *p2 = new QHBoxLayout(Panel2);
    p2->setContentsMargins(2, 0, 8, 0);
    SpeedButton7 = speedButton(Panel2, actLeft, "SpeedButton7", QStringLiteral("移到上级目录"));
    SpeedButton5 = speedButton(Panel2, actUp, "SpeedButton5");
    SpeedButton6 = speedButton(Panel2, actDown, "SpeedButton6");
    p2->addWidget(SpeedButton7);
    p2->addStretch(1);
    p2->addWidget(SpeedButton5);
    p2->addWidget(SpeedButton6);
    leftLayout->addWidget(Panel2);

    // Right pane: Select/Remove strip and the working-directory list.
    panClient = new QWidget(Splitter1);
    panClient->setObjectName(QStringLiteral("panClient"));
    auto *clientLayout = new QHBoxLayout(panClient);
    clientLayout->setContentsMargins(2, 2, 2, 2);
    Panel1 = new QWidget(panClient);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedWidth(33);
    SpeedButton1 = speedButton(Panel1, actSelect, "SpeedButton1");
    SpeedButton2 = speedButton(Panel1, actSelectAll, "SpeedButton2");
    SpeedButton3 = speedButton(Panel1, actRemove, "SpeedButton3");
    SpeedButton4 = speedButton(Panel1, actRemoveAll, "SpeedButton4");
    Panel1->installEventFilter(this);
    clientLayout->addWidget(Panel1);
    auto *bevel3 = new QFrame(panClient);
    bevel3->setFrameShape(QFrame::VLine);
    bevel3->setFrameShadow(QFrame::Sunken);
    clientLayout->addWidget(bevel3);
    GroupBox1 = new QGroupBox(QStringLiteral("本地文件目录"), panClient);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto *gb1 = new QVBoxLayout(GroupBox1);
    lvWordList = new WordListWidget(GroupBox1);
    lvWordList->setObjectName(QStringLiteral("lvWordList"));
    lvWordList->setColumnCount(2);
    lvWordList->setColumnHidden(1, true);
    lvWordList->setHeaderHidden(true);
    lvWordList->setRootIsDecorated(false);
    lvWordList->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvWordList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvWordList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvWordList->setContextMenuPolicy(Qt::CustomContextMenu);
    gb1->addWidget(lvWordList);
    clientLayout->addWidget(GroupBox1, 1);

    Splitter1->addWidget(panLeft);
    Splitter1->addWidget(panClient);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({185, 472});

    // Bottom strip with the support texts and the web-address label.
    Show_Panel = new QFrame(central);
    Show_Panel->setObjectName(QStringLiteral("Show_Panel"));
    Show_Panel->setFixedHeight(26);
    auto *sp = new QHBoxLayout(Show_Panel);
    sp->setContentsMargins(6, 0, 6, 0);
    auto *support = new QLabel(QStringLiteral("技术支持：support@zelbrin.example"), Show_Panel);
    auto *caption = new QLabel(QStringLiteral("网址："), Show_Panel);
    lblweb = new WebLabel(QStringLiteral("https://zelbrin.example/"), Show_Panel);
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
    panCompile->resize(225, 65);
    auto *pc = new QHBoxLayout(panCompile);
    Animate1 = new QProgressBar(panCompile);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setFixedSize(33, 33);
    Animate1->setTextVisible(false);
    Animate1->setRange(0, 0);
    lbCompileHint = new QLabel(panCompile);
    lbCompileHint->setObjectName(QStringLiteral("lbCompileHint"));
    lbCompileHint->setStyleSheet(QStringLiteral("color: blue;"));
    pc->addWidget(Animate1);
    pc->addWidget(lbCompileHint, 1);
    panCompile->hide();
}

void TMainForm::createPopupMenus() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    miCut = PopupMenu1->addAction(QStringLiteral("移动到此处"));
    miCut->setObjectName(QStringLiteral("miCut"));
    miCopy = PopupMenu1->addAction(QStringLiteral("拷贝到此处"));
    miCopy->setObjectName(QStringLiteral("miCopy"));

    auto bound = [](QMenu *menu, QAction *target, const char *name, const char *caption) {
        auto *b = new BoundAction(target, QString::fromUtf8(caption), QString(), menu);
        b->setObjectName(QLatin1String(name));
        menu->addAction(b);
        return b;
    };
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    N20 = bound(PopupMenu2, actNew, "N20", "新建同级目录(&N)");
    C5 = bound(PopupMenu2, actNewSub, "C5", "新建下级目录(&C)");
    // Rename and Delete run their handlers directly, whatever the commands' state.
    R3 = PopupMenu2->addAction(actRenameCatalog->icon(), QStringLiteral("重命名(&R)"), this,
                               &TMainForm::actRenameCatalogExecute);
    R3->setObjectName(QStringLiteral("R3"));
    D3 = PopupMenu2->addAction(actDeleteCatalog->icon(), QStringLiteral("删除目录(&D)"), this,
                               &TMainForm::actDeleteCatalogExecute);
    D3->setObjectName(QStringLiteral("D3"));
    PopupMenu2->addSeparator();
    N23 = PopupMenu2->addAction(QStringLiteral("目录属性设置(&L)"), this, &TMainForm::N23Click);
    N23->setObjectName(QStringLiteral("N23"));
    PopupMenu2->addSeparator();
    N9 = bound(PopupMenu2, actLeft, "N9", "移到上级目录");
    N10 = bound(PopupMenu2, actUp, "N10", "上移");
    N11 = bound(PopupMenu2, actDown, "N11", "下移");
    PopupMenu2->addSeparator();
    N13 = bound(PopupMenu2, actRemove, "N13", "移出");
    N14 = bound(PopupMenu2, actRemoveAll, "N14", "全部移出");
    connect(PopupMenu2, &QMenu::aboutToShow, this, &TMainForm::PopupMenu2Popup);
    connect(tlMain, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { PopupMenu2->popup(tlMain->viewport()->mapToGlobal(p)); });

    PopupMenu3 = new QMenu(this);
    PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    W2 = bound(PopupMenu3, actSetWorkCatalog, "W2", "设置本地文件目录(&W)");
    F2 = PopupMenu3->addAction(QStringLiteral("刷新(&F)"), this, &TMainForm::F2Click);
    F2->setObjectName(QStringLiteral("F2"));
    N15 = bound(PopupMenu3, actSelect, "N15", "选中(&S)");
    N16 = bound(PopupMenu3, actSelectAll, "N16", "全部选中(&A)");
    connect(PopupMenu3, &QMenu::aboutToShow, this, &TMainForm::PopupMenu3Popup);
    connect(lvWordList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { PopupMenu3->popup(lvWordList->viewport()->mapToGlobal(p)); });
}

void TMainForm::UpdateProjectState(bool value) {
    project_->SetModified(value);
    actSaveProject->setEnabled(value);
    const bool active = !project_->Closed;
    for (QAction *a : {actCompile, actCloseProject, actNew, actNewSub, actDeleteCatalog,
                       actRenameCatalog, actSelect, actSelectAll, actRemove, actRemoveAll})
        a->setEnabled(active);
    N20->setOwnEnabled(active);
    C5->setOwnEnabled(active);
    ToolButton1->setOwnEnabled(active);
    W2->setOwnEnabled(active);
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
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Panel1 && event->type() == QEvent::Resize)
        Panel1Resize();
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace zelbrin::ui

#include "aboutdialog.h"

#include "weblabel.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace zelbrin::ui {

namespace {

QPixmap banner() {
    QPixmap pixmap(350, 80);
    QPainter p(&pixmap);
    QLinearGradient g(0, 0, 350, 80);
    g.setColorAt(0, QColor(32, 72, 150));
    g.setColorAt(1, QColor(120, 170, 230));
    p.fillRect(pixmap.rect(), g);
    QFont f = p.font();
    f.setPixelSize(30);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(pixmap.rect().adjusted(20, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Zelbrin"));
    return pixmap;
}

}  // namespace

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QStringLiteral("关于"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(350, 291);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(238, 238, 238));
    setPalette(pal);
    QFont f = font();
    f.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans"),
                   QStringLiteral("WenQuanYi Zen Hei")});
    setFont(f);

    imgtop = new QLabel(this);
    imgtop->setObjectName(QStringLiteral("imgtop"));
    imgtop->setGeometry(0, 0, 350, 80);
    imgtop->setPixmap(banner());

    lbltop = new QWidget(this);
    lbltop->setObjectName(QStringLiteral("lbltop"));
    lbltop->setGeometry(0, 80, 350, 10);
    lbltop->setStyleSheet(QStringLiteral(
        "background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #2048a0, stop:1 #eeeeee);"));

    lblver = new QLabel(QStringLiteral("软件版本：3.7.1.0"), this);
    lblver->setObjectName(QStringLiteral("lblver"));
    lblver->setGeometry(24, 104, 300, 20);

    lblsupport = new QLabel(QStringLiteral("技术支持：Zelbrin 开发组"), this);
    lblsupport->setObjectName(QStringLiteral("lblsupport"));
    lblsupport->setGeometry(24, 132, 300, 20);

    lblemail = new QLabel(QStringLiteral("电子邮件：support@zelbrin.example"), this);
    lblemail->setObjectName(QStringLiteral("lblemail"));
    lblemail->setGeometry(24, 160, 300, 20);

    auto *webCaption = new QLabel(QStringLiteral("网址："), this);
    webCaption->setGeometry(24, 188, 60, 20);
    lblweb = new WebLabel(QStringLiteral("https://zelbrin.example/"), this);
    lblweb->setGeometry(84, 188, 240, 20);

    btnok = new QPushButton(QStringLiteral("确定(&O)"), this);
    btnok->setObjectName(QStringLiteral("btnok"));
    btnok->setGeometry(125, 246, 100, 25);
    btnok->setDefault(true);
    connect(btnok, &QPushButton::clicked, this, &AboutDialog::btnokClick);
}

void AboutDialog::btnokClick() { accept(); }

void AboutDialog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

}  // namespace zelbrin::ui

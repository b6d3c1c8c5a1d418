#include "aboutdialog.h"

#include "weblabel.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace zelbrin::ui {

namespace {

QPixmap bannerPicture() {
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

    auto *banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("banner"));
    banner->setFixedSize(350, 80);
    banner->setPixmap(bannerPicture());

    auto *bannerStrip = new QWidget(this);
    bannerStrip->setObjectName(QStringLiteral("bannerStrip"));
    bannerStrip->setFixedHeight(10);
    bannerStrip->setStyleSheet(QStringLiteral(
        "background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #2048a0, stop:1 #eeeeee);"));

    auto *version = new QLabel(QStringLiteral("软件版本：3.7.1.0"), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    auto *support = new QLabel(QStringLiteral("技术支持：Zelbrin 开发组"), this);
    support->setObjectName(QStringLiteral("supportLabel"));
    auto *email = new QLabel(QStringLiteral("电子邮件：support@zelbrin.example"), this);
    email->setObjectName(QStringLiteral("emailLabel"));
    auto *webCaption = new QLabel(QStringLiteral("网址："), this);
    auto *web = new WebLabel(QStringLiteral("https://zelbrin.example/"), this);

    auto *ok = new QPushButton(QStringLiteral("确定(&O)"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setFixedSize(100, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *texts = new QVBoxLayout;
    texts->setContentsMargins(24, 14, 24, 20);
    texts->setSpacing(8);
    texts->addWidget(version);
    texts->addWidget(support);
    texts->addWidget(email);
    auto *webRow = new QHBoxLayout;
    webRow->addWidget(webCaption);
    webRow->addWidget(web, 1);
    texts->addLayout(webRow);
    texts->addStretch(1);
    texts->addWidget(ok, 0, Qt::AlignHCenter);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(banner);
    layout->addWidget(bannerStrip);
    layout->addLayout(texts, 1);
}

void AboutDialog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

}  // namespace zelbrin::ui

#include "dialogbuttons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace zelbrin::ui {

QHBoxLayout *okCancelRow(QDialog *dialog) {
    auto *ok = new QPushButton(QStringLiteral("确 定(&O)"), dialog);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("取 消(&C)"), dialog);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

}  // namespace zelbrin::ui

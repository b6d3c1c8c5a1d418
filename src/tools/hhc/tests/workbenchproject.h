#pragma once

#include "hhctesting.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

// A GBK help project as the workbench writes it, for the tree
//   指南 (catalog)  > 简介 (page), 附录 (catalog with its own page) > 数据 (page)
//   说明 (an ".html" document: the contents say 说明.htm, the page is 说明.html)
//   空目录 (a catalog without documents: its Local is the page ".htm")
// Pages carry a picture, a style sheet (which links a picture of its own), links between
// catalog folders, an anchor and an external link. 数据 is UTF-8, the others GBK.
class WorkbenchProject : public ::testing::Test {
protected:
    void SetUp() override;

    QString folder;       // the project folder, ending in "/"
    QString html;         // its HTML folder
    QString hhp;          // the help project
    QString chm;          // the compiled file the project names
    QByteArray picture;   // 简介.files/图片1.png
    QByteArray background;
    QByteArray chart;
    QByteArray styleSheet;
    const QString name = QStringLiteral("用户手册");

    QTemporaryDir tmp;
};

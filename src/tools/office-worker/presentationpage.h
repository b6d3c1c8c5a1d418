#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace zelbrin::officeworker {

struct SlidePicture {
    QString fileName;  // inside the companion folder
    int width = 0;
    int height = 0;
};

// Companion folder of a page, named after the page's whole file name so that no other
// page in the same folder can share it: "talk.htm" -> "talk_htm_files". (A Word web
// page copied beside it keeps its own "talk.files".)
QString companionFolderName(const QString &pageFileName);

// The presentation's page: the office's one-page text export of the presentation (one
// <h1> per slide, UTF-8) with each slide's picture placed under its title. The pictures
// are linked relatively as companionFolder/fileName. When the export does not hold
// exactly one <h1> per slide, the pictures go together at the end of the page, so
// nothing is lost. With slideAnchors, an <a name> (slideAnchorName) marks where each
// slide begins: before its title, or before its picture when the titles do not match.
QByteArray buildPresentationPage(const QByteArray &textPage, const QString &companionFolder,
                                 const QList<SlidePicture> &pictures, bool slideAnchors = false);

// "zelbrin-slide" + the slide's number, counted from 1.
QString slideAnchorName(int number);

}  // namespace zelbrin::officeworker

#include "presentationpage.h"

#include <QRegularExpression>
#include <QUrl>

namespace zelbrin::officeworker {

QString slideAnchorName(int number) {
    return QStringLiteral("zelbrin-slide%1").arg(number);
}

QString companionFolderName(const QString &pageFileName) {
    QString name = pageFileName;
    name.replace(QLatin1Char('.'), QLatin1Char('_'));
    return name + QStringLiteral("_files");
}

namespace {

QByteArray pictureParagraph(const QString &companionFolder, const SlidePicture &picture,
                            qsizetype number) {
    const QByteArray src = QUrl::toPercentEncoding(companionFolder) + '/' +
                           QUrl::toPercentEncoding(picture.fileName);
    QByteArray html = "<p align=\"center\"><img src=\"" + src + "\" alt=\"" +
                      QStringLiteral("幻灯片 %1").arg(number).toUtf8() + "\"";
    if (picture.width > 0 && picture.height > 0)
        html += " width=\"" + QByteArray::number(picture.width) + "\" height=\"" +
                QByteArray::number(picture.height) + "\"";
    html += "/></p>\r\n";
    return html;
}

QByteArray slideAnchor(qsizetype number) {
    return "<a name=\"" + slideAnchorName(int(number)).toUtf8() + "\"></a>";
}

}  // namespace

QByteArray buildPresentationPage(const QByteArray &textPage, const QString &companionFolder,
                                 const QList<SlidePicture> &pictures, bool slideAnchors) {
    // Where each slide's title ends: the export writes one <h1 ...>...</h1> per slide.
    static const QRegularExpression heading(QStringLiteral("<h1[\\s>].*?</h1>\\s*"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::DotMatchesEverythingOption);
    // Work on UTF-8 bytes mapped one-to-one to Latin-1 characters: offsets stay byte
    // offsets and the bytes of the export pass through untouched.
    const QString text = QString::fromLatin1(textPage);
    QList<qsizetype> titleAt, insertAt;
    for (auto it = heading.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        titleAt << match.capturedStart();
        insertAt << match.capturedEnd();
    }

    QByteArray page;
    if (insertAt.size() == pictures.size()) {
        qsizetype from = 0;
        for (qsizetype i = 0; i < pictures.size(); ++i) {
            if (slideAnchors) {
                page += textPage.mid(from, titleAt[i] - from);
                page += slideAnchor(i + 1);
                from = titleAt[i];
            }
            page += textPage.mid(from, insertAt[i] - from);
            page += pictureParagraph(companionFolder, pictures[i], i + 1);
            from = insertAt[i];
        }
        page += textPage.mid(from);
        return page;
    }

    QByteArray block;
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        if (slideAnchors)
            block += slideAnchor(i + 1);
        block += pictureParagraph(companionFolder, pictures[i], i + 1);
    }
    const qsizetype bodyEnd = textPage.lastIndexOf("</body>");
    if (bodyEnd < 0)
        return textPage + block;
    return textPage.left(bodyEnd) + block + textPage.mid(bodyEnd);
}

}  // namespace zelbrin::officeworker

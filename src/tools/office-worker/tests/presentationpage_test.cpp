#include "presentationpage.h"

#include <gtest/gtest.h>

using namespace zelbrin::officeworker;

namespace {

const QByteArray kTwoSlides =
    "<html>\r\n<head><meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"/>"
    "</head>\r\n<body>\r\n<h1>第一张</h1>\r\n<ul>\r\n<li>甲</li>\r\n</ul>\r\n"
    "<h1 style=\"page-break-before:always; \"></h1>\r\n<p>乙</p>\r\n</body>\r\n</html>";

}  // namespace

TEST(PresentationPage, CompanionFolderIsNamedAfterTheWholePageName) {
    EXPECT_EQ(companionFolderName("talk.htm"), "talk_htm_files");
    EXPECT_EQ(companionFolderName("v1.2 演示.htm"), "v1_2 演示_htm_files");
    // A copied Word web page "talk.html" with its "talk.files" cannot meet ours.
    EXPECT_NE(companionFolderName("talk.htm"), companionFolderName("talk.html"));
}

TEST(PresentationPage, EachSlidePictureFollowsItsTitle) {
    const QByteArray page = buildPresentationPage(
        kTwoSlides, "a b#&_htm_files", {{"slide1.png", 960, 720}, {"slide2.png", 960, 720}});
    const QString text = QString::fromUtf8(page);
    const qsizetype first = text.indexOf("第一张</h1>");
    const qsizetype picture1 = text.indexOf("a%20b%23%26_htm_files/slide1.png");
    const qsizetype item = text.indexOf("<li>甲</li>");
    const qsizetype second = text.indexOf("page-break-before");
    const qsizetype picture2 = text.indexOf("a%20b%23%26_htm_files/slide2.png");
    const qsizetype para = text.indexOf("<p>乙</p>");
    ASSERT_GE(first, 0);
    EXPECT_LT(first, picture1);
    EXPECT_LT(picture1, item);
    EXPECT_LT(item, second);
    EXPECT_LT(second, picture2);
    EXPECT_LT(picture2, para);
    EXPECT_TRUE(text.contains("width=\"960\" height=\"720\""));
    EXPECT_TRUE(text.contains("alt=\"幻灯片 2\""));
    // The rest of the export passes through byte for byte.
    EXPECT_TRUE(page.startsWith(kTwoSlides.left(kTwoSlides.indexOf("<h1>"))));
    EXPECT_TRUE(page.endsWith("<p>乙</p>\r\n</body>\r\n</html>"));
}

TEST(PresentationPage, PicturesGoToTheEndWhenTitlesDoNotMatchSlides) {
    const QByteArray page = buildPresentationPage(
        kTwoSlides, "f", {{"slide1.png", 10, 5}, {"slide2.png", 10, 5}, {"slide3.png", 10, 5}});
    const qsizetype body = page.indexOf("</body>");
    for (const char *name : {"f/slide1.png", "f/slide2.png", "f/slide3.png"}) {
        const qsizetype at = page.indexOf(name);
        EXPECT_GT(at, page.indexOf("<p>乙</p>")) << name;
        EXPECT_LT(at, body) << name;
    }
}

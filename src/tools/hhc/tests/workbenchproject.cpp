#include "workbenchproject.h"

using namespace hhctest;

void WorkbenchProject::SetUp() {
    ASSERT_TRUE(tmp.isValid());
    folder = tmp.path() + QStringLiteral("/项目 一/");
    html = folder + QStringLiteral("temp/html/");
    chm = folder + name + QStringLiteral(".CHM");
    picture = smallPng(0xff2080c0);
    background = smallPng(0xffe0e0a0);
    chart = smallPng(0xff008000);
    styleSheet = "body { color: #202020; background: url(" + gbk(QStringLiteral("背景.png")) + ") }\r\n";

    writeFile(html + QStringLiteral("指南/简介.htm"),
              gbk(QStringLiteral(
                  "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                  "<title>简介</title>\r\n<link rel=\"stylesheet\" type=\"text/css\" href=\"简介.files/样式.css\">"
                  "</head>\r\n<body><a name=\"top\"></a><p>这是简介页面 INTRO-MARKER</p>\r\n"
                  "<img id=\"pic\" src=\"简介.files/图片1.png\" width=6 height=4>\r\n"
                  "<a id=\"tofaq\" href=\"附录/数据.htm#表1\">数据</a> "
                  "<a id=\"ext\" href=\"http://example.com/x.htm\">ext</a> "
                  "<a id=\"anchor\" href=\"#top\">top</a>\r\n</body></html>\r\n")));
    writeFile(html + QStringLiteral("指南/简介.files/样式.css"), styleSheet);
    writeFile(html + QStringLiteral("指南/简介.files/背景.png"), background);
    writeFile(html + QStringLiteral("指南/简介.files/图片1.png"), picture);
    writeFile(html + QStringLiteral("指南/附录.htm"),
              gbk(QStringLiteral("<html><body><p>附录 APPENDIX-MARKER</p></body></html>")));
    writeFile(html + QStringLiteral("指南/附录/数据.htm"),
              QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><a name=\"表1\"></a>"
                             "<p>数据 DATA-MARKER</p><img id=\"chart\" src=\"数据_html_1234.png\">"
                             "<a id=\"back\" href=\"../简介.htm\">返回</a></body></html>")
                  .toUtf8());
    writeFile(html + QStringLiteral("指南/附录/数据_html_1234.png"), chart);
    writeFile(html + QStringLiteral("说明.html"),
              gbk(QStringLiteral("<html><body><p>说明 NOTES-MARKER</p></body></html>")));

    hhp = writeWorkbenchProject(
        folder, name, QStringLiteral("%H指南/简介.htm"),
        {QStringLiteral("<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"指南\">"
                        "<param name=\"ImageNumber\" value=\"1\"></OBJECT><UL>"),
         QStringLiteral("<LI> <OBJECT type=\"text/sitemap\">"),
         QStringLiteral("<param name=\"Name\" value=\"简介\">"),
         QStringLiteral("<param name=\"Local\" value=\"%H指南/简介.htm\">"),
         QStringLiteral("<param name=\"ImageNumber\" value=\"11\"></OBJECT>"),
         QStringLiteral("<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"附录\">"
                        "<param name=\"ImageNumber\" value=\"1\"><param name=\"Local\" value=\"%H指南/附录.htm\">"
                        "</OBJECT><UL>"),
         QStringLiteral("<LI> <OBJECT type=\"text/sitemap\">"),
         QStringLiteral("<param name=\"Name\" value=\"数据\">"),
         QStringLiteral("<param name=\"Local\" value=\"%H指南/附录/数据.htm\">"),
         QStringLiteral("<param name=\"ImageNumber\" value=\"11\"></OBJECT>"),
         QStringLiteral("</UL>"),
         QStringLiteral("</UL></UL>"),
         QStringLiteral("<UL><LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"说明\">"),
         QStringLiteral("<param name=\"Name\" value=\"说明\">"),
         QStringLiteral("<param name=\"Local\" value=\"%H说明.htm\"></OBJECT></UL>"),
         QStringLiteral("<UL><LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"空目录\">"),
         QStringLiteral("<param name=\"Name\" value=\"空目录\">"),
         QStringLiteral("<param name=\"Local\" value=\"%H.htm\"></OBJECT></UL>")},
        {QStringLiteral("<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"简介\">"),
         QStringLiteral("<param name=\"Name\" value=\"%H指南/简介\">"),
         QStringLiteral("<param name=\"Local\" value=\"%H指南/简介.htm\"></OBJECT>"),
         QStringLiteral("<LI> <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"数据\">"),
         QStringLiteral("<param name=\"Name\" value=\"%H指南/附录/数据\">"),
         QStringLiteral("<param name=\"Local\" value=\"%H指南/附录/数据.htm\"></OBJECT>")});
}

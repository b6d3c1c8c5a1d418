#include "decompilecommand.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelbrin;

TEST(DecompileCommand, DestinationEqualToTheHelpFilesFolderIsRefusedAsExactText) {
    // The Linux form of "D:\a\x.chm" with destination "D:\a" and "d:\A".
    EXPECT_TRUE(decompileRefused("/d/a/x.chm", "/d/a"));
    EXPECT_TRUE(decompileRefused("/d/a/x.chm", "  /d/a  "));  // destination is trimmed
    EXPECT_FALSE(decompileRefused("/d/a/x.chm", "/d/A"));
    EXPECT_FALSE(decompileRefused("/D/a/x.chm", "/d/a"));
    EXPECT_FALSE(decompileRefused("/d/a/x.chm", "/d/a/"));  // becomes "/d/a//"
    EXPECT_FALSE(decompileRefused("/d/a/x.chm", "/d/b"));
    // The help file's text is not trimmed before its folder is taken.
    EXPECT_FALSE(decompileRefused(" /d/a/x.chm", "/d/a"));
    // A root destination becomes "//" and so is never the help file's folder.
    EXPECT_EQ(decompileDestinationFolder("/"), "//");
    EXPECT_FALSE(decompileRefused("/x.chm", "/"));
    // Both empty: "" against "/" passes.
    EXPECT_FALSE(decompileRefused("", ""));
    EXPECT_EQ(decompileSourceFolder("/d/a/x.chm"), "/d/a/");
    EXPECT_EQ(decompileSourceFolder("x.chm"), "");
}

TEST(DecompileCommand, ArgumentsAreSeparateAndTrimmed) {
    EXPECT_EQ(decompileArguments("  /my docs/help file.chm ", " /out dir/x "),
              (QStringList{"-decompile", "/out dir/x", "/my docs/help file.chm"}));
    EXPECT_EQ(decompileArguments("", ""), (QStringList{"-decompile", "", ""}));
}

TEST(DecompileCommand, ResultNoticeReportsFailures) {
    DecompileOutcome r = decompileResult(true, 0);
    EXPECT_EQ(r.text, "转换成功！");
    EXPECT_EQ(r.icon, UserPrompts::Icon::Information);
    for (const auto &[exists, code] : {std::pair{false, 0}, {true, 1}, {true, 2}, {false, 1}}) {
        r = decompileResult(exists, code);
        EXPECT_EQ(r.text, "转换失败！");
        EXPECT_EQ(r.icon, UserPrompts::Icon::Warning);
    }
    // An empty field is named before anything is run.
    EXPECT_EQ(decompileMissingFields("/a/x.chm", "/out"), "");
    EXPECT_EQ(decompileMissingFields(" ", "/out"), "转换失败！\n没有填写需转换的CHM文件。");
    EXPECT_EQ(decompileMissingFields("/a/x.chm", ""), "转换失败！\n没有填写保存目录。");
    EXPECT_EQ(decompileMissingFields("", " \t"), "转换失败！\n没有填写需转换的CHM文件和保存目录。");
}

TEST(DecompileCommand, FolderBrowserStart) {
    QTemporaryDir dir;
    const QString program = dir.path() + "/";
    EXPECT_EQ(decompileBrowseStart("", program), program);
    EXPECT_EQ(decompileBrowseStart("   ", program), program);
    EXPECT_EQ(decompileBrowseStart(" " + dir.path() + " ", "/nonexistent/"), dir.path());
    EXPECT_EQ(decompileBrowseStart(dir.path() + "/missing", program), "");
    EXPECT_EQ(decompileBrowseStart("", "/nonexistent/"), "");
}

#include "decompilecommand.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelbrin;

TEST(DecompileCommand, DestinationEqualToTheHelpFilesFolderIsRefusedAsExactText) {
    // The Linux form of "D:\a\x.chm" with destination "D:\a" and "d:\A".
    EXPECT_TRUE(DecompileRefused("/d/a/x.chm", "/d/a"));
    EXPECT_TRUE(DecompileRefused("/d/a/x.chm", "  /d/a  "));  // destination is trimmed
    EXPECT_FALSE(DecompileRefused("/d/a/x.chm", "/d/A"));
    EXPECT_FALSE(DecompileRefused("/D/a/x.chm", "/d/a"));
    EXPECT_FALSE(DecompileRefused("/d/a/x.chm", "/d/a/"));  // becomes "/d/a//"
    EXPECT_FALSE(DecompileRefused("/d/a/x.chm", "/d/b"));
    // The help file's text is not trimmed before its folder is taken.
    EXPECT_FALSE(DecompileRefused(" /d/a/x.chm", "/d/a"));
    // A root destination becomes "//" and so is never the help file's folder.
    EXPECT_EQ(DecompileDestinationFolder("/"), "//");
    EXPECT_FALSE(DecompileRefused("/x.chm", "/"));
    // Both empty: "" against "/" passes.
    EXPECT_FALSE(DecompileRefused("", ""));
    EXPECT_EQ(DecompileSourceFolder("/d/a/x.chm"), "/d/a/");
    EXPECT_EQ(DecompileSourceFolder("x.chm"), "");
}

TEST(DecompileCommand, ArgumentsAreSeparateAndTrimmed) {
    EXPECT_EQ(DecompileArguments("  /my docs/help file.chm ", " /out dir/x "),
              (QStringList{"-decompile", "/out dir/x", "/my docs/help file.chm"}));
    EXPECT_EQ(DecompileArguments("", ""), (QStringList{"-decompile", "", ""}));
}

TEST(DecompileCommand, ResultNoticeReportsFailures) {
    DecompileOutcome r = DecompileResult(true, 0);
    EXPECT_EQ(r.text, "转换成功！");
    EXPECT_EQ(r.icon, UserPrompts::Icon::Information);
    for (const auto &[exists, code] : {std::pair{false, 0}, {true, 1}, {true, 2}, {false, 1}}) {
        r = DecompileResult(exists, code);
        EXPECT_EQ(r.text, "转换失败！");
        EXPECT_EQ(r.icon, UserPrompts::Icon::Warning);
    }
    // An empty field is named before anything is run.
    EXPECT_EQ(DecompileMissingFields("/a/x.chm", "/out"), "");
    EXPECT_EQ(DecompileMissingFields(" ", "/out"), "转换失败！\n没有填写需转换的CHM文件。");
    EXPECT_EQ(DecompileMissingFields("/a/x.chm", ""), "转换失败！\n没有填写保存目录。");
    EXPECT_EQ(DecompileMissingFields("", " \t"), "转换失败！\n没有填写需转换的CHM文件和保存目录。");
}

TEST(DecompileCommand, FolderBrowserStart) {
    QTemporaryDir dir;
    const QString program = dir.path() + "/";
    EXPECT_EQ(DecompileBrowseStart("", program), program);
    EXPECT_EQ(DecompileBrowseStart("   ", program), program);
    EXPECT_EQ(DecompileBrowseStart(" " + dir.path() + " ", "/nonexistent/"), dir.path());
    EXPECT_EQ(DecompileBrowseStart(dir.path() + "/missing", program), "");
    EXPECT_EQ(DecompileBrowseStart("", "/nonexistent/"), "");
}

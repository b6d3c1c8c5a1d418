#include "textimport.h"

#include <QStringEncoder>
#include <gtest/gtest.h>

using zelbrin::officeworker::csvFilterOptions;
using zelbrin::officeworker::looksLikeText;

TEST(TextImport, SeparatorOfTheFirstLineOutsideQuotes) {
    EXPECT_EQ(csvFilterOptions("a,b,c\n1;2;3;4;5\n"), "44,34,76,1");
    EXPECT_EQ(csvFilterOptions("a;b;\"x,y,z\"\n"), "59,34,76,1");
    EXPECT_EQ(csvFilterOptions("a\tb\tc,d\r\n"), "9,34,76,1");
    EXPECT_EQ(csvFilterOptions("single column\n"), "44,34,76,1");
}

TEST(TextImport, Utf8OrElseGb18030) {
    EXPECT_EQ(csvFilterOptions("\xEF\xBB\xBF名称,数量\n"), "44,34,76,1");
    QStringEncoder gbk("GB18030");
    ASSERT_TRUE(gbk.isValid());
    const QByteArray chinese = gbk.encode(QStringLiteral("名称,数量\n苹果,3\n"));
    EXPECT_EQ(csvFilterOptions(chinese), "44,34,85,1");
    // A UTF-8 sequence cut off by the end of the sample is still UTF-8.
    const QByteArray cut = QStringLiteral("名称,数量").toUtf8().chopped(1);
    EXPECT_EQ(csvFilterOptions(cut), "44,34,76,1");
}

TEST(TextImport, BinaryFilesAreNotText) {
    EXPECT_TRUE(looksLikeText("plain\ttext\r\nwith a page break\f\n"));
    QStringEncoder gbk("GB18030");
    EXPECT_TRUE(looksLikeText(gbk.encode(QStringLiteral("中文文本\r\n"))));
    // UTF-16 text is full of NUL bytes but announces itself.
    EXPECT_TRUE(looksLikeText(QByteArray("\xFF\xFEh\0i\0", 6)));
    EXPECT_FALSE(looksLikeText(QByteArray("MZ\x90\0\x03\0\0\0", 8)));
    QByteArray controls(200, 'a');
    for (int i = 0; i < 10; ++i)
        controls[i * 20] = '\x01';
    EXPECT_FALSE(looksLikeText(controls));
}

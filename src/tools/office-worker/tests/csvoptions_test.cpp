#include "csvoptions.h"

#include <QStringEncoder>
#include <gtest/gtest.h>

using zelbrin::officeworker::csvFilterOptions;

TEST(CsvOptions, SeparatorOfTheFirstLineOutsideQuotes) {
    EXPECT_EQ(csvFilterOptions("a,b,c\n1;2;3;4;5\n"), "44,34,76,1");
    EXPECT_EQ(csvFilterOptions("a;b;\"x,y,z\"\n"), "59,34,76,1");
    EXPECT_EQ(csvFilterOptions("a\tb\tc,d\r\n"), "9,34,76,1");
    EXPECT_EQ(csvFilterOptions("single column\n"), "44,34,76,1");
}

TEST(CsvOptions, Utf8OrElseGb18030) {
    EXPECT_EQ(csvFilterOptions("\xEF\xBB\xBF名称,数量\n"), "44,34,76,1");
    QStringEncoder gbk("GB18030");
    ASSERT_TRUE(gbk.isValid());
    const QByteArray chinese = gbk.encode(QStringLiteral("名称,数量\n苹果,3\n"));
    EXPECT_EQ(csvFilterOptions(chinese), "44,34,85,1");
    // A UTF-8 sequence cut off by the end of the sample is still UTF-8.
    const QByteArray cut = QStringLiteral("名称,数量").toUtf8().chopped(1);
    EXPECT_EQ(csvFilterOptions(cut), "44,34,76,1");
}

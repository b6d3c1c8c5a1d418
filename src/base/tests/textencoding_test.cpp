#include "textencoding.h"

#include <gtest/gtest.h>

using namespace zelbrin;

TEST(Gbk, EncodesChineseAndRefusesWhatGbkCannotHold) {
    auto bytes = encodeGbk(QStringLiteral("宋体,9,0"));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, QByteArray("\xCB\xCE\xCC\xE5,9,0"));
    EXPECT_EQ(decodeGbk(*bytes), QStringLiteral("宋体,9,0"));
    EXPECT_FALSE(encodeGbk(QStringLiteral("emoji 😀")));
    EXPECT_FALSE(encodeGbk(QStringLiteral("ทดสอบ")));  // Thai is not in GBK
    EXPECT_EQ(*encodeGbk(QString()), QByteArray());
}

TEST(Gbk, DecodingNeverFails) {
    EXPECT_EQ(decodeGbk(QByteArray("ab\xFF" "c")), QStringLiteral("ab\uFFFDc"));
    EXPECT_EQ(decodeGbk(QByteArray("x\xCB")), QStringLiteral("x\uFFFD"));
}

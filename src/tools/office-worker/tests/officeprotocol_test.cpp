#include "officeprotocol.h"

#include <gtest/gtest.h>

using namespace zelbrin::officeprotocol;

TEST(OfficeProtocol, FieldsWithSeparatorsAndUnicodeSurviveTheRoundTrip) {
    const QStringList fields{QString::fromLatin1(kConvert), QString::fromLatin1(kWriter),
                             QStringLiteral("/tmp/a\tb\\c\nd\re/报告 #1&x=2.doc"),
                             QStringLiteral("/tmp/输出/𠮟.htm")};
    const QByteArray line = encodeLine(fields);
    ASSERT_TRUE(line.endsWith('\n'));
    // Exactly one line, three separators: nothing inside a field can split it.
    EXPECT_EQ(line.count('\n'), 1);
    EXPECT_EQ(line.count('\t'), 3);
    EXPECT_EQ(decodeLine(line), fields);
}

TEST(OfficeProtocol, EmptyFieldsAndTrailingBackslashAreKept) {
    EXPECT_EQ(decodeLine("ERROR\t\n"), (QStringList{"ERROR", ""}));
    EXPECT_EQ(decodeLine(encodeLine({"a\\", ""})), (QStringList{"a\\", ""}));
    // A line without its newline and a malformed escape decode as they stand.
    EXPECT_EQ(decodeLine("OK"), QStringList{"OK"});
    EXPECT_EQ(decodeLine("x\\qy"), QStringList{"x\\qy"});
}

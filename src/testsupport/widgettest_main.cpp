// Test entry for widget tests; they run headless on the offscreen platform.
#include <QApplication>
#include <gtest/gtest.h>

static void setTestEnvironment() {
    const auto set = [](const char *name, const char *value) {
        if (qEnvironmentVariableIsEmpty(name))
            qputenv(name, value);
    };
    set("ZELBRIN_BIN_DIR", ZELBRIN_BUILD_BIN_DIR);
    set("ZELBRIN_TEST_BIN_DIR", ZELBRIN_BUILD_TEST_BIN_DIR);
    set("ZELBRIN_SOURCE_DIR", ZELBRIN_BUILD_SOURCE_DIR);
}

int main(int argc, char **argv) {
    setTestEnvironment();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Test entry for widget tests; they run headless on the offscreen platform.
#include <QApplication>
#include <gtest/gtest.h>

#include "testenvironment.h"

int main(int argc, char **argv) {
    zelbrin::testing::setTestEnvironment();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Test entry for Qt Core tests: an application object for event loops and processes.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "testenvironment.h"

int main(int argc, char **argv) {
    zelbrin::testing::setTestEnvironment();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

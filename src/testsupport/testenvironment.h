#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

namespace zelbrin::testing {

// Puts the build's folders into the environment (unless already set), so tests and the
// programs they start find the build's programs and the sources even outside ctest.
// Converted pages and the prepared office profile go into a cache folder of this test
// program's own, removed when it ends: tests neither see the user's cache nor each other's.
inline void setTestEnvironment() {
    const auto set = [](const char *name, const char *value) {
        if (qEnvironmentVariableIsEmpty(name))
            qputenv(name, value);
    };
    set("ZELBRIN_BIN_DIR", ZELBRIN_BUILD_BIN_DIR);
    set("ZELBRIN_TEST_BIN_DIR", ZELBRIN_BUILD_TEST_BIN_DIR);
    set("ZELBRIN_SOURCE_DIR", ZELBRIN_BUILD_SOURCE_DIR);
    static QTemporaryDir cache(QDir::tempPath() + QStringLiteral("/zelbrin-test-cache-XXXXXX"));
    set("ZELBRIN_CACHE_DIR", QFile::encodeName(cache.path()).constData());
}

}  // namespace zelbrin::testing

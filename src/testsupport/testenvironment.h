#pragma once

#include <QtGlobal>

namespace zelbrin::testing {

// Puts the build's folders into the environment (unless already set), so tests and the
// programs they start find the build's programs and the sources even outside ctest.
inline void setTestEnvironment() {
    const auto set = [](const char *name, const char *value) {
        if (qEnvironmentVariableIsEmpty(name))
            qputenv(name, value);
    };
    set("ZELBRIN_BIN_DIR", ZELBRIN_BUILD_BIN_DIR);
    set("ZELBRIN_TEST_BIN_DIR", ZELBRIN_BUILD_TEST_BIN_DIR);
    set("ZELBRIN_SOURCE_DIR", ZELBRIN_BUILD_SOURCE_DIR);
}

}  // namespace zelbrin::testing

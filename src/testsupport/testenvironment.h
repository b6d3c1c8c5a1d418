#pragma once

#include <QtGlobal>

namespace zelbrin::testing {

// ZELBRIN_BIN_DIR and ZELBRIN_SOURCE_DIR for tests run without them in the environment.
inline void setDefaultTestEnvironment() {
#ifdef ZELBRIN_TEST_BIN_DIR
    if (qEnvironmentVariableIsEmpty("ZELBRIN_BIN_DIR"))
        qputenv("ZELBRIN_BIN_DIR", ZELBRIN_TEST_BIN_DIR);
#endif
#ifdef ZELBRIN_TEST_SOURCE_DIR
    if (qEnvironmentVariableIsEmpty("ZELBRIN_SOURCE_DIR"))
        qputenv("ZELBRIN_SOURCE_DIR", ZELBRIN_TEST_SOURCE_DIR);
#endif
}

}  // namespace zelbrin::testing

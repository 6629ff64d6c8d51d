// A test that needs a program the build did not find (srec_cat, the 68HC11 binutils, ser2net)
// skips itself with the reason on a developer's machine. Under CI (CI=true) `make test` has
// installed every such program first, so there the same skip fails the test: an install step
// that failed quietly must not leave the suite green with those tests unrun.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

inline bool RunsUnderCi() {
    const char *pszCi = std::getenv("CI");
    return pszCi != nullptr && std::strcmp(pszCi, "true") == 0;
}

// Ends the test (or its SetUp) as a skip, or under CI as a failure, saying what is missing.
#define SKIP_FOR_MISSING_TOOL(reason)                                                     \
    do {                                                                                  \
        if (::RunsUnderCi()) FAIL() << (reason) << " (under CI every tool is installed)"; \
        GTEST_SKIP() << (reason);                                                         \
    } while (0)

// Golden files: output compared whole with a file of tests/data.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/test_files.h"

namespace orvo {

/// Whether `actual` is the golden file tests/data/<name>; with ORVO_WRITE_GOLDEN set, writes it
/// there instead (to be checked by eye before it is committed), and fails.
inline ::testing::AssertionResult matchesGoldenFile(const std::string& name,
                                                    const std::string& actual) {
    const std::string path = testing::dataPath(name);
    if (std::getenv("ORVO_WRITE_GOLDEN") != nullptr) {
        testing::writeWholeFile(path, actual);
        return ::testing::AssertionFailure() << "wrote " << path;
    }
    if (testing::readWholeFile(path) == actual) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "differs from " << path << ":\n" << actual;
}

inline void expectGolden(const std::string& name, const std::string& actual) {
    EXPECT_TRUE(matchesGoldenFile(name, actual));
}

}  // namespace orvo

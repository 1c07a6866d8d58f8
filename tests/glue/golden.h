// Golden files: output compared whole with a file of tests/data.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/test_files.h"

namespace orvo {

/// Compares `actual` with the golden file tests/data/<name>; with ORVO_WRITE_GOLDEN set, writes
/// it there instead (to be checked by eye before it is committed).
inline void expectGolden(const std::string& name, const std::string& actual) {
    const std::string path = testing::dataPath(name);
    if (std::getenv("ORVO_WRITE_GOLDEN") != nullptr) {
        testing::writeWholeFile(path, actual);
        ADD_FAILURE() << "written " << path;
    }
    EXPECT_EQ(actual, testing::readWholeFile(path)) << "differs from " << path;
}

}  // namespace orvo

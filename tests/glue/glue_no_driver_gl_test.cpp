// Without a GL driver no context can be made. CTest runs this program with the GL dispatch
// pointed at a driver list that does not exist (tests/glue/CMakeLists.txt), which makes the
// failure real.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "glue/glue.h"
#include "platform/offscreen_surface.h"
#include "tests/test_files.h"

namespace orvo {
namespace {

TEST(GlueWithoutDriver, NoContextIsAnErrorReturnedToTheCaller) {
    ASSERT_NE(std::getenv("__EGL_VENDOR_LIBRARY_FILENAMES"), nullptr)
        << "run through CTest, which points the GL dispatch at no driver";
    OffscreenSurface surface(64, 64);
    Glue glue;
    glue.initViewer(surface, 0, 0);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(glue.openGraphFile(testing::dataPath("viewer_second.graph")), 0);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(glue.noContext());
    EXPECT_EQ(glue.openError(), "wglCreateContext Failed");
    EXPECT_FALSE(glue.openCancelled());
    EXPECT_FALSE(glue.graphLoaded());
    EXPECT_EQ(out + err, "") << "the glue prints nothing and the process goes on";

    // An input that cannot be read fails before a context is asked for, and says so.
    EXPECT_EQ(glue.openGraphFile(testing::dataPath("no_such_file.graph")), 0);
    EXPECT_FALSE(glue.noContext());
    EXPECT_NE(glue.openError().find("No such file"), std::string::npos) << glue.openError();
}

}  // namespace
}  // namespace orvo

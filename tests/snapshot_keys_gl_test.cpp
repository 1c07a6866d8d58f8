// orvo-snapshot --keys: keyboard commands applied as if typed into the view, seen in the PNG.
#include <gtest/gtest.h>

#include <string>

#include "platform/png_image.h"

#ifdef ORVO_SNAPSHOT_DIR
#ifndef ORVO_TOOLS_DIR
#define ORVO_TOOLS_DIR ORVO_SNAPSHOT_DIR
#endif
#include "run_tool.h"

namespace orvo {
namespace {

const std::string kSite = std::string(ORVO_SOURCE_DIR) + "/examples/site.graph";

/// Pixels of the picture within 8 levels of the colour.
int countColour(const RgbaImage& image, float r, float g, float b) {
    auto close = [](uint8_t v, float want) {
        return std::abs(static_cast<int>(v) - static_cast<int>(want * 255.0f + 0.5f)) <= 8;
    };
    int n = 0;
    for (size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
        const uint8_t* p = &image.pixels[i];
        n += close(p[0], r) && close(p[1], g) && close(p[2], b);
    }
    return n;
}

RgbaImage snapshot(const test::TempDir& dir, const std::string& keys) {
    const std::string out = dir / ("keys" + std::to_string(keys.size()) + ".png");
    std::vector<std::string> arguments{kSite, "-o", out, "--size", "400x300"};
    if (!keys.empty()) {
        arguments.push_back("--keys");
        arguments.push_back(keys);
    }
    const auto run = test::runTool("orvo-snapshot", arguments);
    EXPECT_EQ(run.status, 0) << keys << ": " << run.err;
    RgbaImage image;
    std::string error;
    EXPECT_TRUE(readPng(out, image, error)) << error;
    return image;
}

TEST(SnapshotKeysTest, KeysChangeThePictureAsInTheView) {
    test::TempDir dir;
    const RgbaImage plain = snapshot(dir, "");
    EXPECT_GT(countColour(plain, 1, 1, 1), 400 * 300 / 2);  // white ground
    EXPECT_GT(countColour(plain, 1, 0, 1), 20);             // image nodes
    EXPECT_GT(countColour(plain, 0.9f, 0.7f, 0.6f), 500);   // the sphere

    // Two "R": scheme 2, black ground and a dark sphere.
    const RgbaImage dark = snapshot(dir, "RR");
    EXPECT_GT(countColour(dark, 0, 0, 0), 400 * 300 / 2);
    EXPECT_GT(countColour(dark, 0.25f, 0.15f, 0.1f), 300);
    // Then "s": the sphere's toggle starts at 1, so its first press takes the sphere away.
    const RgbaImage noSphere = snapshot(dir, "RRs");
    EXPECT_LT(countColour(noSphere, 0.25f, 0.15f, 0.1f), 10);
    // "m" twice hides images (the first press shows them, as they already are).
    EXPECT_GT(countColour(snapshot(dir, "m"), 1, 0, 1), 20);
    EXPECT_EQ(countColour(snapshot(dir, "mm"), 1, 0, 1), 0);
    // "n" hides every node: no html page (cyan) is drawn.
    EXPECT_GT(countColour(plain, 0, 1, 1), 25);
    EXPECT_EQ(countColour(snapshot(dir, "n"), 0, 1, 1), 0);
}

}  // namespace
}  // namespace orvo

#endif  // ORVO_SNAPSHOT_DIR

// File > Export Picture and Export Layout without the window: the view drawn again offscreen
// gives the very pixels orvo-snapshot draws for the same view, at any size up to the limit;
// the layout CSV is orvo-inspect's; failures leave no file behind and keep an old one.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "glue/picture_export.h"
#include "graph/positions_csv.h"
#include "platform/png_image.h"
#include "tests/glue/glue_rig.h"
#include "tests/run_tool.h"

namespace orvo {
namespace {

using test::readWholeFile;
using test::runTool;
using test::TempDir;
using test::writeWholeFile;

// Seconds of refinement: enough to draw every node whatever the machine's speed.
constexpr double kWholeGraph = 3600.0;

RgbaImage readPicture(const std::string& path) {
    RgbaImage image;
    std::string error;
    EXPECT_TRUE(readPng(path, image, error)) << error;
    return image;
}

bool samePicture(const RgbaImage& a, const RgbaImage& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

class PictureExportTest : public GlueRig {
protected:
    void openSite() {
        open(kSite);
        finishedPicture();
    }
    /// orvo-snapshot's picture of the site with these extra options.
    RgbaImage snapshot(const std::vector<std::string>& options) {
        std::vector<std::string> arguments{kSite, "-o", dir / "snapshot.png", "--refine-limit",
                                           "3600"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const test::ToolRun run = runTool("orvo-snapshot", arguments);
        EXPECT_EQ(run.status, 0) << run.err;
        return readPicture(dir / "snapshot.png");
    }
    bool exportAt(int width, int height, const std::string& path, std::string& error) {
        PictureExport picture;
        picture.width = width;
        picture.height = height;
        picture.refineLimitSeconds = kWholeGraph;
        return exportPicture(viewer(), picture, path, error);
    }

    TempDir dir;
};

TEST_F(PictureExportTest, TheExportsAreWhatOrvoSnapshotAndOrvoInspectMakeOfTheSameView) {
    openSite();
    // Whole frames, as the snapshot draws them: a window frame cut short by time (a go-to's, the
    // redraw after an export) would place other labels and could start the next frame elsewhere.
    drawWhole();
    std::string error;
    // The window is 400 x 300; the picture is asked for at another size and shape.
    ASSERT_TRUE(exportAt(640, 360, dir / "export.png", error)) << error;
    EXPECT_TRUE(samePicture(readPicture(dir / "export.png"), snapshot({"--size", "640x360"})));

    // Another view: a page brought to the centre, labels shown in full, the dark scheme. The
    // snapshot gets there with the same commands.
    const std::string page = "http://www.example.org/faq.html";
    ASSERT_EQ(viewer().gotoNode(page, 1), 1);
    keys("llRR");
    ASSERT_TRUE(exportAt(500, 500, dir / "export.png", error)) << error;
    EXPECT_TRUE(samePicture(readPicture(dir / "export.png"),
                            snapshot({"--size", "500x500", "--goto", page, "--keys", "llRR"})));

    // The window's own picture is drawn again, as it was, once the export is done.
    const std::vector<uint8_t> before = finishedPicture();
    ASSERT_TRUE(exportAt(64, 48, dir / "small.png", error)) << error;
    idleToTheEnd();
    std::vector<uint8_t> after;
    ASSERT_TRUE(surface->readPixels(DrawBuffer::Front, after));
    EXPECT_TRUE(before == after) << "the window's picture changed";

    // Export Layout writes orvo-inspect's CSV of the same file.
    ASSERT_TRUE(writePositionsCsvFile(dir / "layout.csv", graph(), error)) << error;
    const test::ToolRun inspect =
        runTool("orvo-inspect", {kSite, "--positions", dir / "inspect.csv"});
    ASSERT_EQ(inspect.status, 0) << inspect.err;
    const std::string csv = readWholeFile(dir / "layout.csv");
    EXPECT_TRUE(csv.starts_with("index,id,x,y,z\n")) << csv.substr(0, 40);
    EXPECT_EQ(csv, readWholeFile(dir / "inspect.csv"));
}

/// The file-size limit of the process, lowered for a while: writes beyond it fail as on a
/// full disk (the signal it would raise is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    sighandler_t oldHandler_;
};

TEST_F(PictureExportTest, AFailedExportSaysWhyAndLeavesNoHalfWrittenFile) {
    std::string error;
    EXPECT_FALSE(exportAt(100, 100, dir / "none.png", error)) << "no graph yet";
    EXPECT_FALSE(error.empty());
    openSite();
    for (const auto& [w, h] : {std::pair{0, 10}, {10, 0}, {8193, 10}, {10, 8193}, {-1, -1}}) {
        EXPECT_FALSE(exportAt(w, h, dir / "bad.png", error)) << w << "x" << h;
        EXPECT_NE(error.find("8192"), std::string::npos) << error;
    }
    // A folder that does not exist, and a folder in the file's place.
    EXPECT_FALSE(exportAt(200, 100, dir / "no/such/folder/p.png", error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    std::filesystem::create_directory(dir / "taken.png");
    EXPECT_FALSE(exportAt(200, 100, dir / "taken.png", error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;

    // A full disk: the old picture stays whole and no temporary file is left.
    writeWholeFile(dir / "old.png", "the old picture");
    writeWholeFile(dir / "old.csv", "the old layout");
    {
        const FileSizeLimit full(1000);
        EXPECT_FALSE(exportAt(400, 300, dir / "old.png", error));
        EXPECT_NE(error.find("too large"), std::string::npos) << error;
        EXPECT_FALSE(writePositionsCsvFile(dir / "old.csv", graph(), error));
        EXPECT_NE(error.find("old.csv"), std::string::npos) << error;
    }
    EXPECT_EQ(readWholeFile(dir / "old.png"), "the old picture");
    EXPECT_EQ(readWholeFile(dir / "old.csv"), "the old layout");
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 3u) << "taken.png, old.png, old.csv and nothing else";
    // 8192 pixels a side is the largest: a long, thin picture keeps the test's memory small.
    ASSERT_TRUE(exportAt(8192, 16, dir / "wide.png", error)) << error;
    const RgbaImage wide = readPicture(dir / "wide.png");
    EXPECT_EQ(wide.width, 8192);
    EXPECT_EQ(wide.height, 16);
}

}  // namespace
}  // namespace orvo

// File > Export Picture and Export Layout without the window: the view drawn again offscreen
// gives the very pixels orvo-snapshot draws for the same view, at any size up to the limit;
// the layout CSV is orvo-inspect's; failures leave no file behind and keep an old one.
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>

#include "glue/legend_picture.h"
#include "glue/measure_legend.h"
#include "glue/picture_export.h"
#include "graph/positions_csv.h"
#include "import/import_converter.h"
#include "platform/png_image.h"
#include "tests/glue/glue_rig.h"
#include "tests/run_tool.h"

namespace orvo {
namespace {

using test::readWholeFile;
using test::runTool;
using test::TempDir;
using test::writeWholeFile;
using testing::readPicture;

// Seconds of refinement: enough to draw every node whatever the machine's speed.
constexpr double kWholeGraph = 3600.0;

bool samePicture(const RgbaImage& a, const RgbaImage& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

class PictureExportTest : public GlueRig {
protected:
    void openSite() {
        open(kSite);
        finishedPicture();
    }
    /// orvo-snapshot's picture of the input with these extra options, drawn as the rig's
    /// surface draws, through the fixed functions.
    RgbaImage snapshot(const std::vector<std::string>& options, const std::string& input = kSite) {
        std::vector<std::string> arguments{
            input, "-o", dir / "snapshot.png", "--refine-limit", "3600", "--gl", "legacy"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const test::ToolRun run = runTool("orvo-snapshot", arguments);
        EXPECT_EQ(run.status, 0) << run.err;
        return readPicture(dir / "snapshot.png");
    }
    /// File > Export Picture at this size, with the window's legend or without.
    bool exportAt(int width, int height, const std::string& path, std::string& error,
                  bool legend = false) {
        PictureExport picture;
        picture.width = width;
        picture.height = height;
        picture.refineLimitSeconds = kWholeGraph;
        picture.legend = legend;
        picture.measureLegend = legend ? glue->measureLegend() : MeasureLegend{};
        return exportPicture(viewer(), picture, path, error);
    }
    /// The window's font, as the pictures' legends are written in.
    RasterFont font() {
        const std::optional<RasterFont> raster =
            rasteriseLatin1Font(settings().fontFace, settings().fontHeight);
        EXPECT_TRUE(raster);
        return raster.value_or(RasterFont{});
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

// A package dependency list, "package,depends,section", as a distribution's package lists give
// it: 600 packages in 14 sections of different sizes, each depending on one or two before it.
std::string dependencyEdges() {
    const char* const sections[] = {"libs", "devel", "net", "utils",   "admin", "python", "perl",
                                    "x11",  "web",   "doc", "science", "games", "sound",  "mail"};
    std::string csv = "package,depends,section\n";
    for (int i = 1; i < 600; ++i) {
        // Section k takes a share of 14 - k in 105: libs the most, mail the fewest.
        int k = (i * 37) % 105, section = 0;
        while (k >= 14 - section) k -= 14 - section++;
        const std::string name = "pkg" + std::to_string(i);
        csv += name + ",pkg" + std::to_string((i - 1) / 4) + "," + sections[section] + "\n";
        if (i % 5 == 0)
            csv += name + ",pkg" + std::to_string(i / 7) + "," + sections[section] + "\n";
    }
    return csv;
}

const uint8_t* pixelAt(const RgbaImage& image, int x, int y) {
    return &image.pixels[(size_t(y) * size_t(image.width) + size_t(x)) * 4];
}

/// Whether the pixel is the colour, within a step of rounding.
bool pixelIs(const RgbaImage& image, int x, int y, const Rgb& c) {
    const uint8_t* p = pixelAt(image, x, y);
    for (size_t k = 0; k < 3; ++k)
        if (std::abs(int(p[k]) - int(std::lround(c[k] * 255))) > 1) return false;
    return true;
}

/// The palette colours drawn on at least `least` pixels.
std::set<size_t> paletteColoursDrawn(const RgbaImage& image, int least) {
    std::set<size_t> drawn;
    for (size_t i = 0; i < kPaletteSize; ++i) {
        int pixels = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) pixels += pixelIs(image, x, y, paletteColour(i));
        if (pixels >= least) drawn.insert(i);
    }
    return drawn;
}

/// That a legend in the top left corner changed many pixels of the picture, and none outside its
/// box (right and bottom edges excluded).
void expectOnlyTheBoxChanged(const RgbaImage& without, const RgbaImage& with, int boxX1, int boxY1) {
    ASSERT_TRUE(without.width == with.width && without.height == with.height);
    size_t changed = 0, outside = 0;
    for (int y = 0; y < with.height; ++y) {
        for (int x = 0; x < with.width; ++x) {
            const bool differs = std::memcmp(pixelAt(without, x, y), pixelAt(with, x, y), 4) != 0;
            changed += differs;
            outside += differs && !(x < boxX1 && y < boxY1);
        }
    }
    EXPECT_GT(changed, 1000u);
    EXPECT_EQ(outside, 0u);
}

// A dependency graph coloured by section shows its sections in as many colours on the start
// view; --legend and an export with the legend draw the same legend box over the same picture,
// each swatch in its group's colour (an empty one for a hidden group), and change nothing else.
TEST_F(PictureExportTest, SectionsShowInTheirColoursAndTheLegendNamesThem) {
    writeWholeFile(dir / "deps.csv", dependencyEdges());
    makeGlue(importConverter());
    open(dir / "deps.csv");
    drawWhole();
    const RgbaImage plain = snapshot({"--size", "800x600"}, dir / "deps.csv");
    EXPECT_GE(paletteColoursDrawn(plain, 4).size(), 10u);
    const RgbaImage withLegend = snapshot({"--size", "800x600", "--legend"}, dir / "deps.csv");

    const Legend legend = groupLegend(graph(), kPictureLegendRows);
    ASSERT_EQ(legend.rows.size(), kPictureLegendRows + 2) << "12 sections, other, no group";
    EXPECT_EQ(legend.rows[12].name, "other");
    const LegendPlacement place = placeLegend(legend, font());
    ASSERT_EQ(place.swatches.size(), legend.rows.size());
    ASSERT_LT(place.box.y1, 600);
    const Rgb black{0, 0, 0}, white{1, 1, 1};
    EXPECT_TRUE(pixelIs(withLegend, place.box.x1 - 1, place.box.y1 - 1, black)) << "its frame";
    for (size_t i = 0; i < legend.rows.size(); ++i) {
        const auto& s = place.swatches[i];
        EXPECT_TRUE(
            pixelIs(withLegend, (s.x0 + s.x1) / 2, (s.y0 + s.y1) / 2, legend.rows[i].colour))
            << legend.rows[i].name;
    }
    expectOnlyTheBoxChanged(plain, withLegend, place.box.x1, place.box.y1);

    // The export with the legend is the snapshot's picture; a hidden group's swatch is empty.
    std::string error;
    ASSERT_TRUE(exportAt(800, 600, dir / "export.png", error, true)) << error;
    EXPECT_TRUE(samePicture(readPicture(dir / "export.png"), withLegend));
    ASSERT_EQ(viewer().setGroupHidden(0, legend.rows[0].name, 1), 1);
    ASSERT_TRUE(exportAt(800, 600, dir / "export.png", error, true)) << error;
    const RgbaImage hidden = readPicture(dir / "export.png");
    const auto& s = place.swatches[0];
    EXPECT_TRUE(pixelIs(hidden, (s.x0 + s.x1) / 2, (s.y0 + s.y1) / 2, white));
    EXPECT_TRUE(pixelIs(hidden, s.x0, (s.y0 + s.y1) / 2, legend.rows[0].colour));
}

// Coloured by a measure, the export is coloured and labelled as the view is, and its legend is
// the window's legend of the measure: its title, the ramp from the low end's colour to the high
// end's, and the values at either end. orvo-snapshot --colour-by --legend draws the very same
// picture; the legend changes nothing outside its box.
TEST_F(PictureExportTest, UnderAMeasureTheExportAndItsLegendAreTheMeasures) {
    openSite();
    glue->waitForMeasures();
    glue->setColourBy(Measure::Score);
    glue->setLabelsByScore(true);
    drawWhole();
    const std::vector<std::string> size{"--size", "640x360"};
    auto snap = [&](std::vector<std::string> more) {
        more.insert(more.begin(), size.begin(), size.end());
        return snapshot(more);
    };
    const RgbaImage groups = snap({}),
                    byScore = snap({"--colour-by", "score", "--label-order", "score"}),
                    withLegend =
                        snap({"--colour-by", "score", "--label-order", "score", "--legend"});
    EXPECT_FALSE(samePicture(byScore, groups));

    std::string error;
    ASSERT_TRUE(exportAt(640, 360, dir / "export.png", error)) << error;
    EXPECT_TRUE(samePicture(readPicture(dir / "export.png"), byScore));
    const MeasureLegend legend = glue->measureLegend();
    ASSERT_EQ(legend.title, "Link score (log scale)");
    ASSERT_TRUE(exportAt(640, 360, dir / "export.png", error, true)) << error;
    EXPECT_TRUE(samePicture(readPicture(dir / "export.png"), withLegend));

    const MeasureLegendPlacement place = placeMeasureLegend(legend, font());
    ASSERT_LT(place.box.y1, 360);
    const Rgb black{0, 0, 0};
    EXPECT_TRUE(pixelIs(withLegend, place.box.x1 - 1, place.box.y1 - 1, black)) << "its frame";
    // The ramp's ends in the colours of the colouring's ends (within a step of rounding), its
    // middle in neither.
    const int middle = (place.ramp.y0 + place.ramp.y1) / 2;
    EXPECT_TRUE(pixelIs(withLegend, place.ramp.x0, middle, rampColour(0.0)));
    EXPECT_TRUE(pixelIs(withLegend, place.ramp.x1 - 1, middle, rampColour(1.0)));
    const int centre = (place.ramp.x0 + place.ramp.x1) / 2;
    EXPECT_FALSE(pixelIs(withLegend, centre, middle, rampColour(0.0)));
    EXPECT_FALSE(pixelIs(withLegend, centre, middle, rampColour(1.0)));
    // The ends' values are written below the ramp: text pixels on the third line, at the left
    // under the low end and at the right under the high end.
    auto inked = [&](int x0, int x1) {
        size_t n = 0;
        for (int y = place.ramp.y1 + 2; y < place.box.y1 - 1; ++y)
            for (int x = x0; x < x1; ++x) n += pixelIs(withLegend, x, y, black);
        return n;
    };
    EXPECT_GT(inked(place.ramp.x0, centre - 20), 10u);
    EXPECT_GT(inked(centre + 20, place.ramp.x1), 10u);
    expectOnlyTheBoxChanged(byScore, withLegend, place.box.x1, place.box.y1);
}

}  // namespace
}  // namespace orvo

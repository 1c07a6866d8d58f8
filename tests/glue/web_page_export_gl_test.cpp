// File > Export Web Page without the window: the graph on view written as a published map that
// starts where the view is (its centre node, hidden groups, colouring and colour scheme), the
// graph it carries reading back as the graph on view; without the page's parts, or without a
// graph, nothing is written and the error says why.
#include <algorithm>
#include <filesystem>
#include <string>

#include "glue/web_page_export.h"
#include "graph/outline_writer.h"
#include "tests/glue/glue_rig.h"
#include "tests/graph_test_support.h"
#include "tests/published_map.h"
#include "tests/run_tool.h"

namespace orvo {
namespace {

using test::readWholeFile;
using test::TempDir;
using test::writeWholeFile;

using testing::elementText;
using testing::gunzip;
using testing::unbase64;

class WebPageExportTest : public GlueRig {
protected:
    void SetUp() override {
        GlueRig::SetUp();
        // The real page, with a program that stands for the built one.
        std::filesystem::create_directories(dir / "module");
        writeWholeFile(dir / "module/orvo-web.js", "function createOrvoModule() {}\n");
        writeWholeFile(dir / "module/orvo-web.wasm", "wasm program");
        places = {{dir.file("nowhere"), dir.file("nowhere")},
                  {std::string(ORVO_SOURCE_DIR) + "/web", dir.file("module")}};
    }
    TempDir dir;
    std::vector<WebPartsPlace> places;
};

TEST_F(WebPageExportTest, TheMapStartsAtTheViewWithItsGroupsAndColours) {
    std::string error;
    EXPECT_FALSE(exportWebPage(*glue, dir / "none.html", "t", places, error));
    EXPECT_EQ(error, "no graph is open");
    open(kSite);
    finishedPicture();
    const char* centre = "http://www.example.org/contact.html";
    ASSERT_EQ(glue->travelTo(centre), 1);
    idleToTheEnd();
    const Legend legend = glue->legend(kLegendRows);
    const auto image = std::find_if(legend.rows.begin(), legend.rows.end(),
                                    [](const LegendRow& row) { return row.name == "image"; });
    ASSERT_NE(image, legend.rows.end());
    ASSERT_EQ(glue->toggleLegendRow(0, *image), 1);
    glue->keyViewer('g');  // colour by site group
    glue->keyViewer('R');
    glue->keyViewer('R');  // the third colour scheme
    finishedPicture();
    ASSERT_NE(viewer().renderer().centreNode(), nullptr);
    ASSERT_EQ(std::string(viewer().renderer().centreNode()->id), centre);

    const std::string map = dir / "map.html";
    ASSERT_TRUE(exportWebPage(*glue, map, "The <site>", places, error)) << error;
    const std::string page = readWholeFile(map);
    const std::string options = elementText(page, "orvo-options");
    // The layout starts at the top node, as a fresh load's: the view itself goes with the graph.
    for (const std::string& part : {std::string("\"title\":\"The \\u003csite\\u003e\""),
                                    std::string("\"start\":null"), std::string("\"keys\":\"RR\""),
                                    std::string("\"colourKind\":1"), std::string("\"hidden\":[]"),
                                    std::string("\"veiled\":[{\"kind\":0,\"name\":\"image\"}]")})
        EXPECT_NE(options.find(part), std::string::npos) << part << " not in " << options;
    const std::string outline = gunzip(unbase64(elementText(page, "orvo-graph")));
    const std::string graphPart = graphOutline(graph());
    ASSERT_EQ(outline.substr(0, graphPart.size()), graphPart);
    EXPECT_EQ(outline.substr(graphPart.size()).rfind("-99 position ", 0), 0u);
    ViewerSettings settings;
    Graph again(settings);
    ASSERT_TRUE(testing::readText(again, outline));
    const ProjTransform view = viewer().renderer().baseView() * again.homeTransform();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(view.m[i], viewer().renderer().viewTransform().m[i], 1e-12) << i;

    // Without the page's parts: the places looked in are named, and nothing is written.
    EXPECT_FALSE(exportWebPage(*glue, dir / "other.html", "t", {places[0]}, error));
    EXPECT_NE(error.find("the web page is not built: run ./scripts/setup.sh web (looked in " +
                         dir.file("nowhere")),
              std::string::npos)
        << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "other.html"));
}

}  // namespace
}  // namespace orvo

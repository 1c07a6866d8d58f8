// Maps opened through the glue on an offscreen Mesa context: the same picture, search and
// travel as the outline they were made from, Find over the whole of a map shown a region at a
// time; the measures a map carries taken from it; the map
// cache that makes re-opening an unchanged outline as quick; a damaged map refused with the
// graph on view kept.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "graph/node_measures.h"
#include "glue/status_text.h"
#include "glue/web_page_export.h"
#include "mapfile/map_cache.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_writer.h"
#include "tests/glue/glue_rig.h"
#include "tests/measures_test_support.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

class MapOpenTest : public GlueRig {
public:
    // The example site's map, written from the graph the glue read, under this name.
    std::string siteMap(const std::string& name) {
        open(kSite);
        const std::string path = dir / name;
        EXPECT_EQ(writeMapFile(path, graph(), settings()), "");
        makeGlue();
        return path;
    }
    // The finished picture and what finding, picking and travelling give on the graph on view.
    std::vector<uint8_t> pictureAndWork() {
        drawWhole();
        std::vector<uint8_t> picture = finishedPicture();
        const SearchResult found = glue->findNodes("faq", 5);
        std::string more;
        for (const SearchHit& hit : found.hits)
            more += std::string(graph().nodes[static_cast<size_t>(hit.node)]->id) + " ";
        glue->travelTo("http://www.example.org/faq.html");
        idleToTheEnd();
        more += std::to_string(glue->history().canGoBack());
        picture.insert(picture.end(), more.begin(), more.end());
        const std::vector<uint8_t> after = finishedPicture();
        picture.insert(picture.end(), after.begin(), after.end());
        return picture;
    }
    testing::TempDir dir;
};

TEST_F(MapOpenTest, AMapShowsWhatItsOutlineShows) {
    const std::string map = siteMap("site.graph");  // known by content, whatever its name
    open(kSite);
    const std::vector<uint8_t> fromOutline = pictureAndWork();
    makeGlue();
    open(map);
    EXPECT_TRUE(pictureAndWork() == fromOutline);
    // Cut short on disk while it is on view: what is on view was read whole and stays.
    ASSERT_EQ(::truncate(map.c_str(), 100), 0);
    EXPECT_FALSE(finishedPicture().empty());
    EXPECT_EQ(glue->openGraphFile(map, request), 0);
    EXPECT_NE(glue->openError().find("it is cut short: 100 of its"), std::string::npos)
        << glue->openError();
    EXPECT_EQ(graph().nodes.size(), 3000u);
}

// Shown a region at a time, a map is searched whole, from its own id text: the same hits (ids,
// ranks, names) and totals as the map read whole, before the index is built and after, hits
// outside the region included; choosing one travels to it, and the index outlives the region.
TEST_F(MapOpenTest, FindSearchesTheWholeOfAMapShownARegionAtATime) {
    // A generated site with upper-case letters in some ids and labels on some nodes.
    std::string outline = generateSiteGraph({3000, 5});
    for (size_t at = 0; (at = outline.find("/a", at)) != std::string::npos; at += 2)
        outline[at + 1] = 'A';
    const std::string outlinePath = dir / "upper.graph";
    std::ofstream(outlinePath, std::ios::binary) << outline;
    open(outlinePath);
    for (size_t i = 5; i < graph().nodes.size(); i += 97)
        graph().setLabel(*graph().nodes[i], "Label " + std::to_string(i % 7) + " of " +
                                                 std::string(graph().nodes[i]->id.substr(7, 5)));
    glue->waitForMeasures();
    const std::string map = dir / "upper.orvomap";
    ASSERT_EQ(writeMapFile(map, graph(), settings(), &glue->measures()), "");

    const std::vector<std::string> queries{"a",        "A",       "/a",    "HTML", "label 3",
                                           "LABEL 6 OF", "www.",  "zzzz",  "\xff", "",
                                           std::string(graph().nodes[2999]->id),
                                           std::string(graph().labelOf(*graph().nodes[5]))};
    // Each query's total, then each hit's rank, id, name and whether it is shown.
    const auto answers = [&] {
        std::vector<std::string> all;
        for (const std::string& q : queries) {
            const SearchResult found = glue->findNodes(q, 12);
            std::string text = std::to_string(found.total) + ":";
            for (const SearchHit& hit : found.hits) {
                const FoundNode node = glue->foundNode(hit);
                text += " " + std::to_string(int(hit.rank)) + " " + node.id + " " + node.name +
                        (node.shown ? "" : " hidden");
            }
            all.push_back(text);
        }
        return all;
    };
    makeGlue();
    open(map);
    ASSERT_EQ(graph().nodes.size(), 3000u);
    idleToTheEnd();
    ASSERT_TRUE(glue->searchIndex().complete(graph()));
    const std::vector<std::string> whole = answers();
    EXPECT_EQ(whole[0].substr(0, 5), "3000:");
    EXPECT_NE(whole[11].find(": 0 "), std::string::npos) << "a label matched whole: " << whole[11];

    makeGlue();
    glue->setMapRegions(1000, 200);
    open(map);
    ASSERT_LT(graph().nodes.size(), 1000u);
    EXPECT_EQ(glue->searchIndex().indexed(), 0u);
    EXPECT_EQ(answers(), whole) << "before the index";
    // As idle time builds it (here without the region's refinement, which never finishes with
    // so few nodes around the view).
    for (int step = 0; glue->indexStep() && step < 100; ++step) {
    }
    EXPECT_EQ(glue->searchIndex().indexed(), 3000u);
    EXPECT_EQ(answers(), whole) << "from the index";

    // The last node is outside the first region: Find travels to it, and finds it there too.
    const std::string last(queries[10]);
    ASSERT_EQ(graph().findNode(last), nullptr);
    const SearchResult found = glue->findNodes(last, 1);
    ASSERT_EQ(found.hits.size(), 1u);
    // The map's name index gave it, without the pass: the total is only a lower bound then. In
    // a list of 12 the one exact hit comes at once, the rest with the pass.
    EXPECT_TRUE(found.totalAtLeast);
    EXPECT_EQ(findCountText(found, false), "At least 1 node matches; the best is shown.");
    const std::optional<SearchResult> atOnce = glue->findNodesAtOnce(last, 12);
    ASSERT_TRUE(atOnce.has_value());
    ASSERT_FALSE(atOnce->hits.empty());
    EXPECT_EQ(atOnce->hits[0], found.hits[0]);
    ASSERT_EQ(glue->travelTo(glue->foundNode(found.hits[0]).id), 1);
    EXPECT_NE(graph().findNode(last), nullptr);
    EXPECT_EQ(glue->lastSelectedId(), last);
    EXPECT_EQ(glue->searchIndex().indexed(), 3000u) << "the index reads the map, not the region";
    EXPECT_EQ(answers(), whole) << "in the region around the last node";
}

// The measures a map carries are taken as they are, not worked out again: a map written with a
// node's measures changed shows them changed. Save As Map writes them once they are taken.
TEST_F(MapOpenTest, TheMeasuresOfAMapAreTakenFromItAndSavedWithIt) {
    open(kSite);
    glue->waitForMeasures();
    const NodeMeasures computed = glue->measures();
    ASSERT_EQ(computed.size(), graph().nodes.size());
    const std::string saved = dir / "saved.orvomap";
    ASSERT_EQ(glue->saveMap(saved), "");
    NodeMeasures changed = computed;
    changed.depth[7] += 1;
    changed.score[7] /= 2;
    const std::string path = dir / "changed.orvomap";
    ASSERT_EQ(writeMapFile(path, graph(), settings(), &changed), "");

    makeGlue();
    open(path);
    EXPECT_TRUE(glue->collectMeasures());
    expectSameMeasures(glue->measures(), changed);
    makeGlue();
    open(saved);
    EXPECT_TRUE(glue->collectMeasures());
    expectSameMeasures(glue->measures(), computed);
    // Without them (saved before they were taken, or opened without working them out) the map
    // carries none, and opening it works them out.
    glue->setComputeMeasures(false);
    open(kSite);
    ASSERT_EQ(glue->saveMap(path), "");
    glue->setComputeMeasures(true);
    open(path);
    EXPECT_TRUE(glue->measuresPending());
    glue->waitForMeasures();
    expectSameMeasures(glue->measures(), computed);
}

// A map larger than the glue's bound is shown a region at a time: the picture, the legend's
// counts and the status are the whole map's; travel reaches any node, the view staying put while
// regions change; Save As Map keeps the map whole; a map cut short on disk is said to have
// changed, and what is on view stays.
TEST_F(MapOpenTest, ALargeMapIsShownARegionAtATimeAsTheWholeWould) {
    open(kSite);
    glue->waitForMeasures();
    const std::string map = dir / "site.orvomap";
    ASSERT_EQ(writeMapFile(map, graph(), settings(), &glue->measures()), "");
    const auto legendText = [&] {
        std::string text;
        for (const LegendRow& row : glue->legend(kLegendRows).rows)
            text += row.name + " " + std::to_string(row.nodes) + "\n";
        return text;
    };
    makeGlue();
    open(map);
    ASSERT_FALSE(glue->mapRegions().active());
    drawWhole();
    const std::vector<uint8_t> whole = finishedPicture();
    const std::string wholeLegend = legendText(), wholeStatus = glue->graphStatus();

    // At first a small region, then in idle time the full one.
    makeGlue();
    glue->setMapRegions(2000, 1200, 300);
    open(map);
    ASSERT_TRUE(glue->mapRegions().active());
    EXPECT_LE(graph().nodes.size(), 400u);
    idleToTheEnd();
    EXPECT_GT(graph().nodes.size(), 800u);
    EXPECT_LE(graph().nodes.size(), 1300u);
    EXPECT_EQ(legendText(), wholeLegend);
    EXPECT_EQ(glue->graphStatus(), wholeStatus.substr(0, wholeStatus.find(" (")) + " (" +
                                       groupedNumber(int64_t(graph().nodes.size())) +
                                       " nodes around the view in memory)");
    drawWhole();
    const std::vector<uint8_t> part = finishedPicture();
    ASSERT_EQ(part.size(), whole.size());
    EXPECT_LT(pixelsUnlike(whole, part), size_t{kWidth * kHeight / 100})
        << "pixels unlike the whole map's";
    EXPECT_EQ(glue->waitForMapCheck(), "");

    // The deepest node of the map, beyond the region: travel brings its region in without
    // moving the view, then flies there; Back flies home again.
    Graph wholeGraph(settings());
    ASSERT_EQ(readMapFile(map, wholeGraph), "");
    const Node* deepest = wholeGraph.nodes.back();
    for (const Node* n : wholeGraph.nodes)
        if (n->level > deepest->level) deepest = n;
    const std::string far(deepest->id);
    ASSERT_EQ(graph().findNode(far), nullptr);
    const ProjTransform view = viewer().renderer().viewTransform();
    ASSERT_TRUE(glue->holdNode(far));
    EXPECT_EQ(std::memcmp(&view, &viewer().renderer().viewTransform(), sizeof view), 0);
    EXPECT_EQ(glue->mapRegions().region().focus, uint32_t(deepest->index));
    const std::string homeId(top().id);
    ASSERT_EQ(glue->travelTo(far), 1);
    idleToTheEnd();
    EXPECT_TRUE(centred(node(far.c_str())));
    ASSERT_EQ(glue->goBack(), 1);
    idleToTheEnd();
    EXPECT_TRUE(centred(node(homeId.c_str())));
    // Regions too small to hold more than a node's children settle too: idle time ends.
    makeGlue();
    glue->setMapRegions(1000, 60, 20);
    open(map);
    ASSERT_EQ(glue->travelTo(far), 1);
    idleToTheEnd();
    EXPECT_TRUE(centred(node(far.c_str())));

    const std::string saved = dir / "saved.orvomap";
    ASSERT_EQ(glue->saveMap(saved), "");
    EXPECT_EQ(testing::readWholeFile(saved), testing::readWholeFile(map));
    // A page of the region alone would pass for the whole map.
    std::string error;
    EXPECT_FALSE(exportWebPage(*glue, dir / "page.html", "site", {}, error));
    EXPECT_NE(error.find("orvo-publish " + map), std::string::npos) << error;

    std::string outside;  // a node the small region around `far` lacks
    for (const Node* n : wholeGraph.nodes)
        if (outside.empty() && graph().findNode(n->id) == nullptr) outside = n->id;
    ASSERT_NE(outside, "");
    ASSERT_EQ(::truncate(map.c_str(), 100), 0);
    EXPECT_EQ(glue->travelTo(outside), 0);
    EXPECT_EQ(glue->keyStatus(),
              "Cannot show that part of the map: the file was changed on disk since it was "
              "opened.");
    EXPECT_FALSE(finishedPicture().empty());
    EXPECT_GT(graph().nodes.size(), 0u);
}

// Far down a chain the tree is laid out again from the node travelled to, on a map shown a
// region at a time as on the map read whole: the same pictures there and back, and the regions
// built after it are placed from that node too.
TEST_F(MapOpenTest, ARegionIsLaidOutAgainFromANodeFarDownAsTheWholeMapIs) {
    const std::string chain = dir / "chain.graph", map = dir / "chain.orvomap";
    std::string text;
    for (int i = 0; i < 80; ++i) {
        text += std::to_string(i) + " n" + std::to_string(i) + " 0 gg\n";
        text += std::to_string(i + 1) + " leaf" + std::to_string(i) + " 0 gg\n";
    }
    testing::writeWholeFile(chain, text);
    open(chain);
    glue->waitForMeasures();
    ASSERT_EQ(writeMapFile(map, graph(), settings(), &glue->measures()), "");
    const auto journey = [&] {
        std::vector<std::vector<uint8_t>> pictures;
        for (const char* id : {"n70", "leaf75", "n0"}) {
            EXPECT_EQ(glue->travelTo(id), 1) << id;
            idleToTheEnd();
            EXPECT_TRUE(centred(node(id))) << id;
            pictures.push_back(finishedPicture());
        }
        return pictures;
    };
    makeGlue();
    open(map);
    ASSERT_FALSE(glue->mapRegions().active());
    drawWhole();
    const std::vector<std::vector<uint8_t>> whole = journey();

    makeGlue();
    glue->setMapRegions(100, 60, 30);
    open(map);
    ASSERT_TRUE(glue->mapRegions().active());
    drawWhole();
    const std::vector<std::vector<uint8_t>> part = journey();
    ASSERT_EQ(part.size(), whole.size());
    for (size_t k = 0; k < part.size(); ++k) {
        ASSERT_EQ(part[k].size(), whole[k].size());
        EXPECT_LT(pixelsUnlike(whole[k], part[k]), size_t{kWidth * kHeight / 100})
            << "picture " << k;
    }
    // Home again, the layout starts at the chain's top once more (its map index is 0).
    EXPECT_EQ(glue->mapRegions().region().layoutStart, 0u);
}

TEST_F(MapOpenTest, TheCacheKeepsTheMapOfAnOutlineAfterItsFirstPicture) {
    const std::string outline = dir / "site.graph", cache = dir / "cache";
    std::filesystem::copy_file(kSite, outline);
    auto withCache = [&] {
        makeGlue();
        glue->setMapCache(std::make_unique<MapCache>(cache, MapCache::kDefaultLimitBytes));
    };
    withCache();
    open(outline);
    EXPECT_EQ(glue->openedFromCache(), "");
    EXPECT_TRUE(glue->mapCachePending());
    EXPECT_FALSE(std::filesystem::exists(cache));  // not before the first picture
    const std::vector<uint8_t> fromOutline = pictureAndWork();
    // Nor before the measures, which it carries, are taken.
    EXPECT_TRUE(glue->measuresPending());
    EXPECT_TRUE(glue->mapCachePending());
    glue->waitForMeasures();
    const NodeMeasures computed = glue->measures();
    idleToTheEnd();
    glue->waitForMapCache();
    EXPECT_FALSE(glue->mapCachePending());

    withCache();
    open(outline);
    EXPECT_NE(glue->openedFromCache(), "");
    EXPECT_FALSE(glue->mapCachePending());
    // Taken from the kept map, finished as soon as the open is.
    EXPECT_TRUE(glue->collectMeasures());
    expectSameMeasures(glue->measures(), computed);
    EXPECT_TRUE(pictureAndWork() == fromOutline);

    // Kept maps too large to hold whole open a region at a time, as any map.
    withCache();
    glue->setMapRegions(2000, 1200);
    open(outline);
    EXPECT_NE(glue->openedFromCache(), "");
    EXPECT_TRUE(glue->mapRegions().active());
    EXPECT_LE(graph().nodes.size(), 1300u);

    // A changed outline is read again, and its map kept anew.
    testing::writeWholeFile(outline, testing::readWholeFile(outline) + " 1 http://x/ 1 html\n");
    withCache();
    open(outline);
    EXPECT_EQ(glue->openedFromCache(), "");
    EXPECT_EQ(graph().nodes.size(), 3001u);
    glue->waitForMeasures();
    idleToTheEnd();
    glue->waitForMapCache();
    const auto keptMaps = [&] {
        size_t kept = 0;
        for (const auto& entry : std::filesystem::directory_iterator(cache))
            kept += entry.is_regular_file();
        return kept;
    };
    EXPECT_EQ(keptMaps(), 2u);

    // A chain laid out again from a node deep in it before the picture was done: its map would
    // hold that layout, not the outline's, so none is kept.
    const std::string chain = dir / "chain.graph";
    std::string text;
    for (int i = 0; i < 40; ++i) text += std::to_string(i) + " n" + std::to_string(i) + " 0 gg\n";
    testing::writeWholeFile(chain, text);
    withCache();
    open(chain);
    EXPECT_TRUE(glue->mapCachePending());
    glue->travelTo("n30");
    EXPECT_FALSE(glue->mapCachePending());
    glue->waitForMeasures();
    idleToTheEnd();
    glue->waitForMapCache();
    EXPECT_EQ(keptMaps(), 2u);
}

// The Find dialog's count: a total that is only a lower bound (the name index stopped once the
// best were found) is never said to be the count.
TEST(FindCountText, ALowerBoundIsNeverGivenAsTheCount) {
    const auto result = [](size_t total, size_t shown, bool atLeast) {
        SearchResult r;
        r.total = total;
        r.hits.resize(shown);
        r.totalAtLeast = atLeast;
        return r;
    };
    const struct {
        SearchResult result;
        bool searching;
        const char* text;
    } cases[] = {
        {result(0, 0, false), false, "No node matches."},
        {result(1, 1, false), false, "1 node matches."},
        {result(12, 12, false), false, "12 nodes match."},
        {result(20, 20, true), false, "At least 20 nodes match; the best 20 are shown."},
        {result(1, 1, true), false, "At least 1 node matches; the best is shown."},
        {result(109375, 20, false), false, "109 375 nodes match; the best 20 are shown."},
        {result(3, 3, false), true, "Searching every node; 3 matches found at once."},
    };
    for (const auto& c : cases) EXPECT_EQ(findCountText(c.result, c.searching), c.text);
}

}  // namespace
}  // namespace orvo

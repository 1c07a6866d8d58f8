// Loading through the glue on an offscreen Mesa context: the stages one progress box shows,
// and Cancel, which stops the load and leaves the graph on view as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "import/import_converter.h"
#include "tests/glue/glue_rig.h"
#include "tests/test_files.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

struct Report {
    LoadStage stage;
    uint64_t done;
    uint64_t total;
};

class GlueLoadTest : public GlueRig {
protected:
    void SetUp() override {
        GlueRig::SetUp();
        request.progress = [this](LoadStage stage, uint64_t done, uint64_t total) {
            reports.push_back({stage, done, total});
            if (cancelWhen && cancelWhen(reports.back())) cancel = true;
        };
        request.cancel = &cancel;
    }
    void TearDown() override {
        for (const std::string& path : made) std::remove(path.c_str());
    }

    /// A generated site graph of this many nodes in a temporary file.
    std::string siteFile(int64_t nodes, SiteSummary* summary = nullptr) {
        const std::string path = ::testing::TempDir() + "glue_load_" + std::to_string(::getpid()) +
                                 "_" + std::to_string(nodes) + ".graph";
        SiteOptions options;
        options.nodes = nodes;
        options.seed = 3;
        EXPECT_TRUE(writeSiteGraphFile(path, options, summary));
        made.push_back(path);
        return path;
    }
    /// The finished picture: a frame, refined to its end (idle steps draw into the front).
    std::vector<uint8_t> picture() {
        glue->displayViewer();
        for (int steps = 0; glue->idleViewer() != 0 && steps < 10000; ++steps) {
        }
        std::vector<uint8_t> rgba;
        EXPECT_TRUE(surface->readPixels(DrawBuffer::Front, rgba));
        return rgba;
    }
    uint64_t largestRead() const {
        uint64_t most = 0;
        for (const Report& r : reports) {
            if (r.stage == LoadStage::Read) most = std::max(most, r.done);
        }
        return most;
    }

    std::atomic<bool> cancel{false};
    std::function<bool(const Report&)> cancelWhen;
    std::vector<Report> reports;
    std::vector<std::string> made;
};

TEST_F(GlueLoadTest, AGraphFileIsReadThenLaidOutWithItsSizeKnown) {
    SiteSummary summary;
    const std::string path = siteFile(20000, &summary);
    ASSERT_EQ(glue->openGraphFile(path, request), 1) << glue->openError();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().stage, LoadStage::Read);
    EXPECT_EQ(reports.front().done, 0u);
    // Stages never go back; every read report carries the file's size; the layout comes last,
    // once every byte was read.
    for (size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GE(static_cast<int>(reports[i].stage), static_cast<int>(reports[i - 1].stage));
    }
    for (const Report& r : reports) {
        if (r.stage == LoadStage::Read) {
            EXPECT_EQ(r.total, static_cast<uint64_t>(summary.bytes));
        }
    }
    EXPECT_EQ(reports.back().stage, LoadStage::Layout);
    EXPECT_EQ(largestRead(), static_cast<uint64_t>(summary.bytes));
    // The layout reports how far it has come, on its way and at its end: each node is counted
    // once as it is sized and once as it is placed.
    const uint64_t layoutTotal = 2 * static_cast<uint64_t>(summary.nodes);
    std::vector<uint64_t> laidOut;
    for (const Report& r : reports) {
        if (r.stage == LoadStage::Layout && r.total > 0) {
            EXPECT_EQ(r.total, layoutTotal);
            laidOut.push_back(r.done);
        }
    }
    ASSERT_GE(laidOut.size(), 2u);
    EXPECT_TRUE(std::is_sorted(laidOut.begin(), laidOut.end()));
    EXPECT_GT(laidOut.front(), 0u);
    EXPECT_LT(laidOut.front(), layoutTotal);
    EXPECT_EQ(laidOut.back(), layoutTotal);
    EXPECT_EQ(graph().nodes.size(), static_cast<size_t>(summary.nodes));
    EXPECT_FALSE(glue->openCancelled());
}

TEST_F(GlueLoadTest, CancelStopsTheReadAndKeepsTheGraphOnView) {
    open("viewer_groups.graph");
    const std::vector<uint8_t> before = picture();
    Graph* shown = viewer().graph();
    GlContext* context = viewer().renderer().context();
    const int32_t top = settings().topNodeIndex;

    // Cancel pressed while the first chunk of a large file is reported.
    SiteSummary summary;
    const std::string big = siteFile(60000, &summary);
    ASSERT_GT(summary.bytes, 4 * 64 * 1024) << "the file must span several chunks";
    cancelWhen = [](const Report& r) { return r.stage == LoadStage::Read && r.done > 0; };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(glue->openGraphFile(big, request), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "a cancel is no error";
    EXPECT_TRUE(glue->openCancelled());
    EXPECT_NE(glue->openError().find("cancelled"), std::string::npos) << glue->openError();
    // The reader stopped soon after the cancel, far from the end of the file.
    EXPECT_LT(largestRead(), static_cast<uint64_t>(summary.bytes) / 2);

    // Nothing on view changed: the graph, its top node, the context and the picture.
    EXPECT_EQ(viewer().graph(), shown);
    EXPECT_EQ(shown->nodes.size(), 10u);
    EXPECT_NE(shown->findNode("http://h/a/deep.html"), nullptr);
    EXPECT_EQ(settings().topNodeIndex, top);
    EXPECT_EQ(viewer().renderer().context(), context);
    EXPECT_EQ(picture(), before);
    glue->onPicked("http://h/a/deep.html", 0, 0);
    EXPECT_TRUE(node("http://h/a/deep.html").flags & Selected);

    // Cancel during the layout (the last byte is in): the finished graph is dropped all the same.
    reports.clear();
    cancel = false;
    cancelWhen = [](const Report& r) { return r.stage == LoadStage::Layout; };
    EXPECT_EQ(glue->openGraphFile(big, request), 0);
    EXPECT_TRUE(glue->openCancelled());
    EXPECT_EQ(largestRead(), static_cast<uint64_t>(summary.bytes));
    EXPECT_EQ(viewer().graph(), shown);
    EXPECT_EQ(shown->nodes.size(), 10u);

    // The next load, not cancelled, replaces the graph as usual.
    reports.clear();
    cancel = false;
    cancelWhen = nullptr;
    ASSERT_EQ(glue->openGraphFile(big, request), 1) << glue->openError();
    EXPECT_FALSE(glue->openCancelled());
    EXPECT_EQ(glue->openError(), "");
    EXPECT_EQ(viewer().graph(), shown);
    EXPECT_EQ(shown->nodes.size(), static_cast<size_t>(summary.nodes));
    EXPECT_NE(picture(), before);
}

// A pipe whose writer goes silent with the pipe still open never ends by itself: while it waits
// for bytes the load keeps reporting, so the box stays served, and a Cancel ends it with the
// graph on view as it was. A pipe that is closed after its last line loads like a file.
TEST_F(GlueLoadTest, ASilentPipeKeepsReportingAndCancelEndsItsLoad) {
    open("viewer_groups.graph");
    Graph* shown = viewer().graph();
    const std::vector<uint8_t> before = picture();
    const std::string fifo =
        ::testing::TempDir() + "glue_load_" + std::to_string(::getpid()) + ".pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    made.push_back(fifo);
    // Read and write: opening it waits for no reader, and the pipe never reports an end.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    const std::string start = "0 a://p/ 0 html main\n1 a://p/x.html 0 html main\n";
    ASSERT_EQ(::write(writer, start.data(), start.size()), static_cast<ssize_t>(start.size()));

    // Cancel after a few reports made while the pipe was silent.
    cancelWhen = [this](const Report&) {
        size_t waits = 0;
        for (const Report& r : reports) waits += r.stage == LoadStage::Read && r.total == 0;
        return waits >= 5;
    };
    EXPECT_EQ(glue->openGraphFile(fifo, request), 0);
    EXPECT_TRUE(glue->openCancelled());
    EXPECT_EQ(viewer().graph(), shown);
    EXPECT_EQ(shown->nodes.size(), 10u);
    EXPECT_EQ(picture(), before);
    ::close(writer);

    // Written whole and closed by its writer, a pipe opens as any graph file does.
    reports.clear();
    cancel = false;
    cancelWhen = nullptr;
    std::thread feeder([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for the reader
        if (fd < 0) return;
        const std::string text = start + "1 a://p/y.html 0 html main\n";
        EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
    });
    const int opened = glue->openGraphFile(fifo, request);
    feeder.join();
    ASSERT_EQ(opened, 1) << glue->openError();
    EXPECT_EQ(viewer().graph()->nodes.size(), 3u);
}

// With the importers as its converter the window opens what users have as it opens graph files:
// an edge list and a web site's folder are imported in memory (the box shows the import first),
// a malformed one is reported by file and line, and a cancelled import, like a failed one, keeps
// the graph on view. Graph files still go straight to the reader.
TEST_F(GlueLoadTest, ImportedInputsOpenDirectly) {
    makeGlue(importConverter());
    open("viewer_groups.graph");
    Graph* shown = viewer().graph();
    EXPECT_EQ(shown->nodes.size(), 10u);
    EXPECT_TRUE(std::none_of(reports.begin(), reports.end(),
                             [](const Report& r) { return r.stage == LoadStage::Import; }));

    testing::TempDir dir;
    const std::string csv = dir / "crawl.csv";
    testing::writeWholeFile(csv, "from,to\na,b\nb,c\nc,a\nb,d\n");
    reports.clear();
    ASSERT_EQ(glue->openGraphFile(csv, request), 1) << glue->openError();
    EXPECT_EQ(viewer().graph()->nodes.size(), 4u);
    EXPECT_EQ(viewer().graph()->root->id, "b");  // the most outgoing edges
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().stage, LoadStage::Import);
    EXPECT_TRUE(std::any_of(reports.begin(), reports.end(),
                            [](const Report& r) { return r.stage == LoadStage::Read; }));

    const std::string site = dir / "site";
    std::filesystem::create_directories(site);
    testing::writeWholeFile(site + "/index.html",
                            "<a href=page.html>p</a><img src=logo.png>"
                            "<a href=gone.html>broken</a>");
    testing::writeWholeFile(site + "/page.html", "<a href=index.html>home</a>");
    testing::writeWholeFile(site + "/logo.png", "png");
    ASSERT_EQ(glue->openGraphFile(site, request), 1) << glue->openError();
    const Graph& imported = *viewer().graph();
    EXPECT_EQ(imported.nodes.size(), 4u);
    EXPECT_EQ(imported.root->id, "http://localhost/index.html");
    const Node* gone = imported.findNode("http://localhost/gone.html");
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(imported.groupOf(*gone, 1), "missing");

    // Inputs that fail: the message names the file once (the importer's own error names it
    // with the line, the glue names it otherwise); the site stays.
    const std::string bad = dir / "bad.csv";
    testing::writeWholeFile(bad, "a,b\nb,\"c\n");
    const std::string badGraphMl = dir / "bad.graphml";
    testing::writeWholeFile(badGraphMl, "<graphml><graph><node id='a'></graph>\n");
    const std::string missing = dir / "missing.graph";
    const std::vector<std::pair<std::string, std::string>> failing = {
        {bad, "Cannot open " + bad + ":2: a quoted field opened on this line is never closed."},
        {badGraphMl, "Cannot open " + badGraphMl + ":1: "},
        {missing, "Cannot open \"" + missing + "\": No such file"}};
    for (const auto& [input, start] : failing) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(glue->openGraphFile(input, request), 0) << input;
        ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(glue->openCancelled());
        const std::string& said = glue->openError();
        EXPECT_TRUE(said.starts_with(start)) << said;
        EXPECT_EQ(said.find(input, said.find(input) + 1), std::string::npos) << said;
        EXPECT_EQ(viewer().graph()->root->id, "http://localhost/index.html");
    }

    // Cancelled as the import starts: no message, the site stays.
    cancel = false;
    cancelWhen = [](const Report& r) { return r.stage == LoadStage::Import; };
    EXPECT_EQ(glue->openGraphFile(csv, request), 0);
    EXPECT_TRUE(glue->openCancelled());
    EXPECT_EQ(viewer().graph()->root->id, "http://localhost/index.html");
    EXPECT_EQ(viewer().graph()->nodes.size(), 4u);

    // A request's converter (a crawl's, say) takes the glue's place for that open only.
    cancel = false;
    cancelWhen = nullptr;
    InputConverter crawl;
    crawl.accepts = [&](const std::string& input) { return input == csv; };
    crawl.convert = [](const std::string&, std::ostream& out, const ConversionProgress&,
                       const std::atomic<bool>*) {
        out << "0 a://p/ 0 html main\n1 a://p/x.html 0 html main\n";
        ConversionResult result;
        result.ok = true;
        return result;
    };
    request.converter = &crawl;
    ASSERT_EQ(glue->openGraphFile(csv, request), 1) << glue->openError();
    EXPECT_EQ(viewer().graph()->root->id, "a://p/");
    request.converter = nullptr;
    ASSERT_EQ(glue->openGraphFile(csv, request), 1) << glue->openError();
    EXPECT_EQ(viewer().graph()->root->id, "b");
}

}  // namespace
}  // namespace orvo

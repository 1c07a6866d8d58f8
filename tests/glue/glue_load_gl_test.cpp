// Opening inputs through the glue on an offscreen Mesa context. Every way an open can fail or be
// cancelled leaves the graph on view as it was, with the message the window shows; the inputs
// that open, and the stages one progress box shows while they do.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "import/import_converter.h"
#include "mapfile/map_writer.h"
#include "tests/glue/glue_rig.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

struct Report {
    LoadStage stage;
    uint64_t done;
    uint64_t total;
};
using Reports = std::vector<Report>;

uint64_t largestRead(const Reports& reports) {
    uint64_t most = 0;
    for (const Report& r : reports) {
        if (r.stage == LoadStage::Read) most = std::max(most, r.done);
    }
    return most;
}

const std::string kRecords = "0 a://p/ 0 html main\n1 a://p/x.html 0 html main\n";

class GlueLoadTest : public GlueRig {
public:
    void SetUp() override {
        GlueRig::SetUp();
        request.progress = [this](LoadStage stage, uint64_t done, uint64_t total) {
            reports.push_back({stage, done, total});
            if (cancelWhen && cancelWhen(reports)) cancel = true;
        };
        request.cancel = &cancel;
    }
    void TearDown() override {
        if (pipeWriter >= 0) ::close(pipeWriter);
    }

    /// A generated site graph of this many nodes; its size is kept in `bytes`.
    std::string siteFile(int64_t nodes) {
        const std::string path = dir / ("site" + std::to_string(nodes) + ".graph");
        SiteOptions options;
        options.nodes = nodes;
        options.seed = 3;
        SiteSummary summary;
        EXPECT_TRUE(writeSiteGraphFile(path, options, &summary));
        bytes = static_cast<uint64_t>(summary.bytes);
        return path;
    }
    /// The map of a generated site graph of this many nodes.
    std::string siteMap(int64_t nodes) {
        const std::string outline = siteFile(nodes), path = outline + ".orvomap";
        Graph site(settings());
        std::ifstream in(outline);
        EXPECT_TRUE(readAndLayOut(site, in));
        EXPECT_EQ(writeMapFile(path, site, settings()), "");
        return path;
    }
    std::string file(const std::string& name, const std::string& text) {
        testing::writeWholeFile(dir / name, text);
        return dir / name;
    }
    /// A named pipe that holds two records and never ends: its writer stays open and silent.
    std::string silentPipe() {
        const std::string fifo = dir / "silent.pipe";
        EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // Read and write: the open waits for no reader, and the pipe never reports an end.
        pipeWriter = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        EXPECT_GE(pipeWriter, 0);
        EXPECT_EQ(::write(pipeWriter, kRecords.data(), kRecords.size()),
                  static_cast<ssize_t>(kRecords.size()));
        return fifo;
    }

    testing::TempDir dir;
    std::atomic<bool> cancel{false};
    std::function<bool(const Reports&)> cancelWhen;
    Reports reports;
    uint64_t bytes = 0;
    int pipeWriter = -1;
};

// A listing: one word a line, so nearly every line is skipped; two lines happen to be records.
std::string listingText() {
    std::string text;
    for (int i = 0; i < 9998; ++i) text += "file" + std::to_string(i) + ".txt\n";
    return text + "0 http://a/ 1 html main\n 1 http://a/b 1 html main\n";
}

struct FailedOpen {
    const char* name;
    bool importers;  // the window's importers convert what they accept
    std::string (*input)(GlueLoadTest&);
    bool (*cancelWhen)(const Reports&);  // nullptr: never cancelled
    std::string message;                 // the start of openError(); @ is the input
    std::string question;  // what the user is asked about a doubtful file (and answers no)
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const FailedOpen& c, std::ostream* out) { *out << c.name; }

const std::string kCancelled = "Opening \"@\" was cancelled.";

// clang-format off
const FailedOpen kFailedOpens[] = {
    {"Missing", false, [](GlueLoadTest&) { return dataPath("no_such_file.graph"); }, nullptr,
     "Cannot open \"@\": No such file or directory.", ""},
    {"MissingWithImporters", true, [](GlueLoadTest& t) -> std::string { return t.dir / "m.graph"; },
     nullptr, "Cannot open \"@\": No such file or directory.", ""},
    {"Directory", false, [](GlueLoadTest& t) { return t.dir.path(); }, nullptr,
     "Cannot open \"@\": it is a directory.", ""},
    {"NoNode", false, [](GlueLoadTest&) { return dataPath("no_nodes.graph"); }, nullptr,
     "Cannot show \"@\": it holds no graph (no node record).", ""},
    {"MalformedEdgeList", true, [](GlueLoadTest& t) { return t.file("bad.csv", "a,b\nb,\"c\n"); },
     nullptr, "Cannot open @:2: a quoted field opened on this line is never closed.", ""},
    {"MalformedGraphMl", true,
     [](GlueLoadTest& t) { return t.file("bad.graphml", "<graphml><graph><node id='a'></graph>\n"); },
     nullptr, "Cannot open @:1: ", ""},
    {"DoubtfulListingDeclined", false, [](GlueLoadTest& t) { return t.file("ls", listingText()); },
     nullptr, "", "ls does not look like a graph file: 9 998 of 10 000 lines were skipped. Open it anyway?"},
    {"DoubtfulBinaryDeclined", false,
     [](GlueLoadTest& t) { return t.file("data.bin", std::string("0 http://b/ 1 html main\n") + '\0' +
                                                     "\x01\x02\n 1 http://b/c 1 html main\n"); },
     nullptr, "", "data.bin does not look like a graph file: it holds NUL bytes, as binary files do. "
                  "Open it anyway?"},
    // Cancel pressed while the first chunk of a large file is reported: the reader stops soon.
    {"CancelledRead", false, [](GlueLoadTest& t) { return t.siteFile(60000); },
     [](const Reports& r) { return r.back().stage == LoadStage::Read && r.back().done > 0; },
     kCancelled, ""},
    // Cancel pressed while a map is read: it stops soon too.
    {"CancelledMap", false, [](GlueLoadTest& t) { return t.siteMap(60000); },
     [](const Reports& r) { return r.back().stage == LoadStage::Read && r.back().done > 0; },
     kCancelled, ""},
    // The last byte is in; the finished graph is dropped all the same.
    {"CancelledLayout", false, [](GlueLoadTest& t) { return t.siteFile(60000); },
     [](const Reports& r) { return r.back().stage == LoadStage::Layout; }, kCancelled, ""},
    // While a silent pipe is waited for the load keeps reporting, so the box stays served.
    {"CancelledSilentPipe", false, [](GlueLoadTest& t) { return t.silentPipe(); },
     [](const Reports& r) { return std::count_if(r.begin(), r.end(), [](const Report& x) {
                                return x.stage == LoadStage::Read && x.total == 0; }) >= 5; },
     kCancelled, ""},
    {"CancelledImport", true, [](GlueLoadTest& t) { return t.file("e.csv", "a,b\nb,c\n"); },
     [](const Reports& r) { return r.back().stage == LoadStage::Import; }, kCancelled, ""},
};
// clang-format on

class FailedOpenTest : public GlueLoadTest, public ::testing::WithParamInterface<FailedOpen> {};

TEST_P(FailedOpenTest, KeepsTheGraphOnViewAndSaysWhy) {
    const FailedOpen& c = GetParam();
    if (c.importers) makeGlue(importConverter());
    open("viewer_groups.graph");
    drawWhole();
    const std::vector<uint8_t> before = finishedPicture();
    std::vector<uint8_t> backBefore, backAfter;  // nothing may draw into the window meanwhile
    ASSERT_TRUE(surface->readPixels(DrawBuffer::Back, backBefore));
    Graph* shown = viewer().graph();
    GlContext* context = viewer().renderer().context();
    const ProjTransform view = viewer().renderer().viewTransform();
    const int32_t topIndex = settings().topNodeIndex;
    std::vector<std::string> asked;
    request.confirmDoubtfulFile = [&](const std::string& question) {
        asked.push_back(question);
        return false;
    };

    const std::string input = c.input(*this);
    if (c.cancelWhen) cancelWhen = c.cancelWhen;
    reports.clear();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(glue->openGraphFile(input, request), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the window shows the message";
    std::string message = c.message;
    if (const size_t at = message.find('@'); at != std::string::npos) message.replace(at, 1, input);
    const std::string& said = glue->openError();
    EXPECT_TRUE(said.starts_with(message)) << said;
    if (!said.empty()) {
        EXPECT_EQ(said.find(input, said.find(input) + 1), std::string::npos) << "named twice";
    }
    EXPECT_EQ(glue->openCancelled(), c.cancelWhen != nullptr);
    EXPECT_EQ(asked, c.question.empty() ? std::vector<std::string>{}
                                        : std::vector<std::string>{c.question});
    if (c.name == std::string("CancelledRead")) {
        EXPECT_LT(largestRead(reports), bytes / 2) << "the reader did not stop soon";
    }
    if (c.name == std::string("CancelledMap")) {
        EXPECT_LT(largestRead(reports), reports.back().total / 2) << "the map's read went on";
    }
    if (c.name == std::string("CancelledLayout")) {
        EXPECT_EQ(largestRead(reports), bytes);
    }

    // Nothing on view changed, and the graph is still navigable.
    ASSERT_TRUE(surface->readPixels(DrawBuffer::Back, backAfter));
    EXPECT_TRUE(backAfter == backBefore) << "the failed open drew";
    EXPECT_TRUE(glue->graphLoaded());
    EXPECT_EQ(viewer().graph(), shown);
    EXPECT_EQ(shown->nodes.size(), 10u);
    EXPECT_EQ(settings().topNodeIndex, topIndex);
    EXPECT_EQ(viewer().renderer().context(), context) << "a failed open made a context";
    for (int i = 0; i < 16; ++i) EXPECT_EQ(viewer().renderer().viewTransform().m[i], view.m[i]);
    EXPECT_TRUE(finishedPicture() == before) << "the picture changed";
    glue->onPicked("http://h/a/deep.html", 0, 0);
    EXPECT_TRUE(node("http://h/a/deep.html").flags & Selected);

    // The next open replaces the graph as usual, in a fresh context.
    cancel = false;
    cancelWhen = nullptr;
    open("viewer_second.graph");
    EXPECT_EQ(glue->openError(), "");
    EXPECT_FALSE(glue->openCancelled());
    EXPECT_NE(viewer().renderer().context(), context);
    EXPECT_EQ(graph().nodes.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Ways, FailedOpenTest, ::testing::ValuesIn(kFailedOpens),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlueLoadTest, AGraphFileIsReadThenLaidOutWithItsSizeKnown) {
    open(siteFile(20000));
    EXPECT_EQ(graph().nodes.size(), 20000u);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().stage, LoadStage::Read);
    EXPECT_EQ(reports.front().done, 0u);
    // Stages never go back; every read report carries the file's size; the layout comes last,
    // once every byte was read, and reports how far it has come on its way and at its end: each
    // node is counted once, as it is sized and placed against its parent.
    const uint64_t layoutTotal = 20000;
    std::vector<uint64_t> laidOut;
    for (size_t i = 0; i < reports.size(); ++i) {
        const Report& r = reports[i];
        if (i > 0) {
            EXPECT_GE(static_cast<int>(r.stage), static_cast<int>(reports[i - 1].stage));
        }
        if (r.stage == LoadStage::Read) {
            EXPECT_EQ(r.total, bytes);
        }
        if (r.stage == LoadStage::Layout && r.total > 0) {
            EXPECT_EQ(r.total, layoutTotal);
            laidOut.push_back(r.done);
        }
    }
    EXPECT_EQ(reports.back().stage, LoadStage::Layout);
    EXPECT_EQ(largestRead(reports), bytes);
    ASSERT_GE(laidOut.size(), 2u);
    EXPECT_TRUE(std::is_sorted(laidOut.begin(), laidOut.end()));
    EXPECT_GT(laidOut.front(), 0u);
    EXPECT_LT(laidOut.front(), layoutTotal);
    EXPECT_EQ(laidOut.back(), layoutTotal);
}

// A map's read shows how far it has come, as a file's does, growing to the whole: at least a
// step per node read, per child filed and per link made.
TEST_F(GlueLoadTest, AMapIsReadWithItsProgressShown) {
    open(siteMap(70000));
    std::vector<uint64_t> done;
    uint64_t total = 0;
    for (const Report& r : reports) {
        EXPECT_EQ(r.stage, LoadStage::Read);
        if (r.total == 0) continue;
        if (total == 0) total = r.total;
        EXPECT_EQ(r.total, total);
        done.push_back(r.done);
    }
    ASSERT_GE(done.size(), 3u);
    EXPECT_GE(total, 2 * 70000 + graph().links.size());
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(done.back(), total);
}

// With the importers as its converter the window opens what users have as it opens graph files:
// an edge list and a web site's folder are imported in memory (the box shows the import first);
// graph files, a closed pipe and a doubtful file the user accepts go straight to the reader; a
// request's converter (a crawl's, say) takes the glue's place for that open only.
TEST_F(GlueLoadTest, InputsThatOpen) {
    makeGlue(importConverter());
    int asked = 0;
    request.confirmDoubtfulFile = [&](const std::string&) { return ++asked > 0; };
    const std::string csv = file("crawl.csv", "from,to\na,b\nb,c\nc,a\nb,d\n");
    InputConverter crawl;
    crawl.accepts = [&](const std::string& input) { return input == csv; };
    crawl.convert = [](const std::string&, std::ostream& out, const ConversionProgress&,
                       const std::atomic<bool>*) {
        out << kRecords;
        ConversionResult result;
        result.ok = true;
        return result;
    };
    const std::string site = dir / "site";  // a web site on disk
    std::filesystem::create_directories(site);
    testing::writeWholeFile(site + "/index.html", "<a href=page.html>p</a>");
    // What an open gave: the stages in the order first reported (0 import, 1 read, 2 layout),
    // the nodes, the top node's id, the lines read and how many questions were asked so far.
    const auto opened = [&](const std::string& input, const InputConverter* converter) {
        reports.clear();
        request.converter = converter;
        open(input);
        std::string stages;
        for (const Report& r : reports) {
            const char stage = static_cast<char>('0' + static_cast<int>(r.stage));
            if (stages.find(stage) == std::string::npos) stages += stage;
        }
        return stages + " " + std::to_string(graph().nodes.size()) + " " +
               std::string(graph().root->id) + " " + std::to_string(graph().readStats.lines) + " " +
               std::to_string(asked);
    };
    EXPECT_EQ(opened(dataPath("viewer_groups.graph"), nullptr), "12 10 http://h/ 12 0");
    EXPECT_EQ(opened(csv, nullptr), "012 4 b 5 0");  // b: the most outgoing edges
    EXPECT_EQ(opened(site, nullptr), "012 2 http://localhost/index.html 2 0");
    EXPECT_EQ(opened(csv, &crawl), "012 2 a://p/ 2 0");
    EXPECT_EQ(opened(csv, nullptr), "012 4 b 5 0");
    EXPECT_EQ(opened(file("ls", listingText()), nullptr), "12 2 http://a/ 10000 1");
    EXPECT_EQ(opened(kSite, nullptr), "12 3000 http://www.example.org/ 4482 1");

    // A pipe written whole and closed by its writer.
    const std::string fifo = dir / "closed.pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The pipe is opened for reading once: a look at its first bytes beforehand would let the
    // writer go on and then leave it without a reader. (Each reader's close is counted: the
    // kernel merges an event into the same one just before it, so the writer's open may be
    // merged into the reader's, but never a close into the one before, an open lying between.)
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, fifo.c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
    std::thread feeder([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for the reader
        if (fd < 0) return;
        const std::string text = kRecords + "1 a://p/y.html 0 html main\n";
        EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
    });
    request.converter = nullptr;
    const int result = glue->openGraphFile(fifo, request);
    feeder.join();
    ASSERT_EQ(result, 1) << glue->openError();
    EXPECT_EQ(graph().nodes.size(), 3u);
    int readersClosed = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = ::read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            readersClosed += (event->mask & IN_CLOSE_NOWRITE) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
    EXPECT_EQ(readersClosed, 1);
}

// A GML file whose nodes carry labels opens named by them: the labels are drawn in either label
// choice, Find matches them, and the status bar names a node by its label with its id beside it.
TEST_F(GlueLoadTest, NamesFromTheFile) {
    makeGlue(importConverter());
    std::string gml =
        "graph [ directed 1 node [ id 0 label \"the root of it all\" ]\n"
        "node [ id 29753 label \"python3\" ] node [ id \"nohtyp3\" ]\n"
        "edge [ source 0 target \"nohtyp3\" ]\n";
    for (int k = 1; k < 6; ++k) {
        gml += "node [ id " + std::to_string(k) + " ] edge [ source 0 target " + std::to_string(k) +
               " ]\n";
    }
    open(file("packages.gml", gml + "edge [ source 0 target 29753 ] ]\n"));
    drawWhole();
    idleToTheEnd();
    const Node& root = *graph().findNode("0");
    const Node& python = *graph().findNode("29753");
    EXPECT_EQ(nodeNameText(graph(), root), "the root of it all (0)");
    EXPECT_EQ(nodeNameText(graph(), *graph().findNode("3")), "3");
    const SearchResult found = glue->findNodes("PYTHON3", 10);
    ASSERT_EQ(found.total, 1u);
    EXPECT_EQ(graph().nodes[found.hits[0].node], &python);
    EXPECT_EQ(found.hits[0].rank, MatchRank::Exact);
    EXPECT_EQ(found.hits, plainSearch(graph(), "PYTHON3", 10).hits);

    // The label boxes are as wide as the labels' texts (python3 as wide as an id of the same
    // letters), in both label choices; without its label, the root's box shrinks to its id's.
    const auto width = [&](const Node& n) {
        const LabelBox box = viewer().renderer().labelBoxOf(n);
        return box.x1 - box.x0;
    };
    const double unlabelled = width(*graph().findNode("3"));
    for (const int choice : {1, 2}) {
        settings().labelChoice = choice;
        EXPECT_EQ(width(python), width(*graph().findNode("nohtyp3"))) << choice;
        EXPECT_GT(width(python), unlabelled) << choice;
        EXPECT_GT(width(root), width(python)) << choice;
    }
    graph().setLabel(root, "");
    EXPECT_EQ(width(root), unlabelled);
}

}  // namespace
}  // namespace orvo

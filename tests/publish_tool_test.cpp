// orvo-publish run as a user runs it, from an install tree of its own (the program copied to
// PREFIX/bin with the page's parts in PREFIX/share/orvo/web, as the package lays them out): what
// it refuses and how, and what the map it writes carries, unpacked again here byte for byte.
// The browser's side (the map drawn, its messages) is the web label's publish rig.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "glue/web_page.h"
#include "graph/graph.h"
#include "mapfile/map_format.h"
#include "mapfile/map_pack.h"
#include "mapfile/map_reader.h"
#include "settings/viewer_settings.h"
#include "tests/published_map.h"
#include "tests/run_tool.h"
#include "tests/test_time.h"

namespace orvo::test {
namespace {

namespace fs = std::filesystem;

// An install tree with the program and page parts whose program stands for the real one: the
// tool copies the parts whatever they hold.
struct InstallTree {
    TempDir dir;
    std::string program;
    std::string wasm = std::string("\0asm\1\0\0\0 fake program with every byte value \xff\x80", 44);

    explicit InstallTree(bool withParts = true) {
        fs::create_directories(dir / "bin");
        program = (dir / "bin/orvo-publish").string();
        fs::copy_file(ORVO_TOOLS_DIR "/orvo-publish", program);
        if (!withParts) return;
        const fs::path web = dir / "share/orvo/web";
        fs::create_directories(web);
        fs::copy_file(ORVO_SOURCE_DIR "/web/map_page.html", web / "map_page.html");
        writeWholeFile(web / "map_page.js", "window.page = 1;\n");
        writeWholeFile(web / "orvo_view.js", "window.view = 1;\n");
        writeWholeFile(web / "map_viewer.js", "window.viewer = 1;\n");
        writeWholeFile(web / "orvo-web.js", "function createOrvoModule() {}\n");
        writeWholeFile(web / "orvo-web.wasm", wasm);
    }
};

using testing::elementText;
using testing::gunzip;
using testing::jsonNumber;
using testing::unbase64;

// What the tool refuses, with the status and the words of its message.
TEST(PublishTool, RefusesWhatItCannotPublishNamingWhy) {
    InstallTree tree;
    InstallTree bare(false);
    const std::string graph = ORVO_SOURCE_DIR "/examples/worked-example.graph";
    const std::string out = tree.dir.file("map.html");
    struct Case {
        const InstallTree* tree;
        std::vector<std::string> arguments;
        int status;
        std::string message;
    };
    // A picture that happens to hold lines the reader would take for node records.
    const std::string picture = tree.dir.file("picture.png");
    writeWholeFile(picture, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n1 a 0\n2 b 1\n", 29));
    const std::string program = tree.dir.file("program");
    writeWholeFile(program, std::string("\x7f" "ELF\2\1\1\0\n1 a 0\n", 15));
    writeWholeFile(tree.dir / "empty.graph", "");
    // A map with a byte of its node records changed: refused with the reader's reason.
    const std::string damagedMap = tree.dir.file("damaged.orvomap");
    ASSERT_EQ(runTool("orvo-import", {graph, "-o", damagedMap, "-q"}).status, 0);
    std::string mapBytes = readWholeFile(damagedMap);
    const auto* bytes = reinterpret_cast<const unsigned char*>(mapBytes.data());
    const auto table = loadLittle<uint64_t>(bytes + kHeaderTableAt);
    for (uint32_t i = 0; i < loadLittle<uint32_t>(bytes + kHeaderSectionsAt); ++i) {
        const unsigned char* entry = bytes + table + i * kMapSectionEntryBytes;
        if (loadLittle<uint32_t>(entry) == uint32_t(MapSection::Nodes))
            mapBytes[loadLittle<uint64_t>(entry + 8) + loadLittle<uint64_t>(entry + 16) / 2] ^= 0x5a;
    }
    writeWholeFile(damagedMap, mapBytes);
    fs::create_directories(tree.dir / "empty");
    const Case cases[] = {
        {&tree, {graph}, 2, "give either -o FILE.html (one file) or --folder DIR"},
        {&tree, {picture, "-o", out}, 1,
         "picture.png does not look like a graph file: it holds NUL bytes, as binary files do "
         "(it looks like a PNG image); --force takes it anyway"},
        {&tree, {program, "-o", out, "-f", "csv"}, 1, "(it looks like an executable (ELF))"},
        {&tree, {tree.dir.file("empty.graph"), "-o", out}, 1, "empty.graph: is empty"},
        {&tree, {tree.dir.file("empty"), "-o", out}, 1, "empty: is an empty directory"},
        {&tree, {graph, "-o", out, "--folder", tree.dir.file("f")}, 2, "--output excludes --folder"},
        {&tree, {graph, "-o", out, "--keys", "lf"}, 2, "--keys cannot take \"f\""},
        {&tree, {graph, "-o", out, "--keys", "l\x01"}, 2, "printable characters"},
        {&tree, {tree.dir.file("nothing.graph"), "-o", out}, 1, "no such file or directory"},
        {&tree, {graph, "-o", out, "--goto", "a://h/none"}, 1, "no node has the id \"a://h/none\""},
        {&tree, {ORVO_TEST_DATA "/no_nodes.graph", "-o", out}, 2, "cannot tell its format"},
        {&tree, {ORVO_TEST_DATA "/no_nodes.graph", "-o", out, "-f", "outline", "--force"}, 1,
         "no_nodes.graph: holds no node record"},
        {&tree, {ORVO_TEST_DATA "/no_nodes.graph", "-o", out, "-f", "outline", "--force", "--outline"},
         1, "no_nodes.graph: holds no node record"},
        {&tree, {damagedMap, "-o", out}, 1, "damaged.orvomap: its nodes section is damaged"},
        {&tree, {graph, "-o", out, "--title", "\xff\xfe"}, 1, "the title is not UTF-8 text"},
        {&tree, {graph, "-o", tree.dir.file("no/such/folder/map.html")}, 1, "map.html"},
        {&bare, {graph, "-o", out}, 1,
         "the web page is not built: run ./scripts/setup.sh web (looked in " +
             bare.dir.file("share/orvo/web")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        const ToolRun run = runTool(c.tree->program, c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.rfind("orvo-publish: ", 0), 0u) << run.err;
        EXPECT_FALSE(fs::exists(out)) << "a refused run wrote the map";
        fs::remove(out);
    }
}

// --force takes what does not look like a graph, as the window's question allows.
TEST(PublishTool, ForceTakesABinaryFileAndAnEmptyDirectory) {
    InstallTree tree;
    const std::string picture = tree.dir.file("picture.png");
    writeWholeFile(picture, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n1 a 0\n2 b 1\n", 29));
    fs::create_directories(tree.dir / "empty");
    for (const std::string& input : {picture, tree.dir.file("empty")}) {
        SCOPED_TRACE(input);
        const std::string out = tree.dir.file("map.html");
        const ToolRun run = runTool(tree.program, {input, "-o", out, "--force", "-q"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(fs::exists(out));
        fs::remove(out);
    }
}

// The single file carries the map orvo-import writes for the same input and options (a map given
// as it is; with --outline the outline orvo-import writes), the program, the start view and the
// title, each as the page reads them back; the folder form the same data as files beside
// index.html.
TEST(PublishTool, TheMapCarriesTheGraphTheProgramAndTheStartView) {
    InstallTree tree;
    TempDir inputs;
    writeWholeFile(inputs / "e.csv", "from,to,kind\na,b,x\nb,c,y\nc,a,x\n");
    const std::string givenMap = inputs.file("worked.orvomap");
    ASSERT_EQ(runTool("orvo-import",
                      {ORVO_SOURCE_DIR "/examples/worked-example.graph", "-o", givenMap, "-q"})
                  .status,
              0);
    struct Case {
        std::string input;
        std::vector<std::string> importOptions;
        std::string gotoId;
        bool outline;  // published with --outline
    };
    const Case cases[] = {
        {ORVO_SOURCE_DIR "/examples/worked-example.graph", {}, "a://h/d/", false},
        {ORVO_SOURCE_DIR "/examples/sqlite-doc.graph", {}, "", false},
        {ORVO_SOURCE_DIR "/examples/sqlite-doc.graph", {}, "", true},
        {inputs.file("e.csv"), {"--root", "c", "--group", "none"}, "b", false},
        {inputs.file("e.csv"), {"--root", "c", "--group", "none"}, "b", true},
        {givenMap, {}, "a://h/d/", false},
    };
    const std::string title = "Map </script><b>\"&\" of ünïcode";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input + (c.outline ? " --outline" : ""));
        // What the page must carry: the outline, or the map, orvo-import writes of the input.
        std::string carried = c.input == givenMap ? readWholeFile(givenMap) : "";
        if (carried.empty()) {
            const std::string expectedMap = tree.dir.file("expected.orvomap");
            const ToolRun imported = runTool("orvo-import", [&] {
                std::vector<std::string> a{c.input};
                a.insert(a.end(), c.importOptions.begin(), c.importOptions.end());
                if (!c.outline) a.insert(a.end(), {"-o", expectedMap});
                return a;
            }());
            ASSERT_EQ(imported.status, 0) << imported.err;
            carried = c.outline ? imported.out : readWholeFile(expectedMap);
        }
        // A map goes packed, its measures left out: it unpacks to a map that reads.
        std::string mapBytes;
        const size_t withMeasures = carried.size();
        if (!c.outline) {
            mapBytes = carried;
            ASSERT_EQ(packMap(reinterpret_cast<const unsigned char*>(mapBytes.data()),
                              mapBytes.size(), carried),
                      "");
            ASSERT_EQ(unpackMap(reinterpret_cast<const unsigned char*>(carried.data()),
                                carried.size(), mapBytes),
                      "");
            ViewerSettings settings;
            Graph read(settings);
            EXPECT_EQ(readMapBytes(reinterpret_cast<const unsigned char*>(mapBytes.data()),
                                   mapBytes.size(), read),
                      "");
            EXPECT_LT(mapBytes.size(), withMeasures) << "the measures are carried";
        }
        std::vector<std::string> arguments{c.input, "--title", title, "--keys", "ge"};
        if (c.outline) arguments.push_back("--outline");
        arguments.insert(arguments.end(), c.importOptions.begin(), c.importOptions.end());
        if (!c.gotoId.empty()) arguments.insert(arguments.end(), {"--goto", c.gotoId});
        const std::string map = tree.dir.file("map.html"), folder = tree.dir.file("folder");
        arguments.insert(arguments.end(), {"-o", map});
        ASSERT_EQ(runTool(tree.program, arguments).status, 0);
        arguments.resize(arguments.size() - 2);
        arguments.insert(arguments.end(), {"--folder", folder});
        ASSERT_EQ(runTool(tree.program, arguments).status, 0);

        const std::string page = readWholeFile(map);
        const std::string options = elementText(page, "orvo-options");
        const std::string graphGzip = unbase64(elementText(page, "orvo-graph"));
        const std::string wasmGzip = unbase64(elementText(page, "orvo-wasm"));
        EXPECT_EQ(gunzip(graphGzip), carried);
        EXPECT_EQ(gunzip(wasmGzip), tree.wasm);
        EXPECT_EQ(jsonNumber(options, "graph", "bytes"), graphGzip.size());
        EXPECT_EQ(jsonNumber(options, "graph", "crc32"), crc32Of(graphGzip));
        // The page tells which it carries by the size it is given.
        EXPECT_EQ(jsonNumber(options, "graph", c.outline ? "outlineBytes" : "packBytes"),
                  carried.size());
        if (!c.outline) {
            EXPECT_EQ(jsonNumber(options, "graph", "mapBytes"), mapBytes.size());
        }
        EXPECT_EQ(jsonNumber(options, "wasm", "crc32"), crc32Of(wasmGzip));
        // The page inflates what the options call gzip, and fetches what they name as a file.
        EXPECT_NE(options.find("\"wasm\":{\"bytes\":" + std::to_string(wasmGzip.size()) +
                               ",\"crc32\":" + std::to_string(crc32Of(wasmGzip)) +
                               ",\"gzip\":true,\"file\":null}"),
                  std::string::npos)
            << options;
        EXPECT_NE(options.find("\"start\":" + (c.gotoId.empty() ? "null" : "\"" + c.gotoId + "\"")),
                  std::string::npos)
            << options;
        EXPECT_NE(options.find("\"keys\":\"ge\""), std::string::npos) << options;
        // The title is text in the page and a JSON string that cannot end its script element.
        EXPECT_NE(page.find("<title>Map &lt;/script&gt;&lt;b&gt;&quot;&amp;&quot; of ünïcode</title>"),
                  std::string::npos);
        EXPECT_NE(options.find("\"title\":\"Map \\u003c/script\\u003e\\u003cb\\u003e\\\"\\u0026\\\" of "
                               "ünïcode\""),
                  std::string::npos)
            << options;
        // The end marker comes after every piece the page checks.
        EXPECT_GT(page.find("id=\"orvo-end\""), page.find("id=\"orvo-graph\""));
        for (const char* script : {"window.page = 1;", "window.view = 1;", "window.viewer = 1;"})
            EXPECT_NE(page.find(script), std::string::npos) << script;

        const std::string index = readWholeFile(folder + "/index.html");
        const std::string folderOptions = elementText(index, "orvo-options");
        EXPECT_EQ(gunzip(readWholeFile(folder + "/graph.gz")), carried);
        EXPECT_EQ(readWholeFile(folder + "/orvo-web.wasm"), tree.wasm);
        EXPECT_EQ(jsonNumber(folderOptions, "graph", "crc32"),
                  crc32Of(readWholeFile(folder + "/graph.gz")));
        EXPECT_NE(folderOptions.find("\"file\":\"graph.gz\""), std::string::npos);
        EXPECT_EQ(index.find("id=\"orvo-graph\""), std::string::npos) << "the folder form embeds the graph";
        fs::remove_all(folder);
    }
}

// Ctrl+C while a large graph is read or compressed ends the run with 128 + SIGINT and leaves
// nothing behind: no map, no temporary file.
TEST(PublishTool, AnInterruptWritesNothing) {
    InstallTree tree;
    TempDir work, capture;
    ASSERT_EQ(runTool("orvo-gen", {"-n", "1000000", "-o", work.file("big.graph")}).status, 0);
    const pid_t child =
        startTool(capture, tree.program, {work.file("big.graph"), "-o", work.file("map.html")});
    // Reading and compressing a million nodes takes seconds on any machine; the signal goes once
    // the tool listens for it (a sanitized build can take more than a second to get there).
    ASSERT_TRUE(orvo::testing::waitUntil([&] { return catchesSignal(child, SIGINT); },
                                         std::chrono::seconds(60)));
    ::kill(child, SIGINT);
    const ToolRun run = finishTool(capture, child);
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    EXPECT_NE(run.err.find("interrupted; nothing written"), std::string::npos) << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(work.path()), fs::directory_iterator()), 1)
        << "only big.graph";
}

// The largest graph a page takes, carrying an outline or a map: the figures measured in the
// browser sit on either side of it.
TEST(PublishTool, ThePageLimitNamesTheBrowsersMemory) {
    struct Case {
        bool map;
        uint64_t nodes, bytes;  // the outline's or the map's
        bool fits;
    };
    const Case cases[] = {
        // Generated sites measured opening in headless Chromium.
        {false, 1'000'000, 122'700'000, true},
        {false, 3'000'000, 371'300'000, true},
        {false, 3'500'000, 433'000'000, true},
        {false, 4'000'000, 495'000'000, false},  // opened at 4.01 GB: past the margin the rule keeps
        {false, 10'000'000, 1'100'000'000, false},
        {false, 1'000, 3'500'000'000, false},  // few nodes, but text beyond the memory
        {true, 1'000'000, 139'100'000, true},
        {true, 3'500'000, 486'800'000, true},  // the outline's largest opens as a map too
        {true, 5'000'000, 701'400'000, true},  // opened with 3.37 GB of program memory
        {true, 6'000'000, 834'500'000, false},
        {true, 1'000, 4'300'000'000, false},  // few nodes, but a map beyond the memory
    };
    for (const Case& c : cases) {
        const std::string problem = c.map ? webPageMapLimitProblem(c.nodes, c.bytes)
                                          : webPageLimitProblem(c.nodes, c.bytes);
        EXPECT_EQ(problem.empty(), c.fits) << c.nodes << " nodes: " << problem;
        if (!c.fits) {
            EXPECT_NE(problem.find("4 GiB"), std::string::npos) << problem;
        }
    }
}

}  // namespace
}  // namespace orvo::test

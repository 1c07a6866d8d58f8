// Every import format imported from real files, as tests/data/import/cases.txt says: the outline
// and the warnings byte for byte, or the refusal naming the file and the line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "crawl/import_graph.h"
#include "graph/graph.h"
#include "import/import_converter.h"
#include "tests/graph_test_support.h"
#include "tests/test_time.h"

namespace orvo {
namespace {

using namespace testing;

// The inputs of tests/data/import/in copied to a fresh directory (with the links git does not
// keep), and an import's outcome as one text.
class ImportInputs {
public:
    ImportInputs() {
        namespace fs = std::filesystem;
        fs::copy(dataPath("import/in"), dir_.path(), fs::copy_options::recursive);
        // A folder tree with a link inside it, a loop, a link out of it and a dangling one.
        for (const char* file :
             {"tree/src/main.cpp", "tree/src/deep/pic.png", "tree/docs/read me.txt"}) {
            fs::create_directories(fs::path(path(file)).parent_path());
            writeWholeFile(path(file), "");
        }
        fs::create_symlink("../src/main.cpp", path("tree/docs/main-link"));
        fs::create_symlink("..", path("tree/docs/up"));
        fs::create_symlink(path("outside/secret.html"), path("tree/docs/out"));
        fs::create_symlink("missing", path("tree/dangling"));
        fs::create_symlink(path("outside/secret.html"), path("site/escape.html"));
    }
    std::string path(const std::string& name) const { return dir_.file(name); }

    /// The outline written, then the warnings or the error, the directory written "$DIR". The
    /// outline must read whole under every set of load flags but ExtraField (a line layout no
    /// importer writes): the same nodes and links, no pair of nodes linked twice.
    std::string outcome(const std::string& input, const ImportOptions& options = {},
                        std::optional<ImportFormat> format = {}) const {
        std::ostringstream out;
        const ImportResult result =
            importGraph(path(input), format.value_or(guessImportFormat(path(input))), options, out);
        std::string text = out.str();
        size_t nodes = 0, links = 0;
        for (int32_t flags = 0; result.ok && flags < 64; ++flags) {
            if (flags & ExtraField) continue;
            ViewerSettings settings;
            settings.loadFlags = flags;
            Graph graph(settings);
            const bool read = readText(graph, text);
            std::set<std::pair<int32_t, int32_t>> pairs;
            for (const Link* l : graph.links) pairs.emplace(l->fromNode->index, l->toNode->index);
            if (flags == 0) std::tie(nodes, links) = std::pair(graph.nodes.size(), pairs.size());
            if (!read || graph.nodes.size() != nodes || graph.links.size() != links ||
                pairs.size() != links) {
                text += "# does not read whole with load flags " + std::to_string(flags) + "\n";
                break;
            }
        }
        for (const std::string& w : result.warnings) text += "# warning: " + w + "\n";
        if (!result.ok) text += "# error: " + result.error + "\n";
        return replaceAll(text, dir_.path(), "$DIR");
    }

private:
    TempDir dir_;
};

// The options of a case; a sitemap is named relative to the inputs' directory.
ImportOptions parsed(const std::string& arguments, const ImportInputs& inputs) {
    ImportOptions o;
    for (size_t at = 0, end; at < arguments.size(); at = end + 2) {
        end = std::min(arguments.find(", ", at), arguments.size());
        const std::string option = arguments.substr(at, end - at);
        const std::string key = option.substr(0, option.find('=')),
                          value = option.substr(option.find('=') + 1);
        if (key == "orphans") o.orphans = true;
        if (key == "group") o.group = value;
        if (key == "root") o.root = value;
        if (key == "header") o.header = value;
        if (key == "start") o.start = value;
        if (key == "base-url") o.baseUrl = value;
        if (key == "sitemap") o.sitemap = inputs.path(value);
        if (key == "direction") o.direction = walkDirectionFromName(value).value_or(o.direction);
        EXPECT_NE(std::string(" orphans group root header start base-url direction format sitemap ")
                      .find(" " + key + " "),
                  std::string::npos)
            << "no option " << key;
    }
    return o;
}

TEST(ImportFormats, EveryCaseGivesItsOutlineOrItsError) {
    const ImportInputs inputs;
    const std::vector<OutlineCase> cases = outlineCases("import/cases.txt");
    ASSERT_GE(cases.size(), 29u);
    for (const OutlineCase& c : cases) {
        const bool made = c.name.starts_with('+');
        const std::string file = c.name.substr(made ? 1 : 0);
        if (made) writeWholeFile(inputs.path(file), c.input);
        const size_t format = c.arguments.find("format=");
        EXPECT_EQ(inputs.outcome(file, parsed(c.arguments, inputs),
                                 format == std::string::npos
                                     ? std::nullopt
                                     : importFormatFromName(c.arguments.substr(format + 7))),
                  c.expected)
            << c.name << " | " << c.arguments;
    }  // The viewer converts a compressed graph file (written above), not a plain one.
    const InputConverter converter = importConverter();
    EXPECT_TRUE(converter.accepts(inputs.path("tree.graph.zst")));
    EXPECT_TRUE(converter.accepts(inputs.path("crawl.csv.gz")));
    EXPECT_FALSE(converter.accepts(inputs.path("outline.txt")));
}

// A gzip file of two members, each larger than a block of the compressed file read at once and
// the second starting within a block, gives what its text gives.
TEST(ImportFormats, AGzipFileOfLargeMembersGivesWhatItsTextGives) {
    std::mt19937_64 random(7);
    const auto id = [&] {
        char hex[25];
        std::snprintf(hex, sizeof hex, "%016llx%08llx", static_cast<unsigned long long>(random()),
                      static_cast<unsigned long long>(random() & 0xFFFFFFFF));
        return std::string(hex);
    };
    std::string halves[2] = {"from,to\n", ""};
    for (std::string& half : halves)
        for (int i = 0; i < 60'000; ++i) half += id() + "," + id() + "\n";
    TempDir dir;
    writeWholeFile(dir / "edges.csv", halves[0] + halves[1]);
    writeWholeFile(dir / "first", halves[0]);
    writeWholeFile(dir / "second", halves[1]);
    const std::string compress = "gzip -c '" + (dir / "first").string() + "' > '" +
                                 (dir / "edges.csv.gz").string() + "' && gzip -c '" +
                                 (dir / "second").string() + "' >> '" +
                                 (dir / "edges.csv.gz").string() + "'";
    ASSERT_EQ(std::system(compress.c_str()), 0);
    ASSERT_GT(std::filesystem::file_size(dir / "edges.csv.gz"), size_t{5} << 20 >> 1);
    std::ostringstream plain, inflated;
    const ImportResult fromText = importGraph(dir / "edges.csv", ImportFormat::Csv, {}, plain);
    const ImportResult fromGzip =
        importGraph(dir / "edges.csv.gz", ImportFormat::Csv, {}, inflated);
    EXPECT_TRUE(fromText.ok && fromGzip.ok) << fromGzip.error;
    const std::string outline = plain.str();
    // A line a node: 120 000 pairs of nodes, each hung under the root.
    EXPECT_EQ(std::count(outline.begin(), outline.end(), '\n'), 240'000);
    EXPECT_TRUE(inflated.str() == outline);
}

// A cancel reaches the DOT parser while it reads a pipe not yet closed, in the first graph or a
// later one; the next file is read as if nothing had happened (its error names its own line).
TEST(ImportDot, ACancelEndsTheReadingOfAPipeNotYetClosed) {
    TempDir dir;
    writeWholeFile(dir / "bad.dot", "digraph {\n a -> b\n c -> -> d\n}\n");
    std::ostringstream ignored;
    const std::string badBefore =
        importGraph(dir.file("bad.dot"), ImportFormat::Dot, {}, ignored, {}).error;
    EXPECT_NE(badBefore.find("line 3"), std::string::npos) << badBefore;
    const std::string fifo = dir.file("piped.dot");
    for (const std::string sent : {"digraph { a -> b; ", "digraph { a -> b }\ndigraph { c -> "}) {
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::atomic<bool> cancel{false};
        ImportProgress progress;
        progress.cancel = &cancel;
        auto importing = std::async(std::launch::async, [&] {
            std::ostringstream out;
            return importGraph(fifo, ImportFormat::Dot, {}, out, progress);
        });
        const int fd = ::open(fifo.c_str(), O_WRONLY);  // once the import has opened it
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::write(fd, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
        cancel = true;
        // The parser waits for more; what comes after the cancel is the last it takes.
        const std::string more = "d; e -> f; ";
        EXPECT_EQ(::write(fd, more.data(), more.size()), static_cast<ssize_t>(more.size()));
        const bool ended =
            importing.wait_for(scaled(std::chrono::seconds(20))) == std::future_status::ready;
        ::close(fd);  // a reader that missed the cancel ends here, and the test fails
        EXPECT_TRUE(ended) << sent;
        EXPECT_TRUE(importing.get().cancelled) << sent;
        std::filesystem::remove(fifo);
    }
    EXPECT_EQ(importGraph(dir.file("bad.dot"), ImportFormat::Dot, {}, ignored, {}).error,
              badBefore);
}

// The readers that take the whole text at once: from a pipe, which cannot tell its size, they give
// what the file gives; a cancel at the first report of the read stops them with nothing written.
TEST(ImportFormats, WholeTextReadersTakeAPipeAndStopWhenCancelled) {
    std::string gexf = "<gexf><graph defaultedgetype='directed'><edges>\n",
                json = "{\"directed\": true, \"nodes\": [], \"links\": [\n";
    for (int i = 1; i < 100'000; ++i) {
        const std::string from = "n" + std::to_string(i / 3), to = "n" + std::to_string(i);
        gexf += "<edge source='" + from + "' target='" + to + "'/>\n";
        json += std::string(i > 1 ? ",\n" : "") + "{\"source\": \"" + from + "\", \"target\": \"" +
                to + "\"}";
    }
    gexf += "</edges></graph></gexf>\n";
    json += "]}\n";
    TempDir dir;
    for (const auto& [name, format, text] : {std::tuple{"graph.gexf", ImportFormat::Gexf, gexf},
                                             std::tuple{"graph.json", ImportFormat::Json, json}}) {
        const std::string file = dir / name, fifo = dir / ("piped-" + std::string(name));
        writeWholeFile(file, text);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] { writeWholeFile(fifo, text); });
        std::ostringstream whole, piped;
        const ImportResult fromFile = importGraph(file, format, {}, whole);
        const ImportResult fromPipe = importGraph(fifo, format, {}, piped);
        writer.join();
        EXPECT_TRUE(fromFile.ok && fromPipe.ok) << name << ": " << fromPipe.error;
        const std::string outline = whole.str();
        // A line a node; n0, hung under the root n1 after it, links on to n1 and n2 again.
        EXPECT_EQ(std::count(outline.begin(), outline.end(), '\n'), 100'002) << name;
        EXPECT_TRUE(piped.str() == outline) << name;

        std::atomic<bool> cancel{false};
        ImportProgress progress;
        progress.cancel = &cancel;
        progress.report = [&](uint64_t done, uint64_t, std::string_view) { cancel = done > 0; };
        std::ostringstream out;
        const ImportResult stopped = importGraph(file, format, {}, out, progress);
        EXPECT_TRUE(stopped.cancelled && !stopped.ok) << name;
        EXPECT_EQ(out.str(), "") << name;
    }
    // GEXF is read a run at a time; what is wrong near its end, after many runs have been
    // taken, is still told as the whole document tells it.
    const std::string cut = dir / "cut.gexf";
    writeWholeFile(cut, gexf.substr(0, gexf.size() - 8) + "</graph>\n");
    std::ostringstream ignored;
    EXPECT_EQ(importGraph(cut, ImportFormat::Gexf, {}, ignored).error,
              cut + ":100001: malformed XML: Start-end tags mismatch");
}

}  // namespace
}  // namespace orvo

// orvo-import with a web address: the graph file it writes from the test site on 127.0.0.1,
// read back as the viewer reads it; an interrupted crawl; addresses and options it refuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "graph/graph.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"
#include "tests/test_time.h"

namespace orvo {
namespace {

using orvo::test::runTool;
using orvo::test::SiteServer;
using orvo::test::TempDir;

struct ReadBack {
    ViewerSettings settings;
    Graph graph{settings};
    bool ok = false;

    explicit ReadBack(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        ok = in && readAndLayOut(graph, in);
    }
    std::set<std::string> ids() const {
        std::set<std::string> out;
        for (const Node* n : graph.nodes) out.emplace(n->id);
        return out;
    }
    std::string group(const std::string& id, int kind) const {
        const Node* n = graph.findNode(id);
        return n ? std::string(graph.groupOf(*n, kind)) : "(no node)";
    }
    std::string parent(const std::string& id) const {
        const Node* n = graph.findNode(id);
        return n && n->parent ? std::string(n->parent->id) : "";
    }
    bool nonTreeLink(const std::string& from, const std::string& to) const {
        const Node* n = graph.findNode(from);
        if (!n) return false;
        for (const Link* l : n->outLinks)
            if (l->toId() == to) return true;
        return false;
    }
};

TEST(CrawlTool, WritesTheSitesGraphAsTheViewerReadsIt) {
    TempDir dir;
    SiteServer server(dir / "log");
    ASSERT_TRUE(server.running());
    const auto u = [&](const std::string& path) { return server.url(path); };
    const auto out = dir / "site.graph";
    const auto run = runTool("orvo-import", {u("/site/"), "-o", out.string(), "--delay", "0",
                                             "--timeout", "1", "--connections", "3"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
    // The reasons for missing pages are in the log on standard error.
    EXPECT_NE(run.err.find(u("/site/missing.html") + ": HTTP 404"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(u("/site/slow.html") + ": timed out after 1 s"), std::string::npos);

    ReadBack g(out);
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.graph.root->id, u("/site/"));
    EXPECT_EQ(g.ids().size(), 28u);
    EXPECT_EQ(g.group(u("/site/"), 0), "html");
    EXPECT_EQ(g.group(u("/site/"), 1), "main");
    EXPECT_EQ(g.group(u("/site/img/logo.png"), 0), "image");
    EXPECT_EQ(g.group(u("/site/report.html"), 0), "application");
    EXPECT_EQ(g.group(u("/site/plain.html"), 0), "text");
    EXPECT_EQ(g.group(u("/site/missing.html"), 1), "missing");
    EXPECT_EQ(g.group(u("/site/error.html"), 1), "missing");
    EXPECT_EQ(g.group(u("/site/slow.html"), 1), "missing");
    EXPECT_EQ(g.group("https://other.invalid/x.html", 1), "external");
    EXPECT_EQ(g.group("http://other.invalid/landing.html", 1), "external");
    EXPECT_EQ(g.group(u("/site/private/secret.html"), 1), "main");
    EXPECT_EQ(g.parent(u("/site/about.html")), u("/site/"));
    EXPECT_EQ(g.parent(u("/site/img/team.jpg")), u("/site/about.html"));
    EXPECT_EQ(g.parent(u("/site/renamed.html")), u("/site/"));
    EXPECT_EQ(g.parent(u("/site/docs/guide.html")), u("/site/docs/"));
    // Further references are links beside the tree.
    EXPECT_TRUE(g.nonTreeLink(u("/site/about.html"), u("/site/")));
    EXPECT_TRUE(g.nonTreeLink(u("/site/docs/"), u("/site/about.html")));
}

// Starts orvo-import in the background, as a shell would.
pid_t startTool(const std::vector<std::string>& arguments, const std::string& errPath) {
    const std::string program = std::string(ORVO_TOOLS_DIR) + "/orvo-import";
    std::vector<std::string> store{program};
    store.insert(store.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : store) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err >= 0) dup2(err, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

TEST(CrawlTool, AnInterruptedCrawlLeavesAValidGraphOfWhatWasCrawled) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        // 50 ms a page: the crawl of 5 000 pages is far from its end when the signal comes.
        SiteServer server(dir / "log", {"--pages", "5000", "--page-delay", "0.05"});
        ASSERT_TRUE(server.running());
        const auto out = dir / "partial.graph";
        const pid_t tool =
            startTool({server.url("/gen/0.html"), "-o", out.string(), "--delay", "0"},
                      (dir / "err").string());
        ASSERT_GT(tool, 0);
        // Wait (boundedly) until some pages have been served.
        testing::waitUntil([&] { return server.requests().size() >= 30; },
                           std::chrono::seconds(30));
        ASSERT_GE(server.requests().size(), 30u);
        EXPECT_FALSE(std::filesystem::exists(out));  // nothing is written before the end
        kill(tool, signal);
        int status = 0;
        ASSERT_EQ(waitpid(tool, &status, 0), tool);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);

        ReadBack g(out);
        ASSERT_TRUE(g.ok);
        EXPECT_GE(g.graph.nodes.size(), 20u);
        EXPECT_LT(g.graph.nodes.size(), 5000u);
        EXPECT_EQ(g.graph.root->id, server.url("/gen/0.html"));
        // Only the graph is left in the folder: no temporary file.
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            files += entry.path().filename() != "log" && entry.path().filename() != "err";
        EXPECT_EQ(files, 1u);
    }
}

TEST(CrawlTool, RefusesWhatItCannotCrawl) {
    TempDir dir;
    const auto out = dir / "never.graph";
    const auto refused =
        runTool("orvo-import", {"http://127.0.0.1:1/", "-o", out.string(), "--timeout", "2"});
    // A start page that cannot be fetched is an error, with the reason; no file is written.
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("http://127.0.0.1:1/: "), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"http://127.0.0.1:1/", "--connections", "0"},
          std::vector<std::string>{"http://127.0.0.1:1/", "--delay", "-1"},
          std::vector<std::string>{"http://127.0.0.1:1/", "--timeout", "0"}}) {
        const auto r = runTool("orvo-import", bad);
        EXPECT_NE(r.status, 0) << bad[1];
        EXPECT_FALSE(r.err.empty()) << bad[1];
    }
}

TEST(CrawlTool, VerifiesTlsCertificatesUnlessToldNotTo) {
    TempDir dir;
    // HTTPS with a certificate no authority signed.
    SiteServer server(dir / "log", {"--tls", dir.path()});
    ASSERT_TRUE(server.running());
    const std::string start = server.url("/site/");
    ASSERT_EQ(start.rfind("https://", 0), 0u);
    const auto out = dir / "site.graph";
    const auto refused =
        runTool("orvo-import", {start, "-o", out.string(), "--delay", "0", "--timeout", "5"});
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_NE(refused.err.find(start + ": "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("certificate"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_TRUE(server.requests().empty()) << "no request goes over an unverified connection";

    const auto insecure = runTool("orvo-import", {start, "-o", out.string(), "--delay", "0",
                                                  "--timeout", "1", "--insecure"});
    ASSERT_EQ(insecure.status, 0) << insecure.err;
    EXPECT_NE(insecure.err.find("warning: TLS certificates are not verified (--insecure)"),
              std::string::npos)
        << insecure.err;
    ReadBack g(out);
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.graph.root->id, start);
    EXPECT_EQ(g.group(server.url("/site/img/logo.png"), 0), "image");
    EXPECT_EQ(g.group(server.url("/site/about.html"), 1), "main");
}

TEST(CrawlTool, OnlyHttpAndHttpsAreEverFetched) {
    TempDir dir;
    SiteServer server(dir / "log");
    ASSERT_TRUE(server.running());
    const auto out = dir / "unsafe.graph";
    const auto run = runTool("orvo-import", {server.url("/unsafe/"), "-o", out.string(),
                                             "--delay", "0", "--whole-host"});
    ASSERT_EQ(run.status, 0) << run.err;
    ReadBack g(out);
    ASSERT_TRUE(g.ok);
    // The redirects were asked for; where they point (like the file: link) is never fetched
    // and stays an external leaf.
    EXPECT_EQ(server.count("GET /unsafe/to-file.html"), 1) << run.err;
    EXPECT_EQ(server.count("GET /unsafe/to-gopher.html"), 1);
    EXPECT_EQ(g.group(server.url("/unsafe/safe.html"), 1), "main");
    for (const char* other : {"file:///etc/passwd", "file:///etc/hostname", "gopher://127.0.0.1/1"}) {
        const Node* n = g.graph.findNode(other);
        ASSERT_NE(n, nullptr) << other;
        EXPECT_EQ(g.group(other, 1), "external") << other;
        EXPECT_TRUE(n->children.empty()) << other;
    }
}

}  // namespace
}  // namespace orvo

// orvo-gen: writes a seeded, web-site-shaped graph file (to a file or standard output).
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "tools/command_line.h"
#include "tools/site_generator.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Writes a graph file shaped like a crawled web site: html pages in a folder tree "
        "with images, text and other files, orphan and external nodes, cross links and "
        "moved pages. The same options always give the same file."};
    app.name("orvo-gen");
    orvo::SiteOptions options;
    std::string output;
    app.add_option("-n,--nodes", options.nodes, "Number of nodes (distinct ids)")
        ->check(CLI::Range(int64_t{1}, int64_t{100'000'000}))
        ->capture_default_str();
    app.add_option("-s,--seed", options.seed, "Seed of the pseudo-random choices")
        ->capture_default_str();
    app.add_option("-o,--output", output, "Output file (standard output when absent)");
    app.set_version_flag("--version", "orvo-gen " ORVO_VERSION);
    if (const std::optional<int> status = orvo::parseCommandLine(app, argc, argv)) return *status;

    orvo::SiteSummary summary;
    if (output.empty()) {
        summary = orvo::writeSiteGraph(std::cout, options);
        std::cout.flush();
        if (!std::cout) {
            std::fprintf(stderr, "orvo-gen: cannot write to standard output\n");
            return 1;
        }
        return 0;
    }
    errno = 0;
    if (!orvo::writeSiteGraphFile(output, options, &summary)) {
        std::fprintf(stderr, "orvo-gen: cannot write %s: %s\n", output.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "orvo-gen: wrote %lld nodes in %lld records (%lld repeated) to %s\n",
                 static_cast<long long>(summary.nodes), static_cast<long long>(summary.records),
                 static_cast<long long>(summary.repeatRecords), output.c_str());
    return 0;
}

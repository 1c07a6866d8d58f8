// orvo_site_stream: writes a site-shaped graph file of any size (up to four billion nodes) as it
// makes it, in a few megabytes of memory, for the benchmarks of very large maps. Progress goes to
// standard error when it is a terminal.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/progress_line.h"
#include "tools/streamed_site.h"

int main(int argc, char** argv) {
    CLI::App app{"Writes a site-shaped graph file of any size as it makes it, in a few megabytes "
                 "of memory. The same options always give the same file."};
    app.name("orvo_site_stream");
    orvo::SiteOptions options;
    std::string output;
    app.add_option("-n,--nodes", options.nodes, "Number of nodes (distinct ids)")
        ->check(CLI::Range(int64_t{1}, orvo::kStreamedSiteMaxNodes))
        ->capture_default_str();
    app.add_option("-s,--seed", options.seed, "Seed of the pseudo-random choices")
        ->capture_default_str();
    app.add_option("-o,--output", output, "Output file (standard output when absent)");
    CLI11_PARSE(app, argc, argv);

    orvo::ProgressLine line(isatty(STDERR_FILENO) != 0);
    const double expected = 1.5 * double(options.nodes);  // records, roughly
    auto progress = [&](int64_t records) {
        if (!line.due()) return;
        char text[96];
        std::snprintf(text, sizeof text, "orvo_site_stream: %lld records written (about %.0f %%)",
                      static_cast<long long>(records),
                      std::min(99.0, 100.0 * double(records) / expected));
        line.show(text);
    };

    std::ofstream file;
    if (!output.empty()) {
        file.open(output, std::ios::binary | std::ios::trunc);
        if (!file) {
            std::fprintf(stderr, "orvo_site_stream: cannot write %s: %s\n", output.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::ostream& out = output.empty() ? std::cout : file;
    const orvo::SiteSummary summary = orvo::writeStreamedSite(out, options, progress);
    line.clear();
    bool written = summary.bytes > 0;
    if (file.is_open()) {
        file.close();
        written = written && !file.fail();
    } else {
        written = written && std::cout.flush();
    }
    if (!written) {
        std::fprintf(stderr, "orvo_site_stream: cannot write %s\n",
                     output.empty() ? "to standard output" : output.c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "orvo_site_stream: wrote %lld nodes in %lld records (%lld repeated, %lld pages "
                 "listed first elsewhere), %lld bytes\n",
                 static_cast<long long>(summary.nodes), static_cast<long long>(summary.records),
                 static_cast<long long>(summary.repeatRecords),
                 static_cast<long long>(summary.preListings), static_cast<long long>(summary.bytes));
    return 0;
}

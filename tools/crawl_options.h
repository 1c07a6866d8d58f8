// The command-line options of a web site crawl (orvo-import URL), in their own option group.
#pragma once

#include <CLI/CLI.hpp>

#include "crawl/crawler.h"

namespace orvo {

/// Registers --connections, --delay, --timeout, --max-pages, --max-depth, --whole-host,
/// --ignore-robots, --no-head, --insecure and --user-agent; parsed values land in `options`.
void addCrawlOptions(CLI::App& app, crawl::CrawlOptions& options);

}  // namespace orvo

// The import options of the tools that turn an input into a graph (orvo-import, orvo-publish):
// the format, a site's start page, base address, orphans and sitemap, an edge list's header, the
// group attribute, the root, the walk's direction and a crawl's limits, registered alike in each.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "import/import.h"

namespace orvo {

struct ImportCommandLine {
    std::string format;  // empty: told from the input
    std::string direction = "auto";
    bool force = false;  // take a file that does not look like a graph, or an empty directory
    ImportOptions import;
};

/// Registers -f/--format, --start, --base-url, --orphans, --sitemap, --header, --group, --root,
/// --direction and the crawl's options; parsed values land in `line`.
void addImportOptions(CLI::App& app, ImportCommandLine& line);

/// Sets the walk's direction from its name and checks --base-url (a web address); "" or why
/// not (a usage error).
std::string checkImportOptions(ImportCommandLine& line);

/// What the tool does with the input once the command line is parsed.
struct ImportPlan {
    ImportFormat format = ImportFormat::Outline;
    int status = 0;     // 0: go on; else the exit status (error says why)
    std::string error;  // without the program's name
};

/// Checks the parsed options (checkImportOptions: status 2) and the input and tells its
/// format: the input must exist (1), a file must not be empty (1), a file read as a graph file
/// must hold a node record in its first lines (else 1 with --format, 2 without: its format
/// cannot be told). Without --force, a file that does not look like a graph (NUL bytes, as
/// binary files hold; a graph file most of whose lines are no record) and a directory holding
/// nothing are refused too (1), with what the file looks like.
ImportPlan planImport(const std::string& input, ImportCommandLine& line);

}  // namespace orvo

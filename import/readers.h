// The readers behind importFromFiles, one per input format (each in its own file).
#pragma once

#include <iosfwd>
#include <string>

#include "import/import.h"

namespace orvo {

class InputFile;
class SiteGraph;

/// The start every file reader shares: opens `file` and reports that reading has begun. False,
/// with result.error naming the file and why, when it cannot be opened.
bool openImportInput(const std::string& file, InputFile& input, const ImportProgress& progress,
                     ImportResult& result);

/// The end every reader shares, once its graph is written (`written` false when the write
/// stopped): a cancelled write says so, a finished one makes the result ok with its warnings
/// counted. Returns the result.
ImportResult finishRead(bool written, const ImportProgress& progress, ImportResult& result);
/// Writes the graph as an outline to `out`, then finishRead.
ImportResult writeAndFinishRead(const SiteGraph& graph, std::ostream& out,
                                const ImportProgress& progress, ImportResult& result);

ImportResult importSiteDirectory(const std::string& directory, const ImportOptions& options,
                                 std::ostream& out, const ImportProgress& progress);
/// importSiteDirectory in two steps, so that the graph can be checked against a sitemap before
/// it is written: the site read into `graph`, `base` the address it is served at (ending in '/');
/// false with result.error, or cancelled, when it could not be read whole.
bool readSiteDirectory(const std::string& directory, const ImportOptions& options, SiteGraph& graph,
                       std::string& base, const ImportProgress& progress, ImportResult& result);
/// Then the graph read (`read` is what readSiteDirectory returned) written to `out`, and the
/// result made ok, or cancelled when the write was.
ImportResult finishSiteDirectory(bool read, const SiteGraph& graph, std::ostream& out,
                                 const ImportProgress& progress, ImportResult& result);
ImportResult importSitemap(const std::string& file, const ImportOptions& options, std::ostream& out,
                           const ImportProgress& progress);
ImportResult importDirectoryTree(const std::string& directory, const ImportOptions& options,
                                 std::ostream& out, const ImportProgress& progress);
ImportResult importEdgeList(const std::string& file, const ImportOptions& options,
                            std::ostream& out, const ImportProgress& progress);
ImportResult importDot(const std::string& file, const ImportOptions& options, std::ostream& out,
                       const ImportProgress& progress);
ImportResult importGraphMl(const std::string& file, const ImportOptions& options, std::ostream& out,
                           const ImportProgress& progress);

// GEXF and JSON node-link graphs.
ImportResult importGexf(const std::string& file, const ImportOptions& options, std::ostream& out,
                        const ImportProgress& progress);
ImportResult importJsonGraph(const std::string& file, const ImportOptions& options,
                             std::ostream& out, const ImportProgress& progress);
ImportResult importGml(const std::string& file, const ImportOptions& options, std::ostream& out,
                       const ImportProgress& progress);
ImportResult importPajek(const std::string& file, const ImportOptions& options, std::ostream& out,
                         const ImportProgress& progress);

}  // namespace orvo

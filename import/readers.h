// The readers behind importGraph, one per input format (each in its own file).
#pragma once

#include <iosfwd>
#include <string>

#include "import/import.h"

namespace orvo {

ImportResult importSiteDirectory(const std::string& directory, const ImportOptions& options,
                                 std::ostream& out, const ImportProgress& progress);
ImportResult importSitemap(const std::string& file, const ImportOptions& options,
                           std::ostream& out, const ImportProgress& progress);
ImportResult importDirectoryTree(const std::string& directory, const ImportOptions& options,
                                 std::ostream& out, const ImportProgress& progress);
ImportResult importEdgeList(const std::string& file, const ImportOptions& options,
                            std::ostream& out, const ImportProgress& progress);
ImportResult importDot(const std::string& file, const ImportOptions& options, std::ostream& out,
                       const ImportProgress& progress);
ImportResult importWebSite(const std::string& url, const ImportOptions& options,
                           std::ostream& out, const ImportProgress& progress);
ImportResult importGraphMl(const std::string& file, const ImportOptions& options,
                           std::ostream& out, const ImportProgress& progress);

}  // namespace orvo

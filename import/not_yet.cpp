// Readers still to come report that plainly instead of pretending.
#include "import/readers.h"

namespace orvo {

namespace {
ImportResult notBuilt(const std::string& input, const char* what) {
    ImportResult result;
    result.error = input + ": reading " + what + " is not built yet";
    return result;
}
}  // namespace

ImportResult importSitemap(const std::string& f, const ImportOptions&, std::ostream&, const ImportProgress&) { return notBuilt(f, "sitemaps"); }
ImportResult importDirectoryTree(const std::string& f, const ImportOptions&, std::ostream&, const ImportProgress&) { return notBuilt(f, "directories"); }

}  // namespace orvo

// Capped warning lists.
#include "import/warnings.h"

namespace orvo {

void addWarning(ImportResult& result, std::string warning) {
    if (result.warnings.size() < kMaxWarnings) {
        result.warnings.push_back(std::move(warning));
    } else {
        ++result.warningsNotListed;
    }
}

void finishWarnings(ImportResult& result) {
    if (result.warningsNotListed == 0) return;
    result.warnings.push_back("... and " + std::to_string(result.warningsNotListed) +
                              " more warnings");
}

}  // namespace orvo

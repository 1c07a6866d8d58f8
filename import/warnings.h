// Warnings collected during an import: the first ones in full, then only counted, so that a
// directory with a hundred thousand unreadable entries does not flood the user.
#pragma once

#include <string>

#include "import/import.h"

namespace orvo {

constexpr size_t kMaxWarnings = 50;

/// Adds the warning, or counts it once kMaxWarnings are there (finishWarnings reports the count).
void addWarning(ImportResult& result, std::string warning);
/// Adds "... and N more warnings" when warnings were only counted.
void finishWarnings(ImportResult& result);

}  // namespace orvo

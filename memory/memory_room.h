// How much memory this process can still take, so that an input too large for it is refused
// with a message before reading starts, instead of ending in the kernel's out-of-memory killer.
#pragma once

#include <cstdint>
#include <string>

namespace orvo {

/// The smallest of: the memory the system says is available (MemAvailable), the room left
/// under the process's address-space limit, and the room left under its control group's
/// memory bound. UINT64_MAX when none of them can be read.
uint64_t memoryRoomBytes();

/// "612 MiB", "3.2 GiB": a size as the messages above give it.
std::string memorySizeText(uint64_t bytes);

/// "" when `neededBytes` fit into `roomBytes`; else a clause for a message: "it needs about
/// 36.2 GiB of memory, and 21.0 GiB are available" (MiB below a GiB).
std::string memoryShortfall(uint64_t neededBytes, uint64_t roomBytes);

}  // namespace orvo

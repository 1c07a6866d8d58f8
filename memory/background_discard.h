// Dropping a big graph frees millions of small blocks, which takes more than a second at ten
// million nodes. Whoever drops one need not wait for that: the remains are destroyed on a thread
// of their own while the caller goes on (closes the window, reads the next file).
#pragma once

#include <memory>

namespace orvo {

/// Destroys what `remains` holds on a thread of its own, or here when no thread can start.
void discardInBackground(std::shared_ptr<void> remains);

/// Waits until every discard handed over so far has finished (for measurements of memory).
void waitForBackgroundDiscards();

}  // namespace orvo

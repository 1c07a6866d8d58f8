// What the outline graph text that flows from the importers to the reader promises about itself.
#pragma once

#include <cstddef>

namespace orvo {

/// The longest line of the outline format, line feed not counted: the reader skips longer ones
/// and the outline writer leaves out a record that would not fit.
constexpr std::size_t kOutlineLineLimit = 1023;

}  // namespace orvo

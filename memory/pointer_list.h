// A list of pointers as small as it can be: Boost's vector with 32-bit counts, 16 bytes where a
// std::vector takes 24. Every node holds three of them (its children, its links in and out), so
// at a million nodes that is 24 MB less.
#pragma once

#include <boost/container/vector.hpp>
#include <cstdint>

namespace orvo {

template <typename T>
using PointerList = boost::container::vector<
    T*, void, boost::container::vector_options_t<boost::container::stored_size<uint32_t>>>;

static_assert(sizeof(PointerList<int>) == 16);

}  // namespace orvo

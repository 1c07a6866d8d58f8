// A list of pointers as small as it can be: Boost's vector with 32-bit counts, 16 bytes where a
// std::vector takes 24. Every node holds three of them (its children, its links in and out), so
// at a million nodes that is 24 MB less. Where sizes are 32 bits already (wasm32), Boost's own
// counts are that small and it takes no narrower stored size.
#pragma once

#include <boost/container/vector.hpp>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace orvo {

using PointerListOptions = std::conditional_t<
    (sizeof(size_t) > sizeof(uint32_t)),
    boost::container::vector_options_t<boost::container::stored_size<uint32_t>>, void>;

template <typename T>
using PointerList = boost::container::vector<T*, void, PointerListOptions>;

static_assert(sizeof(void*) != 8 || sizeof(PointerList<int>) == 16);

}  // namespace orvo

// The bits of one trivially copyable value read as another of the same size. The standard
// library's std::bit_cast where it has one; a copy of the bytes where it does not (the browser
// build's), which compilers turn into the same single move.
#pragma once

#include <cstring>
#include <type_traits>
#if __has_include(<bit>)
#include <bit>
#endif

namespace orvo {

template <typename To, typename From>
    requires(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<To> &&
             std::is_trivially_copyable_v<From>)
To bitCast(const From& from) noexcept {
#if defined(__cpp_lib_bit_cast)
    return std::bit_cast<To>(from);
#else
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
#endif
}

}  // namespace orvo

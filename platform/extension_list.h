// The extension lists that EGL and GLX give: names separated by single spaces.
#pragma once

#include <cstring>

namespace orvo {

/// Whether the list names that extension as a whole word (one name may begin another).
inline bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + length, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    return false;
}

}  // namespace orvo

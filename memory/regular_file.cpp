#include "memory/regular_file.h"

#include <sys/stat.h>

namespace orvo {

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace orvo

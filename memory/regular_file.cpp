#include "memory/regular_file.h"

#include <sys/stat.h>

#include <cstdio>

namespace orvo {

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bool read = std::fseek(file, 0, SEEK_END) == 0;
    const long size = read ? std::ftell(file) : -1;
    read = size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (read) {
        bytes.resize(size_t(size));
        read = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    std::fclose(file);
    return read;
}

}  // namespace orvo

// Files in the tests: a temporary directory removed with what it holds, whole-file reads and
// writes, and text with every occurrence of one piece replaced (to hide what varies by run).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace orvo::testing {

#ifdef ORVO_TEST_DATA
/// A file of tests/data.
inline std::string dataPath(std::string_view name) {
    return std::string(ORVO_TEST_DATA) + "/" + std::string(name);
}
#endif

inline std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); !from.empty() && at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

/// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvo-test-XXXXXX");
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    /// Empty when no directory could be made.
    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    std::filesystem::path operator/(std::string_view name) const {
        return std::filesystem::path(path_) / name;
    }

private:
    std::string path_;
};

}  // namespace orvo::testing

// Small helpers of the graph tests: reading a graph from text or from a file, temporary
// directories, whole-file reads and writes.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "graph/graph.h"

namespace orvo::testing {

inline std::string dataPath(std::string_view name) {
    return std::string(ORVO_TEST_DATA) + "/" + std::string(name);
}

inline bool readText(Graph& g, std::string_view text) {
    std::istringstream in{std::string(text)};
    return g.reload(in);
}

inline bool readFile(Graph& g, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return g.reload(in);
}

inline std::string fileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeContents(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

/// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvo-graph-XXXXXX");
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

}  // namespace orvo::testing

// Inputs as the tools open them, which is how the viewer opens them: a graph file is read as it
// is; a web site's folder, any other directory, a sitemap, an edge list, a DOT or a GraphML file
// is imported in memory with the importers' defaults while the reader takes the text.
#pragma once

#include <fstream>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "stream/input_converter.h"

namespace orvo {

class BackgroundConversion;

/// The converter of the viewer, for the tools that open inputs through the window glue.
InputConverter toolInputConverter();

/// Why the input cannot be opened at all (`cannot open "PATH": REASON`), or "" when it can.
std::string unopenableInput(const std::string& path);

/// One input opened for the graph reader, for the tools that read without the window glue.
class ToolInput {
public:
    explicit ToolInput(const std::string& path);
    ~ToolInput();
    ToolInput(const ToolInput&) = delete;
    ToolInput& operator=(const ToolInput&) = delete;

    /// The text to read; nullptr when the input cannot be opened (error() says why).
    std::istream* stream() { return stream_; }
    /// After the reader is done: "" when the whole input was read, else why not (naming the
    /// input once). An import's warnings are in warnings() then.
    std::string finish();
    const std::string& error() const { return error_; }
    const std::vector<std::string>& warnings() const { return warnings_; }

private:
    std::string path_;
    std::ifstream file_;
    std::unique_ptr<BackgroundConversion> conversion_;
    std::istream* stream_ = nullptr;
    std::string error_;
    std::vector<std::string> warnings_;
};

}  // namespace orvo

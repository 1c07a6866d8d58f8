// Opening what the viewer opens, for the command-line tools.
#include "tools/tool_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "import/import_converter.h"
#include "stream/background_conversion.h"

namespace orvo {

namespace {

std::string cannotOpen(const std::string& path, const std::string& reason) {
    return "cannot open \"" + path + "\": " + reason;
}

}  // namespace

InputConverter toolInputConverter() { return importConverter(); }

std::string unopenableInput(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return cannotOpen(path, std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return "";  // imported as a site or a folder tree
    errno = 0;
    if (!std::ifstream(path, std::ios::binary)) {
        return cannotOpen(path, errno != 0 ? std::strerror(errno) : "it cannot be read");
    }
    return "";
}

// The input is opened once only: a pipe (a named one, or a shell's <(...)) could lose its
// writer to an opening that only checked it.
ToolInput::ToolInput(const std::string& path) : path_(path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error_ = cannotOpen(path, std::strerror(errno));
        return;
    }
    const InputConverter converter = toolInputConverter();
    if (converter.accepts(path)) {
        conversion_ = std::make_unique<BackgroundConversion>(converter, path, [] { return true; });
        stream_ = &conversion_->stream();
        return;
    }
    file_.open(path, std::ios::binary);
    if (!file_) {
        error_ = cannotOpen(path, std::strerror(errno));
        return;
    }
    stream_ = &file_;
}

ToolInput::~ToolInput() = default;

std::string ToolInput::finish() {
    if (stream_ == nullptr) return error_;
    if (!conversion_) return file_.bad() ? "error while reading " + path_ : "";
    conversion_->stop();
    const ConversionResult result = conversion_->result();
    warnings_ = result.warnings;
    if (result.ok) return "";
    if (result.error.empty()) return "cannot import \"" + path_ + "\"";
    // The importers' errors mostly name the file, and the line, already.
    if (result.error.find(path_) != std::string::npos) return "cannot import " + result.error;
    return "cannot import \"" + path_ + "\": " + result.error;
}

}  // namespace orvo

// Reading a whole input file into memory.
#include "import/file_text.h"

#include <algorithm>
#include <vector>

#include "stream/input_file.h"

namespace orvo {

namespace {

std::string readInto(std::string text, std::istream& in, size_t padding) {
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        text.append(buffer.data(), static_cast<size_t>(in.gcount()));
    }
    if (text.capacity() < text.size() + padding) text.reserve(text.size() + padding);
    return text;
}

}  // namespace

std::string readRest(InputFile& input, size_t padding) {
    std::string text;
    // The file's own word for its size may be wrong (a gzip file's trailer is a hint); reading
    // goes on past it, or stops short of it, all the same.
    text.reserve(static_cast<size_t>(input.expectedSize()) + padding);
    return readInto(std::move(text), input.stream(), padding);
}

std::string readRest(std::istream& in, size_t padding) {
    std::string text;
    const std::istream::pos_type start = in.tellg();
    if (start != std::istream::pos_type(-1)) {
        in.seekg(0, std::ios::end);
        const std::istream::pos_type end = in.tellg();
        if (end != std::istream::pos_type(-1) && end > start) {
            text.reserve(static_cast<size_t>(end - start) + padding);
        }
        in.clear();
        in.seekg(start);
    } else {
        in.clear();  // a pipe cannot tell where it is; it is read as it comes
    }
    return readInto(std::move(text), in, padding);
}

uint64_t lineAt(const std::string& text, ptrdiff_t offset) {
    if (offset < 0) return 0;
    const auto end =
        text.begin() + std::min<ptrdiff_t>(offset, static_cast<ptrdiff_t>(text.size()));
    return 1 + static_cast<uint64_t>(std::count(text.begin(), end, '\n'));
}

}  // namespace orvo

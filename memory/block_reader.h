// Reads scattered values of a mapped file, either straight from the mapping or copied a block at
// a time through a small cache. A fault on a mapped page maps the pages around it too, so reading
// a few bytes from each of many places far apart maps most of a large file into the process;
// copying the blocks instead keeps only the cache resident, and costs about what the faults would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "memory/file_excerpts.h"
#include "memory/mapped_file.h"

namespace orvo {

class BlockReader {
public:
    enum class Mode { Mapped, Copied };
    BlockReader(const MappedFile& file, Mode mode);

    /// Copies `bytes` that lie at `at` in the file's mapping into `to`.
    void copy(const unsigned char* at, size_t bytes, void* to) {
        if (mode_ == Mode::Mapped)
            std::memcpy(to, at, bytes);
        else
            copyBlocks(static_cast<uint64_t>(at - file_.data()), bytes,
                       static_cast<unsigned char*>(to));
    }
    /// The value at `at` in the mapping, in the file's byte order (the host's, as the map's).
    template <class T>
    T load(const unsigned char* at) {
        T value;
        copy(at, sizeof value, &value);
        return value;
    }
    /// The `bytes` at `at` as text: viewed in the mapping, or copied into `buffer` (valid until
    /// the buffer changes).
    std::string_view text(const unsigned char* at, size_t bytes, std::string& buffer);

    /// A reader that copies serves what these excerpts of the file hold from them (kept by the
    /// caller while this reader is used).
    void serveFrom(const FileExcerpts* excerpts) { excerpts_ = excerpts; }
    /// A reader that copies lists every range of the file it is asked for, in order, in `reads`.
    void recordInto(std::vector<ByteRange>* reads) { reads_ = reads; }
    /// How many blocks a reader that copies has copied from the file.
    uint64_t blocksRead() const { return blocksRead_; }

private:
    static constexpr size_t kBlockBytes = 4096;
    static constexpr size_t kBlocks = 1024;
    void copyBlocks(uint64_t offset, size_t bytes, unsigned char* to);

    const MappedFile& file_;
    Mode mode_;
    std::unique_ptr<unsigned char[]> blocks_;
    std::unique_ptr<uint64_t[]> tags_;  // the block each slot holds, plus one (0: none)
    const FileExcerpts* excerpts_ = nullptr;
    std::vector<ByteRange>* reads_ = nullptr;
    uint64_t blocksRead_ = 0;
};

}  // namespace orvo

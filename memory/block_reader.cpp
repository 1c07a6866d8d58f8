// Blocks of a mapped file copied through a direct-mapped cache: a value read again soon (the
// top of a binary search, a record's neighbour) costs no second read.
#include "memory/block_reader.h"

#include <algorithm>

namespace orvo {

BlockReader::BlockReader(const MappedFile& file, Mode mode) : file_(file), mode_(mode) {
    if (mode_ == Mode::Mapped) return;
    // Left unset: every block is written before it is read (make_unique_for_overwrite is not in
    // every standard library the project builds with).
    blocks_.reset(new unsigned char[kBlocks * kBlockBytes]);
    tags_ = std::make_unique<uint64_t[]>(kBlocks);
}

void BlockReader::copyBlocks(uint64_t offset, size_t bytes, unsigned char* to) {
    if (reads_ != nullptr) reads_->push_back({offset, bytes});
    if (excerpts_ != nullptr && excerpts_->copy(offset, bytes, to)) return;
    while (bytes > 0) {
        const uint64_t block = offset / kBlockBytes;
        const size_t within = static_cast<size_t>(offset % kBlockBytes);
        const size_t slot = static_cast<size_t>(block % kBlocks);
        unsigned char* held = blocks_.get() + slot * kBlockBytes;
        if (tags_[slot] != block + 1) {
            const uint64_t from = block * kBlockBytes;
            const auto length =
                static_cast<size_t>(std::min<uint64_t>(kBlockBytes, file_.size() - from));
            // What lies past the file's end (cut short since) reads as zeros, as in the mapping.
            file_.copy(from, held, length);
            tags_[slot] = block + 1;
            ++blocksRead_;
        }
        const size_t part = std::min(bytes, kBlockBytes - within);
        std::memcpy(to, held + within, part);
        to += part;
        offset += part;
        bytes -= part;
    }
}

std::string_view BlockReader::text(const unsigned char* at, size_t bytes, std::string& buffer) {
    // Long text is rare: it is viewed in the mapping rather than copied a block at a time.
    if (mode_ == Mode::Mapped || bytes > kBlockBytes)
        return {reinterpret_cast<const char*>(at), bytes};
    buffer.resize(bytes);
    copy(at, bytes, buffer.data());
    return buffer;
}

}  // namespace orvo

// Texts appended end to end, the first ones in memory up to a budget and the rest in a file that
// has no name: it is unlinked as soon as it is made, so that no way the program ends, a crash or
// Ctrl+C included, leaves it behind. A big read keeps its id and label bytes here, so that what it
// holds in memory stays within what it was given.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

class SpillText {
public:
    /// Keeps up to memoryBytes in memory; the rest goes to a file made in `directory` when the
    /// first byte past the budget comes.
    SpillText(std::string directory, uint64_t memoryBytes);
    ~SpillText();
    SpillText(const SpillText&) = delete;
    SpillText& operator=(const SpillText&) = delete;

    /// Bytes appended so far.
    uint64_t size() const { return size_; }
    /// Bytes that went to the file.
    uint64_t spilledBytes() const { return size_ - inMemory_; }
    void append(std::string_view text);
    /// The bytes [offset, offset + length), which must have been appended; the view is valid
    /// until the next call with the same scratch, or the next append. Empty (and error() set)
    /// when the file cannot be read back.
    std::string_view read(uint64_t offset, size_t length, std::string& scratch) const;
    /// Lets go of every byte, in memory and in the file; what failed stays said.
    void clear();
    /// Why a write or read of the file failed, "" while none did.
    const std::string& error() const { return error_; }

private:
    static constexpr size_t kBlockBytes = size_t{1} << 24;
    static constexpr size_t kFileBufferBytes = size_t{1} << 20;
    void spill(std::string_view text);
    void flushFileBuffer();

    std::string directory_;
    uint64_t budget_;
    uint64_t size_ = 0;
    uint64_t inMemory_ = 0;
    std::vector<std::unique_ptr<char[]>> blocks_;
    int fd_ = -1;
    uint64_t fileBytes_ = 0;  // written to the file, the buffer not counted
    std::string fileBuffer_;
    mutable std::string error_;
};

}  // namespace orvo

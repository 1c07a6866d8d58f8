// A file mapped read-only that stays safe to read when it is cut short under the mapping. A read
// past the file's new end would end the process (SIGBUS); here the rest of the mapping turns into
// zeros instead and the mapping says the file changed. Whoever reads a mapped file checks what it
// reads, so the zeros read as damage, never as a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvo {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    /// Maps the regular file at `path` whole; "" or why not (a sentence without the file's name).
    std::string open(const std::string& path);
    /// As open, for the file open as `fd` (which stays the caller's): a file being written, or
    /// one without a name.
    std::string openDescriptor(int fd);
    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }
    /// Whether a read has met the end of the file cut short since it was mapped.
    bool changed() const;
    /// Copies `bytes` of the file from `offset` without mapping them into the process: the
    /// system's page cache serves them, and nothing of the file stays resident here. Bytes past
    /// the file's end read as zeros and count as the file changed; false then.
    bool copy(uint64_t offset, void* to, size_t bytes) const;

private:
    std::string adopt(int fd);  // maps the file open as fd, which it keeps (or closes)
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
    int fd_ = -1;
    int slot_ = -1;  // in the table the fault handler reads
};

/// How many files may be mapped so at once; open() refuses more.
inline constexpr int kMappedFileSlots = 64;

}  // namespace orvo

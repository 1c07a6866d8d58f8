// An input file opened for reading, decompressed as it is read when it is a gzip, bzip2, xz or
// zstd file (known by its first bytes, whatever its name), never whole on disk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

namespace orvo {

/// The compressions an input may come in.
enum class Compression { None, Gzip, Bzip2, Xz, Zstd };

/// From a file's first bytes.
Compression compressionOf(std::string_view head);

/// The name without a compression's extension (".gz", ".bz2", ".xz", ".zst"), in any case.
std::string_view withoutCompressionExtension(std::string_view name);

/// True for a regular file that starts as a compressed one.
bool isCompressedFile(const std::string& path);

class InputFile {
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    /// Opens the file; false when it cannot be opened (error() says why).
    bool open(const std::string& path);
    bool compressed() const { return compression_ != Compression::None; }
    /// The (decompressed) bytes. A decompression error sets the stream's badbit; error() says
    /// what went wrong.
    std::istream& stream() { return *stream_; }
    /// The same bytes as a C stream, for libraries that read one; owned by this object. Use
    /// either this or stream(), not both.
    FILE* cStream();
    /// How many bytes the file gives, as far as it tells before it is read (a gzip file's
    /// trailer says, other compressions do not): room for a reader to make at once. 0 when it
    /// does not tell; never more than a compressed file may give.
    uint64_t expectedSize() const { return expectedSize_; }
    /// Why the file could not be opened or read on: empty while all is well.
    const std::string& error() const { return error_; }

private:
    class Decompressor;
    Compression compression_ = Compression::None;
    std::unique_ptr<Decompressor> decompressor_;
    std::unique_ptr<std::istream> stream_;
    FILE* cStream_ = nullptr;
    uint64_t expectedSize_ = 0;
    std::string path_;
    std::string error_;
};

}  // namespace orvo

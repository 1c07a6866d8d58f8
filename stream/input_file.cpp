// Input files, decompressed through libarchive's filters (raw format: a single compressed file,
// not an archive of several), gzip through its own faster inflater.
#include "stream/input_file.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "stream/chunk_pipe.h"
#include "stream/gzip_inflater.h"

namespace orvo {

Compression compressionOf(std::string_view head) {
    if (head.starts_with("\x1F\x8B")) return Compression::Gzip;
    if (head.starts_with("BZh")) return Compression::Bzip2;
    if (head.starts_with(std::string_view("\xFD"
                                          "7zXZ\0",
                                          6)))
        return Compression::Xz;
    if (head.starts_with("\x28\xB5\x2F\xFD")) return Compression::Zstd;
    return Compression::None;
}

std::string_view withoutCompressionExtension(std::string_view name) {
    const auto endsWith = [name](std::string_view extension) {
        if (name.size() <= extension.size()) return false;
        const std::string_view end = name.substr(name.size() - extension.size());
        for (size_t i = 0; i < end.size(); ++i) {
            const char c = end[i] >= 'A' && end[i] <= 'Z' ? static_cast<char>(end[i] + 32) : end[i];
            if (c != extension[i]) return false;
        }
        return true;
    };
    for (const std::string_view extension : {".gz", ".bz2", ".xz", ".zst"}) {
        if (endsWith(extension)) return name.substr(0, name.size() - extension.size());
    }
    return name;
}

namespace {

// A gzip file ends with the size of what it holds, modulo 2^32 (of its last member only, when
// several follow one another): a hint, not a promise. 0 when it cannot be read.
uint64_t gzipTrailerSize(std::istream& file, off_t fileSize) {
    if (fileSize < 18) return 0;  // a header and a trailer at least
    std::array<unsigned char, 4> size{};
    file.clear();
    file.seekg(fileSize - 4);
    file.read(reinterpret_cast<char*>(size.data()), size.size());
    if (file.gcount() != 4) return 0;
    return uint64_t{size[0]} | uint64_t{size[1]} << 8 | uint64_t{size[2]} << 16 |
           uint64_t{size[3]} << 24;
}

}  // namespace

// Decompresses on a thread of its own, which hands the bytes over in chunks through a pipe while
// the reader takes them: inflating and parsing run side by side. The thread starts with the first
// read (a file only looked at costs none). A failure is thrown out of underflow, which the
// istream turns into its badbit.
class InputFile::Decompressor : public std::streambuf {
public:
    Decompressor(Compression compression, std::string& error)
        : gzip_(compression == Compression::Gzip), error_(error) {}
    ~Decompressor() override {
        pipe_.closeReader();  // the thread stops at its next hand-over
        if (worker_.joinable()) worker_.join();
        if (archive_ != nullptr) archive_read_free(archive_);
    }

    bool open(const std::string& path) {
        if (gzip_) {
            if (inflater_.open(path)) return true;
            failed_ = true;
            error_ = inflater_.error();
            return false;
        }
        archive_ = archive_read_new();
        archive_read_support_filter_all(archive_);
        archive_read_support_format_raw(archive_);
        archive_entry* entry = nullptr;
        if (archive_read_open_filename(archive_, path.c_str(), kBlock) != ARCHIVE_OK ||
            archive_read_next_header(archive_, &entry) != ARCHIVE_OK) {
            failed_ = true;
            error_ = archiveError();
            return false;
        }
        return true;
    }

    /// The next bytes into `to`: the count, 0 at the end, -1 on a failure.
    long read(char* to, size_t size) {
        if (gptr() == egptr() && !nextChunk()) return failed_ ? -1 : 0;
        const size_t n = std::min(size, static_cast<size_t>(egptr() - gptr()));
        std::memcpy(to, gptr(), n);
        gbump(static_cast<int>(n));
        return static_cast<long>(n);
    }
    /// The compressed file's size, which bounds what it may give.
    void setCompressedSize(uint64_t bytes) {
        limit_ = std::max<uint64_t>(bytes * kMostGrowth, kAlwaysAllowed);
    }
    /// The most the file may give.
    uint64_t limit() const { return limit_; }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (!nextChunk()) {
            if (failed_) throw std::runtime_error(error_);
            return traits_type::eof();
        }
        return traits_type::to_int_type(*gptr());
    }

private:
    static constexpr size_t kBlock = 1 << 16;
    static constexpr uint64_t kMostGrowth = 1000;
    static constexpr uint64_t kAlwaysAllowed = uint64_t{64} << 20;

    std::string archiveError() const {
        const char* why = archive_error_string(archive_);
        return why != nullptr ? why : "cannot be decompressed";
    }

    // The reader's side: the next chunk into the get area; false at the end or on a failure.
    bool nextChunk() {
        if (ended_) return false;
        if (!worker_.joinable()) worker_ = std::thread(&Decompressor::decompress, this);
        for (;;) {
            switch (pipe_.take(chunk_, std::chrono::milliseconds(1000))) {
                case ChunkPipe::Take::Chunk:
                    if (chunk_.empty()) continue;
                    setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
                    return true;
                case ChunkPipe::Take::Waiting:
                    continue;
                case ChunkPipe::Take::End:
                    // The thread wrote its outcome before it closed its end.
                    ended_ = true;
                    if (!workerError_.empty()) {
                        failed_ = true;
                        error_ = workerError_;
                    }
                    setg(nullptr, nullptr, nullptr);
                    return false;
            }
        }
    }

    // The thread's side, until the end, a failure, or a reader that has gone.
    void decompress() {
        uint64_t given = 0;
        for (;;) {
            ChunkPipe::Chunk chunk = pipe_.freshChunk();
            chunk.resize(pipe_.chunkBytes());
            const long got = gzip_ ? inflater_.read(chunk.data(), chunk.size())
                                   : long(archive_read_data(archive_, chunk.data(), chunk.size()));
            if (got < 0) {
                workerError_ = gzip_ ? inflater_.error() : archiveError();
                break;
            }
            if (got == 0) break;
            given += static_cast<uint64_t>(got);
            if (given > limit_) {
                // Text compresses ten or twenty times; far beyond that a small file would fill
                // the memory (a "decompression bomb").
                workerError_ = "decompresses to more than " + std::to_string(kMostGrowth) +
                               " times its size; not read";
                break;
            }
            chunk.resize(static_cast<size_t>(got));
            if (!pipe_.push(std::move(chunk))) break;
        }
        pipe_.closeWriter();
    }

    const bool gzip_;
    GzipInflater inflater_;
    archive* archive_ = nullptr;
    std::string& error_;
    bool failed_ = false, ended_ = false;
    uint64_t limit_ = kAlwaysAllowed;
    ChunkPipe pipe_;
    ChunkPipe::Chunk chunk_;   // the one being read
    std::string workerError_;  // the thread's; read once it has closed its end
    std::thread worker_;
};

InputFile::InputFile() = default;

InputFile::~InputFile() {
    if (cStream_ != nullptr) std::fclose(cStream_);
}

bool InputFile::open(const std::string& path) {
    path_ = path;
    auto plain = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*plain) {
        error_ = "cannot be opened";
        return false;
    }
    // Only a regular file is looked into: what a pipe gives cannot be given again.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        stream_ = std::move(plain);
        return true;
    }
    std::array<char, 6> head{};
    plain->read(head.data(), head.size());
    compression_ =
        compressionOf(std::string_view(head.data(), static_cast<size_t>(plain->gcount())));
    if (compression_ == Compression::None) {
        plain->clear();
        plain->seekg(0);
        stream_ = std::move(plain);
        expectedSize_ = static_cast<uint64_t>(st.st_size);
        return true;
    }
    decompressor_ = std::make_unique<Decompressor>(compression_, error_);
    decompressor_->setCompressedSize(static_cast<uint64_t>(st.st_size));
    if (!decompressor_->open(path)) return false;
    if (compression_ == Compression::Gzip) {
        expectedSize_ = std::min(gzipTrailerSize(*plain, st.st_size), decompressor_->limit());
    }
    stream_ = std::make_unique<std::istream>(decompressor_.get());
    return true;
}

FILE* InputFile::cStream() {
    if (cStream_ != nullptr) return cStream_;
    if (!compressed()) {
        cStream_ = std::fopen(path_.c_str(), "rb");
        return cStream_;
    }
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* to, size_t size) -> ssize_t {
        return static_cast<Decompressor*>(cookie)->read(to, size);
    };
    cStream_ = fopencookie(decompressor_.get(), "r", io);
    return cStream_;
}

bool isCompressedFile(const std::string& path) {
    // Never opened unless it is a regular file: opening a named pipe waits for its writer, and
    // closing it again loses what the writer gave.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    InputFile file;
    return file.open(path) && file.compressed();
}

}  // namespace orvo

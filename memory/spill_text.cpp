#include "memory/spill_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvo {

SpillText::SpillText(std::string directory, uint64_t memoryBytes)
    : directory_(std::move(directory)), budget_(memoryBytes) {}

SpillText::~SpillText() {
    if (fd_ >= 0) ::close(fd_);
}

void SpillText::clear() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    decltype(blocks_)().swap(blocks_);
    std::string().swap(fileBuffer_);
    size_ = inMemory_ = fileBytes_ = 0;
}

void SpillText::append(std::string_view text) {
    while (!text.empty() && inMemory_ == size_ && inMemory_ < budget_) {
        const size_t within = static_cast<size_t>(inMemory_ % kBlockBytes);
        if (within == 0) blocks_.push_back(std::make_unique<char[]>(kBlockBytes));
        const size_t piece = static_cast<size_t>(
            std::min<uint64_t>({text.size(), kBlockBytes - within, budget_ - inMemory_}));
        std::memcpy(blocks_.back().get() + within, text.data(), piece);
        inMemory_ += piece;
        size_ += piece;
        text.remove_prefix(piece);
    }
    if (!text.empty()) spill(text);
}

void SpillText::spill(std::string_view text) {
    size_ += text.size();
    if (!error_.empty()) return;
    if (fd_ < 0) {
        std::string path = (directory_.empty() ? std::string(".") : directory_) + "/.orvo-spill-XXXXXX";
        fd_ = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd_ < 0) {
            error_ = "cannot make a temporary file in " + directory_ + ": " + std::strerror(errno);
            return;
        }
        ::unlink(path.c_str());  // gone whatever ends the program; the bytes live while it is open
        fileBuffer_.reserve(kFileBufferBytes);
    }
    fileBuffer_.append(text);
    if (fileBuffer_.size() >= kFileBufferBytes) flushFileBuffer();
}

void SpillText::flushFileBuffer() {
    size_t done = 0;
    while (done < fileBuffer_.size()) {
        const ssize_t wrote = ::pwrite(fd_, fileBuffer_.data() + done, fileBuffer_.size() - done,
                                       static_cast<off_t>(fileBytes_ + done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            error_ = std::string("cannot write a temporary file: ") + std::strerror(errno);
            fileBuffer_.clear();
            return;
        }
        done += static_cast<size_t>(wrote);
    }
    fileBytes_ += fileBuffer_.size();
    fileBuffer_.clear();
}

std::string_view SpillText::read(uint64_t offset, size_t length, std::string& scratch) const {
    if (length == 0) return {};
    if (offset + length <= inMemory_) {
        const size_t within = static_cast<size_t>(offset % kBlockBytes);
        const char* block = blocks_[static_cast<size_t>(offset / kBlockBytes)].get();
        if (within + length <= kBlockBytes) return {block + within, length};
    }
    scratch.resize(length);
    size_t done = 0;
    // The part in memory, block by block.
    while (done < length && offset + done < inMemory_) {
        const uint64_t at = offset + done;
        const size_t within = static_cast<size_t>(at % kBlockBytes);
        const size_t piece = static_cast<size_t>(
            std::min<uint64_t>({length - done, kBlockBytes - within, inMemory_ - at}));
        std::memcpy(scratch.data() + done, blocks_[static_cast<size_t>(at / kBlockBytes)].get() + within,
                    piece);
        done += piece;
    }
    // The part in the file, then the part still in its buffer.
    while (done < length) {
        const uint64_t at = offset + done - inMemory_;
        if (at >= fileBytes_) {
            const size_t inBuffer = static_cast<size_t>(at - fileBytes_);
            if (inBuffer + (length - done) > fileBuffer_.size()) break;
            std::memcpy(scratch.data() + done, fileBuffer_.data() + inBuffer, length - done);
            done = length;
            break;
        }
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(length - done, fileBytes_ - at));
        const ssize_t got = ::pread(fd_, scratch.data() + done, piece, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    if (done < length) {
        if (error_.empty()) error_ = "cannot read a temporary file back";
        return {};
    }
    return {scratch.data(), length};
}

}  // namespace orvo

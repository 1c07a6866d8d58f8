// The in-memory pipe between a converter's thread and the reader.
#include "stream/chunk_pipe.h"

#include <algorithm>
#include <cstring>

namespace orvo {

ChunkPipe::ChunkPipe(size_t chunkBytes, size_t chunksWaiting)
    : chunkBytes_(std::max<size_t>(chunkBytes, 1)),
      chunksWaiting_(std::max<size_t>(chunksWaiting, 1)) {}

ChunkPipe::Chunk ChunkPipe::freshChunk() {
    Chunk chunk;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!spare_.empty()) {
            chunk = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    chunk.clear();
    chunk.reserve(chunkBytes_);
    return chunk;
}

bool ChunkPipe::push(Chunk&& chunk) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return readerClosed_ || waiting_.size() < chunksWaiting_; });
    if (readerClosed_ || writerClosed_) return false;
    waiting_.push_back(std::move(chunk));
    changed_.notify_all();
    return true;
}

void ChunkPipe::closeWriter() {
    std::lock_guard<std::mutex> lock(mutex_);
    writerClosed_ = true;
    changed_.notify_all();
}

ChunkPipe::Take ChunkPipe::take(Chunk& chunk, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, wait, [this] { return !waiting_.empty() || writerClosed_; })) {
        return Take::Waiting;
    }
    if (waiting_.empty()) return Take::End;
    // The reader's used chunk goes back to the writer, so the same few are filled over again.
    if (chunk.capacity() > 0 && spare_.size() < chunksWaiting_) spare_.push_back(std::move(chunk));
    chunk = std::move(waiting_.front());
    waiting_.pop_front();
    changed_.notify_all();
    return Take::Chunk;
}

void ChunkPipe::closeReader() {
    std::lock_guard<std::mutex> lock(mutex_);
    readerClosed_ = true;
    waiting_.clear();
    spare_.clear();
    changed_.notify_all();
}

ChunkPipeWriteBuffer::ChunkPipeWriteBuffer(ChunkPipe& pipe) : pipe_(pipe) {}

ChunkPipeWriteBuffer::~ChunkPipeWriteBuffer() { close(); }

bool ChunkPipeWriteBuffer::pushCollected() {
    if (failed_) return false;
    if (chunk_.empty()) return true;
    if (!pipe_.push(std::move(chunk_))) failed_ = true;
    chunk_ = failed_ ? ChunkPipe::Chunk() : pipe_.freshChunk();
    return !failed_;
}

bool ChunkPipeWriteBuffer::close() {
    if (closed_) return !failed_;
    closed_ = true;
    pushCollected();
    pipe_.closeWriter();
    return !failed_;
}

std::streamsize ChunkPipeWriteBuffer::xsputn(const char* text, std::streamsize count) {
    if (closed_ || failed_) return 0;
    if (chunk_.capacity() == 0) chunk_ = pipe_.freshChunk();
    std::streamsize written = 0;
    while (written < count) {
        const size_t room = pipe_.chunkBytes() - std::min(chunk_.size(), pipe_.chunkBytes());
        if (room == 0) {
            if (!pushCollected()) break;
            continue;
        }
        const size_t part = std::min(room, static_cast<size_t>(count - written));
        chunk_.insert(chunk_.end(), text + written, text + written + part);
        written += static_cast<std::streamsize>(part);
    }
    written_ += static_cast<uint64_t>(written);
    return written;
}

ChunkPipeWriteBuffer::int_type ChunkPipeWriteBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

int ChunkPipeWriteBuffer::sync() {
    if (closed_) return failed_ ? -1 : 0;
    return pushCollected() ? 0 : -1;
}

ChunkPipeReadBuffer::ChunkPipeReadBuffer(ChunkPipe& pipe, std::function<bool()> goOn,
                                         std::chrono::milliseconds wait)
    : pipe_(pipe), goOn_(std::move(goOn)), wait_(wait) {}

ChunkPipeReadBuffer::~ChunkPipeReadBuffer() { pipe_.closeReader(); }

ChunkPipeReadBuffer::int_type ChunkPipeReadBuffer::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    while (!ended_) {
        switch (pipe_.take(chunk_, wait_)) {
            case ChunkPipe::Take::Chunk:
                if (chunk_.empty()) continue;
                taken_ += chunk_.size();
                setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
                return traits_type::to_int_type(*gptr());
            case ChunkPipe::Take::End:
                ended_ = true;
                break;
            case ChunkPipe::Take::Waiting:
                if (goOn_ && !goOn_()) {
                    ended_ = true;
                    pipe_.closeReader();
                }
                break;
        }
    }
    setg(nullptr, nullptr, nullptr);
    return traits_type::eof();
}

}  // namespace orvo

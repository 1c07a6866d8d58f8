// A pipe in memory between two threads of one process: a writer stream fills chunks of text and
// hands them over, a reader stream takes them in order. At most a few chunks wait at a time, so
// a writer that runs ahead waits for the reader instead of piling up the whole text. Either side
// may give up: a reader that stops makes the writer's stream fail at once (it never waits for a
// reader that is gone), and a writer that stops ends the reader's stream after what it wrote.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <istream>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <vector>

namespace orvo {

class ChunkPipe {
public:
    using Chunk = std::vector<char>;

    explicit ChunkPipe(size_t chunkBytes = 256 * 1024, size_t chunksWaiting = 4);
    ChunkPipe(const ChunkPipe&) = delete;
    ChunkPipe& operator=(const ChunkPipe&) = delete;

    size_t chunkBytes() const { return chunkBytes_; }

    /// Writer side: an empty chunk with room for chunkBytes() (a used one when there is one).
    Chunk freshChunk();
    /// Writer side: hands the chunk over, waiting while the pipe is full; false, with the
    /// chunk dropped, once the reader has closed its end.
    bool push(Chunk&& chunk);
    /// Writer side: nothing more comes; the reader sees the end after the chunks waiting.
    void closeWriter();

    enum class Take { Chunk, Waiting, End };
    /// Reader side: the next chunk into `chunk` (whose old contents go back for reuse), or End
    /// when the writer has closed and nothing waits, or Waiting when nothing came for `wait`.
    Take take(Chunk& chunk, std::chrono::milliseconds wait);
    /// Reader side: no more is taken; chunks waiting are dropped and the writer stops waiting.
    void closeReader();

private:
    const size_t chunkBytes_;
    const size_t chunksWaiting_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Chunk> waiting_;
    std::vector<Chunk> spare_;
    bool writerClosed_ = false;
    bool readerClosed_ = false;
};

/// The writer's stream buffer: text collects in a chunk that is pushed when full and on sync.
class ChunkPipeWriteBuffer : public std::streambuf {
public:
    explicit ChunkPipeWriteBuffer(ChunkPipe& pipe);
    ~ChunkPipeWriteBuffer() override;

    /// Pushes what is collected and closes the writer's end (also done by the destructor).
    /// False when some text could not be handed over.
    bool close();
    /// Bytes taken so far.
    uint64_t bytesWritten() const { return written_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    bool pushCollected();

    ChunkPipe& pipe_;
    ChunkPipe::Chunk chunk_;
    uint64_t written_ = 0;
    bool failed_ = false;
    bool closed_ = false;
};

/// The reader's stream buffer. While no chunk comes it asks `goOn` every `wait`; the stream ends
/// when that returns false, as it does at the writer's end.
class ChunkPipeReadBuffer : public std::streambuf {
public:
    ChunkPipeReadBuffer(ChunkPipe& pipe, std::function<bool()> goOn,
                        std::chrono::milliseconds wait = std::chrono::milliseconds(50));
    ~ChunkPipeReadBuffer() override;

    /// Bytes handed to the reader so far.
    uint64_t bytesTaken() const { return taken_; }

protected:
    int_type underflow() override;

private:
    ChunkPipe& pipe_;
    std::function<bool()> goOn_;
    std::chrono::milliseconds wait_;
    ChunkPipe::Chunk chunk_;
    uint64_t taken_ = 0;
    bool ended_ = false;
};

}  // namespace orvo

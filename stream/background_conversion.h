// A conversion that runs on a thread of its own while the graph reader takes its outline text as
// it comes, so that writing the outline and reading it overlap and the text is never held whole.
// The reading thread sees the conversion's progress through atomics; the converter never calls
// back into the window.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <thread>

#include "stream/chunk_pipe.h"
#include "stream/input_converter.h"

namespace orvo {

class BackgroundConversion {
public:
    /// Starts converting `input`. `goOn` is asked while the reader waits for text; when it
    /// returns false the stream ends and the conversion is told to stop.
    BackgroundConversion(const InputConverter& converter, std::string input,
                         std::function<bool()> goOn,
                         std::chrono::milliseconds wait = std::chrono::milliseconds(50));
    /// Stops the conversion if it still runs and waits for its thread.
    ~BackgroundConversion();
    BackgroundConversion(const BackgroundConversion&) = delete;
    BackgroundConversion& operator=(const BackgroundConversion&) = delete;

    /// The outline text; it ends when the conversion ends (or goOn says stop).
    std::istream& stream() { return stream_; }

    /// True once the converter has returned (its text is then all in the pipe).
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    /// The converter's own progress: work done and its total (0 when not known).
    uint64_t done() const { return done_.load(std::memory_order_relaxed); }
    uint64_t total() const { return total_.load(std::memory_order_relaxed); }
    /// The whole text's size once finished() (0 before).
    uint64_t bytesWritten() const { return written_.load(std::memory_order_acquire); }

    /// Stops the reader's side, tells the converter to stop and waits for it.
    void stop();
    /// Waits for the converter and returns how it ended. A conversion whose text could not all
    /// be handed over (the reader stopped) is not ok.
    ConversionResult result();

private:
    void run(InputConverter converter, std::string input);

    ChunkPipe pipe_;
    ChunkPipeReadBuffer readBuffer_;
    std::istream stream_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> done_{0};
    std::atomic<uint64_t> total_{0};
    std::atomic<uint64_t> written_{0};
    ConversionResult result_;
    std::thread thread_;
};

}  // namespace orvo

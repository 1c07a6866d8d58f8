// The converter's thread and what the reading thread learns of it.
#include "stream/background_conversion.h"

#include <exception>
#include <new>
#include <ostream>

namespace orvo {

BackgroundConversion::BackgroundConversion(const InputConverter& converter, std::string input,
                                           std::function<bool()> goOn,
                                           std::chrono::milliseconds wait)
    : readBuffer_(
          pipe_,
          [this, goOn = std::move(goOn)] {
              if (goOn && !goOn()) {
                  stop_ = true;
                  return false;
              }
              return true;
          },
          wait),
      stream_(&readBuffer_) {
    thread_ = std::thread(&BackgroundConversion::run, this, converter, std::move(input));
}

BackgroundConversion::~BackgroundConversion() { stop(); }

void BackgroundConversion::run(InputConverter converter, std::string input) {
    ChunkPipeWriteBuffer writeBuffer(pipe_);
    std::ostream out(&writeBuffer);
    ConversionResult result;
    try {
        result = converter.convert(
            input, out,
            [this](uint64_t done, uint64_t total) {
                done_.store(done, std::memory_order_relaxed);
                total_.store(total, std::memory_order_relaxed);
            },
            &stop_);
    } catch (const std::bad_alloc&) {
        result = ConversionResult{};
        result.error = "there is not enough memory to import it.";
    } catch (const std::exception& error) {
        result = ConversionResult{};
        result.error = error.what();
    }
    // Everything is handed over before the end is marked, so a reader that meets the end of
    // the text finds the conversion finished.
    const bool handedOver = out.flush() && !out.bad();
    if (result.ok && !handedOver) {
        result.ok = false;
        if (result.error.empty()) result.error = "its text could not be read.";
    }
    if (stop_.load()) result.cancelled = true;
    result_ = std::move(result);
    written_.store(writeBuffer.bytesWritten(), std::memory_order_release);
    finished_.store(true, std::memory_order_release);
    writeBuffer.close();
}

void BackgroundConversion::stop() {
    stop_ = true;
    pipe_.closeReader();
    if (thread_.joinable()) thread_.join();
}

ConversionResult BackgroundConversion::result() {
    if (thread_.joinable()) thread_.join();
    return result_;
}

}  // namespace orvo

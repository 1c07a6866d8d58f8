// Texts numbered in the order they come, each stored as what it shares with the one before and
// what follows: a site's addresses come parent, children, siblings, and share most of their
// bytes, so that a hundred million of them fit in memory where their plain text would not.
// Every run of kRun texts starts with one stored whole, so that text i is rebuilt from at most
// kRun entries. The runs are kept by a SpillText: past its memory budget they go to its file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "memory/spill_text.h"

namespace orvo {

class FrontCodedTexts {
public:
    static constexpr size_t kRun = 16;

    FrontCodedTexts(std::string spillDirectory, uint64_t memoryBytes)
        : runs_(std::move(spillDirectory), memoryBytes) {}

    void append(std::string_view text);
    size_t size() const { return count_; }
    /// Text i (< size()); valid until the next call with the same scratch.
    std::string_view get(size_t i, std::string& scratch) const;
    /// Bytes the stored entries take, and those of them that went to the file.
    uint64_t storedBytes() const { return runs_.size() + open_.size(); }
    uint64_t spilledBytes() const { return runs_.spilledBytes(); }
    /// Lets go of every text; what failed stays said.
    void clear();
    /// Why the file failed, "" while it did not.
    const std::string& error() const { return runs_.error(); }

    /// Reads the texts in order, each rebuilt from the one before: a pass over all of them
    /// costs one entry's decoding a text.
    class Cursor {
    public:
        explicit Cursor(const FrontCodedTexts& texts) : texts_(texts) {}
        /// The next text; false after the last.
        bool next(std::string_view& text);

    private:
        const FrontCodedTexts& texts_;
        size_t next_ = 0;
        std::string_view run_;
        size_t runAt_ = 0;
        std::string runScratch_;
        std::string text_;
    };

private:
    void closeRun();
    std::string_view runBytes(size_t run, std::string& scratch) const;

    SpillText runs_;                 // the closed runs, end to end
    std::vector<uint64_t> runStart_;  // by closed run: where it starts in runs_
    std::string open_;               // the run being filled
    std::string last_;               // the text appended last
    size_t count_ = 0;
    mutable std::string runScratch_;
};

}  // namespace orvo

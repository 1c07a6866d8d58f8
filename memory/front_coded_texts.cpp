#include "memory/front_coded_texts.h"

#include <algorithm>

namespace orvo {

namespace {

void putVarint(std::string& out, size_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

// Reads a number at `at`; a run cut short (a failed read gives an empty run) reads as 0.
size_t takeVarint(std::string_view bytes, size_t& at) {
    size_t value = 0;
    for (unsigned shift = 0; at < bytes.size() && shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        value |= size_t{byte & 0x7fu} << shift;
        if ((byte & 0x80u) == 0) break;
    }
    return value;
}

// Rebuilds the entry at `at` onto the text before it, held in `text`.
void takeEntry(std::string_view run, size_t& at, std::string& text) {
    const size_t shared = std::min(takeVarint(run, at), text.size());
    const size_t length = std::min(takeVarint(run, at), run.size() - std::min(at, run.size()));
    text.resize(shared);
    text.append(run.substr(at, length));
    at += length;
}

}  // namespace

void FrontCodedTexts::append(std::string_view text) {
    size_t shared = 0;
    if (count_ % kRun != 0) {
        const size_t most = std::min(text.size(), last_.size());
        while (shared < most && text[shared] == last_[shared]) ++shared;
    }
    putVarint(open_, shared);
    putVarint(open_, text.size() - shared);
    open_.append(text.substr(shared));
    last_.assign(text);
    if (++count_ % kRun == 0) closeRun();
}

void FrontCodedTexts::clear() {
    runs_.clear();
    decltype(runStart_)().swap(runStart_);
    std::string().swap(open_);
    std::string().swap(last_);
    count_ = 0;
}

void FrontCodedTexts::closeRun() {
    runStart_.push_back(runs_.size());
    runs_.append(open_);
    open_.clear();
}

std::string_view FrontCodedTexts::runBytes(size_t run, std::string& scratch) const {
    if (run == runStart_.size()) return open_;
    const uint64_t start = runStart_[run];
    const uint64_t end = run + 1 < runStart_.size() ? runStart_[run + 1] : runs_.size();
    return runs_.read(start, static_cast<size_t>(end - start), scratch);
}

std::string_view FrontCodedTexts::get(size_t i, std::string& scratch) const {
    const std::string_view run = runBytes(i / kRun, runScratch_);
    scratch.clear();
    size_t at = 0;
    for (size_t k = 0; k <= i % kRun; ++k) takeEntry(run, at, scratch);
    return scratch;
}

bool FrontCodedTexts::Cursor::next(std::string_view& text) {
    if (next_ >= texts_.size()) return false;
    if (next_ % kRun == 0) {
        run_ = texts_.runBytes(next_ / kRun, runScratch_);
        runAt_ = 0;
    }
    takeEntry(run_, runAt_, text_);
    ++next_;
    text = text_;
    return true;
}

}  // namespace orvo

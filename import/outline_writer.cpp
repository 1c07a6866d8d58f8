// Record writing with a large buffer: a million records must not mean a million stream calls.
#include "import/outline_writer.h"

#include <charconv>
#include <ostream>

#include "stream/outline_label.h"

namespace orvo {

namespace {

constexpr size_t kFlushBytes = 256 * 1024;
constexpr char kHex[] = "0123456789ABCDEF";

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void appendEscape(std::string& out, unsigned char c) {
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
}

// Calls keep(i, n) for a run of n bytes that stays and escape(byte) for each byte to encode.
template <typename Keep, typename Escape>
void scanField(std::string_view text, bool strict, Keep&& keep, Escape&& escape) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c <= 0x20 || c == 0x7F) {
            escape(c);
            ++i;
        } else if (c == '%') {
            if (!strict && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
                keep(i, 3);
                i += 3;
            } else {
                escape(c);
                ++i;
            }
        } else if (c < 0x80) {
            keep(i, 1);
            ++i;
        } else {
            const size_t n = utf8SequenceLength(text, i);
            // C1 control characters (U+0080 to U+009F) are control characters too.
            const bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
            if (n == 0) {
                escape(c);
                ++i;
            } else if (c1) {
                escape(c);
                escape(static_cast<unsigned char>(text[i + 1]));
                i += 2;
            } else {
                keep(i, n);
                i += n;
            }
        }
    }
}

std::string encode(std::string_view text, bool strict) {
    std::string out;
    out.reserve(text.size());
    scanField(
        text, strict, [&](size_t i, size_t n) { out.append(text.substr(i, n)); },
        [&](unsigned char c) { appendEscape(out, c); });
    return out;
}

}  // namespace

std::string encodeField(std::string_view text) { return encode(text, false); }
std::string encodeFieldStrictly(std::string_view text) { return encode(text, true); }

bool fieldNeedsEncoding(std::string_view text) {
    bool needs = false;
    scanField(
        text, false, [](size_t, size_t) {}, [&](unsigned char) { needs = true; });
    return needs;
}

OutlineWriter::OutlineWriter(std::ostream& out) : out_(out) { buffer_.reserve(kFlushBytes + 2048); }

OutlineWriter::~OutlineWriter() { flush(); }

bool OutlineWriter::write(int64_t level, std::string_view id,
                          std::span<const std::string_view> groups) {
    const bool plain = !fieldNeedsEncoding(id) && [&] {
        for (const std::string_view g : groups) {
            if (fieldNeedsEncoding(g)) return false;
        }
        return true;
    }();
    if (plain) return writeEncoded(level, id, groups);
    const std::string encodedId = encodeField(id);
    std::vector<std::string> encodedGroups;
    std::vector<std::string_view> views;
    encodedGroups.reserve(groups.size());
    for (const std::string_view g : groups) encodedGroups.push_back(encodeField(g));
    for (const std::string& g : encodedGroups) views.push_back(g);
    return writeEncoded(level, encodedId, views);
}

bool OutlineWriter::writeEncoded(int64_t level, std::string_view id,
                                 std::span<const std::string_view> groups) {
    // Straight into the buffer, taken back if the record is too long.
    const size_t start = buffer_.size();
    char number[24];
    const auto [end, error] = std::to_chars(number, number + sizeof number, level);
    (void)error;
    buffer_.append(number, end);
    buffer_.push_back(' ');
    buffer_.append(id);
    buffer_.append(" 0");
    size_t used = groups.size();
    while (used > 0 && groups[used - 1].empty()) --used;
    for (size_t k = 0; k < used; ++k) {
        buffer_.push_back(' ');
        buffer_.append(groups[k].empty() ? std::string_view("-") : groups[k]);
    }
    // The reader takes no group from a one-byte field on the line's last byte; a blank after it
    // keeps a one-character group name.
    if (used > 0 && (groups[used - 1].size() == 1 || groups[used - 1].empty())) {
        buffer_.push_back(' ');
    }
    if (buffer_.size() - start > kOutlineLineLimit) {
        buffer_.resize(start);
        ++leftOut_;
        if (tooLong) tooLong(id);
        return false;
    }
    buffer_.push_back('\n');
    bytes_ += buffer_.size() - start;
    ++written_;
    if (buffer_.size() >= kFlushBytes) flush();
    return true;
}

bool OutlineWriter::writeLabel(std::string_view encodedId, std::string_view label) {
    const std::string record = labelRecord(encodedId, label);
    if (record.empty()) return false;
    const size_t start = buffer_.size();
    buffer_.append(record);
    buffer_.push_back('\n');
    bytes_ += buffer_.size() - start;
    ++labels_;
    if (buffer_.size() >= kFlushBytes) flush();
    return true;
}

bool OutlineWriter::writeGroupKindName(int kind, std::string_view name) {
    std::string record = "-99 groups " + std::to_string(kind) + " ";
    const std::string text = encodeLabelText(name, kOutlineLineLimit - record.size());
    if (text.empty()) return false;
    record += text;
    buffer_.append(record);
    buffer_.push_back('\n');
    bytes_ += record.size() + 1;
    if (buffer_.size() >= kFlushBytes) flush();
    return true;
}

bool OutlineWriter::flush() {
    if (!buffer_.empty()) {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }
    if (!out_) failed_ = true;
    return !failed_;
}

}  // namespace orvo

// The label record of the outline format, "-99 label ID TEXT": the text a node shows instead of
// its id. ID is the node's id as its own record writes it; TEXT is the label with every byte
// that could not stand in a field (a space, a '%', control characters, bytes that are no valid
// UTF-8) written as a %XX escape. A reader that knows no such record skips it as it skips any
// line whose level is below -98 and whose kind it does not know.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "stream/outline_format.h"

namespace orvo {

constexpr std::string_view kLabelRecordStart = "-99 label ";

/// Length of the valid UTF-8 sequence starting at text[i] (1 to 4), or 0 when the bytes there
/// are not one. Overlong forms, surrogates and code points past U+10FFFF are not valid.
inline size_t utf8SequenceLength(std::string_view text, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = at(i);
    const auto continuation = [&](size_t k, unsigned char low = 0x80, unsigned char high = 0xBF) {
        return k < text.size() && at(k) >= low && at(k) <= high;
    };
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return continuation(i + 1) ? 2 : 0;
    if (c == 0xE0) return continuation(i + 1, 0xA0) && continuation(i + 2) ? 3 : 0;
    if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
        return continuation(i + 1) && continuation(i + 2) ? 3 : 0;
    }
    if (c == 0xED) return continuation(i + 1, 0x80, 0x9F) && continuation(i + 2) ? 3 : 0;
    if (c == 0xF0) {
        return continuation(i + 1, 0x90) && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
    }
    if (c >= 0xF1 && c <= 0xF3) {
        return continuation(i + 1) && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
    }
    if (c == 0xF4) {
        return continuation(i + 1, 0x80, 0x8F) && continuation(i + 2) && continuation(i + 3) ? 4
                                                                                             : 0;
    }
    return 0;
}

/// Whether the valid UTF-8 sequence of n bytes at text[i] is a control character (C0, DEL, C1).
inline bool isControlSequence(std::string_view text, size_t i, size_t n) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (n == 1) return c < 0x20 || c == 0x7F;
    return n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
}

namespace label_text {

inline constexpr char kHex[] = "0123456789ABCDEF";
inline constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

inline int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline void appendEscape(std::string& out, unsigned char c) {
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
}

// Appends the bytes of `text` as a field holds them, character by character, while they fit in
// `room`; returns how many bytes of `text` were taken.
inline size_t appendEncoded(std::string& out, std::string_view text, size_t room) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t n = utf8SequenceLength(text, i);
        std::string piece;
        if (n == 0 || c == ' ' || c == '%' || isControlSequence(text, i, n)) {
            for (size_t k = 0; k < (n == 0 ? 1 : n); ++k)
                appendEscape(piece, static_cast<unsigned char>(text[i + k]));
        } else {
            piece.assign(text.substr(i, n));
        }
        if (out.size() + piece.size() > room) break;
        out += piece;
        i += n == 0 ? 1 : n;
    }
    return i;
}

}  // namespace label_text

/// The label as the record's TEXT field, at most `room` bytes long. A longer label is cut after
/// its last whole character (never inside an escape or a UTF-8 sequence) that leaves room for
/// "…", which then ends it. Empty when not even that fits.
inline std::string encodeLabelText(std::string_view label, size_t room) {
    std::string out;
    if (label_text::appendEncoded(out, label, room) == label.size()) return out;
    // Cut: start again with room for the ellipsis.
    out.clear();
    if (room < label_text::kEllipsis.size()) return out;
    label_text::appendEncoded(out, label, room - label_text::kEllipsis.size());
    out += label_text::kEllipsis;
    return out;
}

/// The whole label record of the node with this id (as its own record writes it), line feed
/// not included, cut to the format's line limit; empty when the label is empty or no character
/// of it fits.
inline std::string labelRecord(std::string_view id, std::string_view label) {
    const size_t used = kLabelRecordStart.size() + id.size() + 1;  // and the blank after the id
    if (label.empty() || used >= kOutlineLineLimit) return {};
    const std::string text = encodeLabelText(label, kOutlineLineLimit - used);
    if (text.empty()) return {};
    std::string record;
    record.reserve(used + text.size());
    record.append(kLabelRecordStart).append(id).append(" ").append(text);
    return record;
}

/// The label a TEXT field holds: escapes decoded, except where the bytes would not be valid
/// UTF-8 or would be a control character: those stay written as escapes, so that a label is
/// always text that can be shown.
inline std::string decodeLabelText(std::string_view field) {
    std::string bytes;
    bytes.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '%' && i + 2 < field.size() && label_text::hexValue(field[i + 1]) >= 0 &&
            label_text::hexValue(field[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(label_text::hexValue(field[i + 1]) * 16 +
                                              label_text::hexValue(field[i + 2])));
            i += 2;
        } else {
            bytes.push_back(field[i]);
        }
    }
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = utf8SequenceLength(bytes, i);
        if (n == 0 || isControlSequence(bytes, i, n)) {
            for (size_t k = 0; k < (n == 0 ? 1 : n); ++k)
                label_text::appendEscape(out, static_cast<unsigned char>(bytes[i + k]));
            i += n == 0 ? 1 : n;
        } else {
            out.append(bytes, i, n);
            i += n;
        }
    }
    return out;
}

}  // namespace orvo

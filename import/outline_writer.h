// Writes node records of the outline graph format: "LEVEL ID 0 GROUP0 GROUP1 ...", one a line,
// and label records (see stream/outline_label.h).
// Ids and group names are made safe for the format's fields first (see encodeField), and a
// record longer than the reader's line limit is reported and left out instead of being cut.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

#include "stream/outline_format.h"

namespace orvo {

/// A field as the outline format can hold it: spaces, control characters (a tab too), DEL, bytes
/// that are not part of valid UTF-8 and a '%' that does not start an escape become %XX escapes
/// (upper-case hex); everything else, valid escapes included, stays. Applying it twice changes
/// nothing more.
std::string encodeField(std::string_view text);
/// Like encodeField, but every '%' is encoded too, so distinct texts always stay distinct.
std::string encodeFieldStrictly(std::string_view text);
/// True when encodeField would change the text.
bool fieldNeedsEncoding(std::string_view text);

class OutlineWriter {
public:
    explicit OutlineWriter(std::ostream& out);
    ~OutlineWriter();
    OutlineWriter(const OutlineWriter&) = delete;
    OutlineWriter& operator=(const OutlineWriter&) = delete;

    /// Writes one record; the id and the group names are encoded here. Empty group names at the
    /// end are left off; an empty one before a non-empty one is written as "-". Returns false,
    /// and writes nothing, when the record would exceed the line limit (the id is then passed to
    /// the tooLong handler).
    bool write(int64_t level, std::string_view id, std::span<const std::string_view> groups = {});
    /// Writes a record whose id and groups are already encoded (encodeField).
    bool writeEncoded(int64_t level, std::string_view id,
                      std::span<const std::string_view> groups = {});
    /// Writes the label record of the node with this (encoded) id; a label too long for the line
    /// is cut (see encodeLabelText). False, writing nothing, for an empty label or one without
    /// room for a character.
    bool writeLabel(std::string_view encodedId, std::string_view label);
    /// Writes "-99 groups KIND NAME": what the groups of that kind are (the attribute they were
    /// taken from), which the legend shows as its title; the name is encoded as a label is.
    bool writeGroupKindName(int kind, std::string_view name);
    /// Hands the buffered text to the stream; true when the stream took everything so far.
    bool flush();

    uint64_t recordsWritten() const { return written_; }
    uint64_t recordsLeftOut() const { return leftOut_; }
    uint64_t labelsWritten() const { return labels_; }
    uint64_t bytesWritten() const { return bytes_; }

    /// Called with the (encoded) id of each record left out for its length.
    std::function<void(std::string_view id)> tooLong;

private:
    std::ostream& out_;
    std::string buffer_;
    uint64_t written_ = 0;
    uint64_t leftOut_ = 0;
    uint64_t bytes_ = 0;
    uint64_t labels_ = 0;
    bool failed_ = false;
};

}  // namespace orvo

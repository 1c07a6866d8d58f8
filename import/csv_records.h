// The records of an edge list: comma- or tab-separated fields, quoted as RFC 4180 has them (a
// field in double quotes may hold separators, line breaks and doubled quotes).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

/// The separator of an edge list: tabs for .tsv, commas for .csv; for any other name, tabs when
/// the first line has tabs and no commas.
char edgeListSeparator(std::string_view file, std::string_view text);

struct CsvError {
    uint64_t line = 0;
    std::string message;
};

/// Splits the text into records of fields; calls handle(fields, line of the record's start) for
/// every record that is not blank. Returns an error for malformed quoting.
class CsvSplitter {
public:
    CsvSplitter(std::string_view text, char separator) : text_(text), separator_(separator) {}

    template <typename Handler>
    std::optional<CsvError> run(Handler&& handle) {
        // The fields' strings are reused from record to record: once they have grown to the
        // longest field seen, splitting allocates nothing.
        std::vector<std::string> fields;
        size_t count = 0;
        size_t i = 0;
        uint64_t line = 1;
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") i = 3;  // a byte-order mark
        while (i < text_.size()) {
            const uint64_t recordLine = line;
            count = 0;
            bool endOfRecord = false;
            while (!endOfRecord) {
                if (count == fields.size()) fields.emplace_back();
                std::string& field = fields[count++];
                field.clear();
                if (i < text_.size() && text_[i] == '"') {
                    const uint64_t openedOn = line;
                    ++i;
                    for (;;) {
                        if (i >= text_.size()) {
                            return CsvError{openedOn,
                                            "a quoted field opened on this line is "
                                            "never closed"};
                        }
                        const char c = text_[i++];
                        if (c == '"') {
                            if (i < text_.size() && text_[i] == '"') {
                                field.push_back('"');
                                ++i;
                                continue;
                            }
                            break;
                        }
                        if (c == '\n') ++line;
                        field.push_back(c);
                    }
                    if (i < text_.size() && text_[i] != separator_ && text_[i] != '\n' &&
                        !(text_[i] == '\r' && (i + 1 == text_.size() || text_[i + 1] == '\n'))) {
                        return CsvError{line, "text after the closing quote of a field"};
                    }
                } else {
                    // A plain loop: find_first_of would search its set once for every byte.
                    size_t stop = i;
                    while (stop < text_.size() && text_[stop] != separator_ &&
                           text_[stop] != '\n') {
                        ++stop;
                    }
                    field.assign(text_.substr(i, stop - i));
                    i = stop;
                    if (!field.empty() && field.back() == '\r') field.pop_back();
                }
                if (i < text_.size() && text_[i] == '\r') ++i;
                if (i >= text_.size()) {
                    endOfRecord = true;
                } else if (text_[i] == separator_) {
                    ++i;
                } else {  // '\n'
                    ++i;
                    ++line;
                    endOfRecord = true;
                }
            }
            const std::span<const std::string> record(fields.data(), count);
            const bool blank = count == 1 && record[0].empty();
            if (!blank) handle(record, recordLine);
        }
        return std::nullopt;
    }

private:
    std::string_view text_;
    char separator_;
};

}  // namespace orvo

// An XML text read from a stream a piece at a time, so that a large document never needs to be
// whole in memory or whole as a tree: the start and end tags of the elements the caller opens
// come one by one, and what lies between them comes in runs of complete elements, each of which
// an XML parser can take as a fragment. Only the markup's bounds are found here (where tags,
// comments, processing instructions and CDATA sections end); the parsing is the parser's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

class XmlRuns {
public:
    /// Whether the start tag of an element named `localName` at `depth` (0 for the root) opens
    /// it, its content coming as runs and further open elements, rather than its being one of
    /// the complete elements of a run.
    using Opens = bool (*)(size_t depth, std::string_view localName);

    struct Event {
        enum Kind {
            Open,    // `tag`: the start tag, from '<' to '>'; `depth`: the element's
            Close,   // the end tag of the element last opened at `depth`
            Run,     // `text`: complete elements and the text between them, inside the element
                     // open at `depth` - 1; writable, valid until the next call
            End,     // the document ended, well formed as far as its markup's bounds tell
            Unsure,  // what this does not follow: a DOCTYPE, an encoding other than UTF-8, text
                     // or a second element outside the root, a start tag left open at the end, an
                     // end tag that matches no start tag, or a read error; read the whole document
        } kind = End;
        size_t depth = 0;
        std::string_view tag{};
        char* text = nullptr;
        size_t size = 0;
        uint64_t offset = 0;  // in the stream, of `tag` or `text`
    };

    /// Reads from `in`; runs are cut once they hold `runBytes`, at the end of an element.
    XmlRuns(std::istream& in, Opens opens, size_t runBytes = size_t{1} << 19);

    Event next();

private:
    enum class Markup { Incomplete, Start, Empty, EndTag, Skipped, Unsure };
    /// The markup at pos_ (a '<'): what it is and where it ends (markupEnd_).
    Markup scanMarkup();
    /// Reads more, keeping what is from runStart_ on. False at the end of the stream.
    bool fill();
    Event runUpTo(size_t end);

    std::istream& in_;
    Opens opens_;
    size_t runBytes_;
    std::vector<char> buffer_;
    uint64_t bufferOffset_ = 0;  // in the stream, of buffer_[0]
    size_t pos_ = 0, end_ = 0, runStart_ = 0, markupEnd_ = 0;
    size_t itemDepth_ = 0;           // open elements within the run's current element
    std::vector<std::string> open_;  // the opened elements' names, the root first
    bool rootSeen_ = false;
};

}  // namespace orvo

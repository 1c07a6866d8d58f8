// Finding the bounds of XML markup in a stream read a piece at a time.
#include "import/xml_runs.h"

#include <algorithm>
#include <cstring>

#include "import/ascii_text.h"
#include "import/file_text.h"

namespace orvo {

namespace {

constexpr size_t kFirstRoom = size_t{1} << 20;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Where `what` first occurs in [from, end) of `text`; npos when it does not.
size_t find(const char* text, size_t from, size_t end, std::string_view what) {
    const std::string_view in(text + from, end - from);
    const size_t at = in.find(what);
    return at == std::string_view::npos ? at : from + at;
}

std::string_view tagName(std::string_view tag) {
    size_t start = tag[1] == '/' ? 2 : 1, stop = start;
    while (stop < tag.size() && !isSpace(tag[stop]) && tag[stop] != '/' && tag[stop] != '>') ++stop;
    return tag.substr(start, stop - start);
}

// The encoding an XML declaration names is UTF-8 or none (its default).
bool declaresUtf8(std::string_view declaration) {
    const size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return true;
    std::string_view rest = declaration.substr(at + 8);
    const size_t quote = rest.find_first_of("\"'");
    if (quote == std::string_view::npos) return false;
    rest.remove_prefix(quote + 1);
    const size_t close = rest.find(declaration[at + 8 + quote]);
    const std::string name = asciiLowered(rest.substr(0, close));
    return name == "utf-8" || name == "utf8";
}

}  // namespace

XmlRuns::XmlRuns(std::istream& in, Opens opens, size_t runBytes)
    : in_(in), opens_(opens), runBytes_(runBytes), buffer_(kFirstRoom) {}

bool XmlRuns::fill() {
    if (runStart_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + runStart_, end_ - runStart_);
        bufferOffset_ += runStart_;
        pos_ -= runStart_;
        end_ -= runStart_;
        runStart_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    if (!in_) return false;
    in_.read(buffer_.data() + end_, std::streamsize(buffer_.size() - end_));
    end_ += size_t(in_.gcount());
    return in_.gcount() > 0;
}

XmlRuns::Markup XmlRuns::scanMarkup() {
    const char* b = buffer_.data();
    const size_t have = end_ - pos_;
    const auto startsWith = [&](std::string_view prefix) {
        return have >= prefix.size() && std::string_view(b + pos_, prefix.size()) == prefix;
    };
    const auto mayStartWith = [&](std::string_view prefix) {
        const size_t n = std::min(have, prefix.size());
        return std::string_view(b + pos_, n) == prefix.substr(0, n);
    };
    const auto through = [&](size_t from, std::string_view close, Markup kind) {
        const size_t at = find(b, from, end_, close);
        if (at == std::string_view::npos) return Markup::Incomplete;
        markupEnd_ = at + close.size();
        return kind;
    };
    if (have < 2 || (have < 4 && mayStartWith("<!--")) || (have < 9 && mayStartWith("<![CDATA["))) {
        return Markup::Incomplete;  // too short yet to tell which
    }
    if (b[pos_ + 1] == '?') return through(pos_ + 2, "?>", Markup::Skipped);
    if (startsWith("<!--")) return through(pos_ + 4, "-->", Markup::Skipped);
    if (startsWith("<![CDATA[")) return through(pos_ + 9, "]]>", Markup::Skipped);
    if (b[pos_ + 1] == '!') return Markup::Unsure;  // a DOCTYPE, whose subset may hold markup
    if (b[pos_ + 1] == '/') return through(pos_ + 2, ">", Markup::EndTag);
    // A start tag ends at the first '>' outside its quoted attribute values, which hold no '<'.
    for (size_t i = pos_ + 1; i < end_; ++i) {
        const char c = b[i];
        if (c == '"' || c == '\'') {
            const void* close = std::memchr(b + i + 1, c, end_ - i - 1);
            if (close == nullptr) return Markup::Incomplete;
            i = size_t(static_cast<const char*>(close) - b);
        } else if (c == '>') {
            markupEnd_ = i + 1;
            return b[i - 1] == '/' ? Markup::Empty : Markup::Start;
        } else if (c == '<') {
            return Markup::Unsure;
        }
    }
    return Markup::Incomplete;
}

XmlRuns::Event XmlRuns::runUpTo(size_t end) {
    Event run{Event::Run, open_.size()};
    run.text = buffer_.data() + runStart_;
    run.size = end - runStart_;
    run.offset = bufferOffset_ + runStart_;
    runStart_ = end;
    return run;
}

XmlRuns::Event XmlRuns::next() {
    const Event unsure{Event::Unsure};
    while (true) {
        if (pos_ == end_ && !fill()) {
            if (in_.bad() || !open_.empty() || itemDepth_ > 0 || !rootSeen_) return unsure;
            return {Event::End};
        }
        char* b = buffer_.data();
        if (b[pos_] != '<') {
            const void* lt = std::memchr(b + pos_, '<', end_ - pos_);
            const size_t stop = lt ? size_t(static_cast<const char*>(lt) - b) : end_;
            if (open_.empty() && itemDepth_ == 0) {
                for (size_t i = pos_; i < stop; ++i)
                    if (!isSpace(b[i])) return unsure;  // text outside the root
                runStart_ = stop;
            }
            pos_ = stop;
            continue;
        }
        const Markup markup = scanMarkup();
        if (markup == Markup::Unsure) return unsure;
        if (markup == Markup::Incomplete) {
            if (!fill()) return unsure;
            continue;
        }
        const size_t start = pos_;
        const std::string_view text(b + start, markupEnd_ - start);
        if (markup == Markup::Skipped) {
            if (open_.empty() && itemDepth_ == 0) {
                if (text.starts_with("<![CDATA[")) return unsure;
                if (text.starts_with("<?xml") && isSpace(text[5]) && !declaresUtf8(text))
                    return unsure;
                runStart_ = markupEnd_;
            }
            pos_ = markupEnd_;
            continue;
        }
        if (itemDepth_ > 0) {
            // Within an element of the run: only its end matters here.
            if (markup == Markup::Start) ++itemDepth_;
            if (markup == Markup::EndTag) --itemDepth_;
            pos_ = markupEnd_;
            if (itemDepth_ == 0 && pos_ - runStart_ >= runBytes_) return runUpTo(pos_);
            continue;
        }
        const size_t depth = open_.size();
        if (markup == Markup::EndTag) {
            if (runStart_ < start) return runUpTo(start);
            if (depth == 0 || tagName(text) != open_.back()) return unsure;
            open_.pop_back();
            pos_ = runStart_ = markupEnd_;
            return {Event::Close, depth - 1, text, nullptr, 0, bufferOffset_ + start};
        }
        if (depth == 0) {
            // The root: opened whatever it is; a second one, or an empty one, is not followed.
            if (rootSeen_ || markup == Markup::Empty) return unsure;
            rootSeen_ = true;
        }
        if (markup == Markup::Start && (depth == 0 || opens_(depth, localName(tagName(text))))) {
            if (runStart_ < start) return runUpTo(start);
            open_.emplace_back(tagName(text));
            pos_ = runStart_ = markupEnd_;
            return {Event::Open, depth, text, nullptr, 0, bufferOffset_ + start};
        }
        itemDepth_ = markup == Markup::Start ? 1 : 0;
        pos_ = markupEnd_;
        if (itemDepth_ == 0 && pos_ - runStart_ >= runBytes_) return runUpTo(pos_);
    }
}

}  // namespace orvo

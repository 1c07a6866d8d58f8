// GML: lists of keys and values (integers, reals, strings in double quotes with &-entities,
// lists in brackets), '#' comments. The first top-level graph list is read: its directed flag,
// node lists with an id, a label and any other keys with plain values (the attributes --group
// takes), edge lists with a source and a target. A tokenizer that reads as it goes, lists nested in
// lists that are not read only counted, so that neither the file's size nor its depth can
// exhaust anything.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "import/attribute_groups.h"
#include "import/chunked_text.h"
#include "import/edge_graph.h"
#include "import/readers.h"
#include "import/warnings.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

enum class Token { Key, Integer, Real, String, Open, Close, End };

bool isKeyStart(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isDigit(int c) { return c >= '0' && c <= '9'; }

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// An entity's text (between '&' and ';') as the character it stands for; false for one not
// known, which then stays as it is written.
bool decodeEntity(std::string_view name, std::string& out) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : kNamed) {
        if (name == entity) {
            out += c;
            return true;
        }
    }
    // ISO 8859-1's names, for the characters from 160 on.
    static constexpr std::string_view kLatin1 =
        "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg "
        "plusmn sup2 sup3 acute micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 "
        "iquest Agrave Aacute Acirc Atilde Auml Aring AElig Ccedil Egrave Eacute Ecirc Euml Igrave "
        "Iacute Icirc Iuml ETH Ntilde Ograve Oacute Ocirc Otilde Ouml times Oslash Ugrave Uacute "
        "Ucirc Uuml Yacute THORN szlig agrave aacute acirc atilde auml aring aelig ccedil egrave "
        "eacute ecirc euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc otilde ouml "
        "divide oslash ugrave uacute ucirc uuml yacute thorn yuml";
    uint32_t latin1 = 160;
    for (size_t at = 0; at < kLatin1.size(); ++latin1) {
        const size_t end = std::min(kLatin1.find(' ', at), kLatin1.size());
        if (kLatin1.substr(at, end - at) == name) {
            appendUtf8(out, latin1);
            return true;
        }
        at = end + 1;
    }
    if (name.size() < 2 || name[0] != '#') return false;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    uint32_t code = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
    if (error != std::errc() || end != digits.data() + digits.size() || code == 0 ||
        code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return false;
    }
    appendUtf8(out, code);
    return true;
}

struct GmlError {
    uint64_t line = 0;
    std::string message;
};

class GmlTokenizer {
public:
    explicit GmlTokenizer(std::istream& in) : text_(in) {}

    /// The next token, its text in text(); false with error() set for text that is no token.
    bool next(Token& token) {
        int c = 0;
        for (;;) {
            takeRun([](char b) {
                return b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == '\f';
            });
            c = text_.peek();
            if (c != '#') break;
            takeRun([](char b) { return b != '\n'; });
        }
        line_ = text_.line();
        value_.clear();
        if (c == ChunkedText::kEnd) {
            token = Token::End;
        } else if (c == '[' || c == ']') {
            text_.get();
            token = c == '[' ? Token::Open : Token::Close;
        } else if (c == '"') {
            text_.get();
            token = Token::String;
            return readString();
        } else if (isKeyStart(c)) {
            token = Token::Key;
            takeRun([](char b) { return isKeyStart(b) || isDigit(b); }, &value_);
        } else if (isDigit(c) || c == '-' || c == '+' || c == '.') {
            return readNumber(token);
        } else {
            return fail(c < 0x20 || c >= 0x7F
                            ? "a byte that starts no GML token"
                            : std::string("'") + char(c) + "' starts no GML token");
        }
        return true;
    }
    const std::string& text() const { return value_; }
    uint64_t line() const { return line_; }
    uint64_t bytesRead() const { return text_.taken(); }
    const GmlError& error() const { return error_; }
    bool fail(std::string message) { return failAt(line_, std::move(message)); }
    bool failAt(uint64_t line, std::string message) {
        error_ = {line, std::move(message)};
        return false;
    }

private:
    // Takes the bytes from the next one on while keep(byte) holds, appending them to `into`.
    template <typename Keep>
    void takeRun(Keep keep, std::string* into = nullptr) {
        for (;;) {
            const std::string_view buffered = text_.buffered();
            size_t n = 0;
            while (n < buffered.size() && keep(buffered[n])) ++n;
            if (into != nullptr) into->append(buffered.data(), n);
            text_.take(n);
            if (n < buffered.size() || buffered.empty()) return;
        }
    }

    bool readString() {
        for (;;) {
            takeRun([](char b) { return b != '"' && b != '&'; }, &value_);
            const int c = text_.get();
            if (c == ChunkedText::kEnd) return fail("a string opened on this line is never closed");
            if (c == '"') return true;
            // An entity ends at ';' within a few bytes; anything else is a plain '&'.
            std::string entity;
            while (entity.size() < 12 && text_.peek() != ';' && text_.peek() != '"' &&
                   text_.peek() != ChunkedText::kEnd) {
                entity += char(text_.get());
            }
            if (text_.peek() == ';' && decodeEntity(entity, value_)) {
                text_.get();
            } else {
                value_ += '&';
                value_ += entity;
            }
        }
    }

    bool readNumber(Token& token) {
        takeRun(
            [](char b) {
                return isDigit(b) || b == '-' || b == '+' || b == '.' || b == 'e' || b == 'E';
            },
            &value_);
        const char* first = value_.data() + (value_[0] == '+' ? 1 : 0);
        const char* last = value_.data() + value_.size();
        int64_t integer = 0;
        if (const auto r = std::from_chars(first, last, integer);
            r.ec == std::errc() && r.ptr == last) {
            token = Token::Integer;
            // One spelling per number: 007, +7 and 7 alike.
            if (first != value_.data() || (*first == '0' && value_.size() > 1) ||
                value_.starts_with("-0")) {
                value_ = std::to_string(integer);
            }
            return true;
        }
        double real = 0;
        if (const auto r = std::from_chars(first, last, real);
            r.ec == std::errc() && r.ptr == last) {
            token = Token::Real;
            return true;
        }
        return fail("'" + value_ + "' is not a number");
    }

    ChunkedText text_;
    std::string value_;
    uint64_t line_ = 1;
    GmlError error_;
};

bool isValue(Token t) { return t == Token::Integer || t == Token::Real || t == Token::String; }

// Where the parser is: the lists it reads, and how deep it is in lists it only passes over.
enum class Where { Top, Graph, Node, Edge };

class GmlGraphReader {
public:
    GmlGraphReader(std::istream& in, const ImportOptions& options, const ImportProgress& progress,
                   ImportResult& result)
        : tokens_(in), groups_(options.group), progress_(progress), result_(result) {}

    /// Reads the file into `graph`; an error (with its line) when it is no sound GML graph.
    std::optional<GmlError> read(EdgeGraph& graph, const std::string& file) {
        graph_ = &graph;
        file_ = file;
        if (!parse()) return tokens_.error();
        if (graphs_ == 0) return GmlError{0, "no graph list"};
        if (graphs_ > 1) {
            addWarning(result_, file + ": only the first of its " + std::to_string(graphs_) +
                                    " graphs is read");
        }
        graph.setUndirected(!directed_);
        for (const auto& [n, line] : referencedFirst_) {
            if (!declared(n)) {
                return GmlError{line, "an edge names node " + std::string(graph.graph().id(n)) +
                                          ", which no node list declares"};
            }
        }
        return std::nullopt;
    }
    bool cancelled() const { return cancelled_; }
    AttributeGroups& groups() { return groups_; }

private:
    bool parse() {
        Where where = Where::Top;
        uint64_t passedOver = 0;  // depth in lists that are not read
        Token token;
        for (;;) {
            if (!tokens_.next(token)) return false;
            if (token == Token::End) {
                if (where != Where::Top || passedOver != 0) {
                    return tokens_.fail("the file ends inside a list (a ']' is missing)");
                }
                return true;
            }
            if (token == Token::Close) {
                if (passedOver > 0) {
                    --passedOver;
                } else if (where == Where::Top) {
                    return tokens_.fail("a ']' that closes no list");
                } else if (where == Where::Graph) {
                    where = Where::Top;
                } else {
                    if (!closeItem(where)) return false;
                    where = Where::Graph;
                }
                continue;
            }
            if (token != Token::Key) {
                return tokens_.fail("a key was expected, not " + describe(token));
            }
            key_.assign(tokens_.text());  // reused: no allocation per key
            const std::string& key = key_;
            const uint64_t keyLine = tokens_.line();
            if (!tokens_.next(token)) return false;
            if (token == Token::Open) {
                if (passedOver > 0) {
                    ++passedOver;
                } else if (where == Where::Top && key == "graph" && ++graphs_ == 1) {
                    where = Where::Graph;
                } else if (where == Where::Graph && (key == "node" || key == "edge")) {
                    where = key == "node" ? Where::Node : Where::Edge;
                    item_.clear(keyLine);
                } else {
                    ++passedOver;
                }
                continue;
            }
            if (!isValue(token)) {
                return tokens_.failAt(keyLine,
                                      "the key " + key + " has no value (" + describe(token) + ")");
            }
            if (passedOver == 0 && !takeValue(where, key)) return false;
        }
    }

    static std::string describe(Token t) {
        switch (t) {
            case Token::Key:
                return "a key";
            case Token::Open:
                return "'['";
            case Token::Close:
                return "']'";
            case Token::End:
                return "the end of the file";
            default:
                return "a value";
        }
    }

    bool takeValue(Where where, const std::string& key) {
        const std::string& value = tokens_.text();
        if (where == Where::Graph && key == "directed") {
            directed_ = value != "0";
        } else if (where == Where::Node) {
            if (key == "id") {
                if (item_.hasId) return tokens_.fail("a node with a second id");
                item_.hasId = true;
                item_.id = value;
                return true;
            }
            if (key == "label" && !item_.hasLabel) {
                item_.hasLabel = true;
                item_.label = value;
            }
            if (groups_.wants(key)) {
                if (item_.attributeCount == item_.attributes.size())
                    item_.attributes.emplace_back();
                item_.attributes[item_.attributeCount].first.assign(key);
                item_.attributes[item_.attributeCount++].second.assign(value);
            }
        } else if (where == Where::Edge && (key == "source" || key == "target")) {
            (key == "source" ? item_.source : item_.target) = value;
            (key == "source" ? item_.hasSource : item_.hasTarget) = true;
        }
        return true;
    }

    bool closeItem(Where where) {
        if (where == Where::Node) {
            if (!item_.hasId) return failAt(item_.line, "a node without an id");
            if (item_.id.empty()) {
                addWarning(result_, at(item_.line) + "a node with an empty id, left out");
            } else {
                const EdgeGraph::Index n = nodeOf(item_.id);
                if (declared(n)) {
                    return failAt(item_.line, "a second node with the id " + item_.id);
                }
                declared_.resize(std::max<size_t>(declared_.size(), n + 1), 0);
                declared_[n] = 1;
                if (item_.hasLabel) graph_->graph().setLabel(n, item_.label);
                for (size_t k = 0; k < item_.attributeCount; ++k) {
                    groups_.add(*graph_, n, item_.attributes[k].first, item_.attributes[k].second);
                }
            }
        } else {
            if (!item_.hasSource || !item_.hasTarget) {
                return failAt(item_.line, "an edge without a source or a target");
            }
            if (item_.source.empty() || item_.target.empty()) {
                addWarning(result_,
                           at(item_.line) + "an edge with an empty source or target, left out");
            } else {
                graph_->addEdge(endOf(item_.source), endOf(item_.target), false);
            }
        }
        if (++items_ % 65536 == 0) {
            progress_(tokens_.bytesRead(), 0, "reading");
            if (progress_.cancelled()) {
                cancelled_ = true;
                return tokens_.fail("cancelled");
            }
        }
        return true;
    }

    // A node an edge names: known by now, or noted with the edge's line until a node list
    // declares it.
    EdgeGraph::Index endOf(const std::string& id) {
        const size_t before = graph_->nodeCount();
        const EdgeGraph::Index n = nodeOf(id);
        if (graph_->nodeCount() != before) referencedFirst_.emplace_back(n, item_.line);
        return n;
    }
    // The node with the id. Ids are mostly the numbers from 0 or 1 on: theirs are kept by number
    // instead, which spares the id table. Only an id spelt as the number is (no leading zero)
    // goes by number: the string "007" is another id than 7.
    EdgeGraph::Index nodeOf(const std::string& id) {
        uint32_t number = 0;
        const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), number);
        const bool plainNumber = error == std::errc() && end == id.data() + id.size() &&
                                 (id[0] != '0' || id.size() == 1);
        if (!plainNumber || number >= std::max<size_t>(1 << 20, 4 * graph_->nodeCount())) {
            // A number too large for the table now may fit it later: it must then be looked up.
            numberInTable_ = numberInTable_ || plainNumber;
            return graph_->node(id);
        }
        if (number >= byNumber_.size()) byNumber_.resize(size_t(number) * 2 + 1, SiteGraph::kNone);
        EdgeGraph::Index& n = byNumber_[number];
        if (n == SiteGraph::kNone) n = numberInTable_ ? graph_->node(id) : graph_->newNode(id);
        return n;
    }
    bool declared(EdgeGraph::Index n) const { return n < declared_.size() && declared_[n] != 0; }
    std::string at(uint64_t line) const { return file_ + ":" + std::to_string(line) + ": "; }
    bool failAt(uint64_t line, std::string message) {
        return tokens_.failAt(line, std::move(message));
    }

    // The node or edge list being read; its strings keep their room from one to the next.
    struct Item {
        uint64_t line = 0;
        bool hasId = false, hasSource = false, hasTarget = false, hasLabel = false;
        std::string id, source, target, label;
        std::vector<std::pair<std::string, std::string>> attributes;
        size_t attributeCount = 0;
        void clear(uint64_t at) {
            line = at;
            hasId = hasSource = hasTarget = hasLabel = false;
            id.clear(), source.clear(), target.clear(), label.clear();
            attributeCount = 0;
        }
    };

    GmlTokenizer tokens_;
    AttributeGroups groups_;
    const ImportProgress& progress_;
    ImportResult& result_;
    EdgeGraph* graph_ = nullptr;
    std::string file_;
    Item item_;
    std::string key_;
    std::vector<uint8_t> declared_;
    std::vector<EdgeGraph::Index> byNumber_;
    std::vector<std::pair<EdgeGraph::Index, uint64_t>> referencedFirst_;
    uint64_t graphs_ = 0, items_ = 0;
    bool directed_ = false, cancelled_ = false;
    bool numberInTable_ = false;  // a plain number's id went to the id table, not byNumber_
};

}  // namespace

ImportResult importGml(const std::string& file, const ImportOptions& options, std::ostream& out,
                       const ImportProgress& progress) {
    ImportResult result;
    InputFile input;
    if (!openImportInput(file, input, progress, result)) return result;
    EdgeGraph graph;
    GmlGraphReader reader(input.stream(), options, progress, result);
    const std::optional<GmlError> error = reader.read(graph, file);
    if (reader.cancelled()) {
        result.cancelled = true;
        return result;
    }
    if (input.stream().bad()) {
        result.error = file + ": " + (input.error().empty() ? "read error" : input.error());
        return result;
    }
    if (error) {
        result.error = file + (error->line > 0 ? ":" + std::to_string(error->line) : "") + ": " +
                       error->message;
        return result;
    }
    if (!reader.groups().finish(graph)) {
        result.error = "--group " + options.group + ": no node of " + file + " has this key";
        return result;
    }
    result.groupedBy = reader.groups().chosen();
    if (!graph.build(options.root, options.direction, file, result)) return result;
    return finishRead(graph.write(out, progress, result), progress, result);
}

}  // namespace orvo

// Pajek networks: '%' comment lines, *Network (its name is not kept), *Vertices N followed by
// vertex lines "number label [x y z] [key value ...]" (the label quoted or a single word),
// *Arcs and *Edges with a line per link "from to [weight ...]", *Arcslist and *Edgeslist with
// a line per vertex and the vertices it links to. Vertices are numbered 1 to N; each node's id
// is its number, and the nodes come in the order the file first names them. Arcs are directed,
// edges undirected, as the section says. The keys of the vertex lines (ic, bc, a shape word as
// "shape", ...) are the node attributes --group takes. Read line by line as the file streams in.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "import/ascii_text.h"
#include "import/attribute_groups.h"
#include "import/edge_graph.h"
#include "import/readers.h"
#include "import/warnings.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

// More vertices than this are refused. Vertices that no line and no link names become nodes
// only up to the second number: a line of a few bytes must not claim gigabytes.
constexpr uint64_t kMostVertices = 10'000'000, kMostUnnamedVertices = 1'000'000;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Splits a line into words; a word in double quotes may hold blanks (and has its quotes taken
// off). False when a quote is not closed.
bool splitWords(std::string_view line, std::vector<std::string_view>& words) {
    words.clear();
    for (size_t i = 0;;) {
        while (i < line.size() && isSpace(line[i])) ++i;
        if (i == line.size()) return true;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) return false;
            words.push_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            const size_t start = i;
            while (i < line.size() && !isSpace(line[i])) ++i;
            words.push_back(line.substr(start, i - start));
        }
    }
}

bool parseNumber(std::string_view word, uint64_t& number) {
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
    return error == std::errc() && end == word.data() + word.size();
}

bool isCoordinate(std::string_view word) {
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc() && end == word.data() + word.size();
}

bool isShape(std::string_view word) {
    static constexpr std::array<std::string_view, 8> kShapes = {
        "ellipse", "box", "diamond", "triangle", "cross", "empty", "man", "woman"};
    for (const std::string_view shape : kShapes) {
        if (asciiLowered(word) == shape) return true;
    }
    return false;
}

enum class Section { None, Vertices, Arcs, Edges, ArcsList, EdgesList, NotRead };

class PajekReader {
public:
    PajekReader(const std::string& file, const ImportOptions& options,
                const ImportProgress& progress, ImportResult& result, EdgeGraph& graph)
        : file_(file),
          group_(options.group),
          groups_(options.group),
          progress_(progress),
          result_(result),
          graph_(graph) {}

    /// Reads the lines; false with result.error set (or result.cancelled) when it stops.
    bool read(std::istream& in) {
        std::string line;
        while (std::getline(in, line)) {
            ++lineNumber_;
            if (lineNumber_ == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
            if (!readLine(line)) return false;
            if (lineNumber_ % 65536 == 0) {
                progress_(lineNumber_, 0, "reading");
                if (progress_.cancelled()) {
                    result_.cancelled = true;
                    return false;
                }
            }
        }
        if (!vertices_) {
            result_.error = file_ + ": no *Vertices line";
            return false;
        }
        return true;
    }
    bool finish() {
        const uint64_t unnamed = count_ - graph_.nodeCount();
        if (unnamed > kMostUnnamedVertices) {
            addWarning(result_, file_ + ": " + std::to_string(unnamed) + " of its " +
                                    std::to_string(count_) +
                                    " vertices are named by no line and no link, and left out");
        } else {
            for (uint64_t v = 1; v <= count_; ++v) {
                if (nodes_[v - 1] == SiteGraph::kNone) graph_.newNode(std::to_string(v));
            }
        }
        if (groups_.finish(graph_)) {
            result_.groupedBy = groups_.chosen();
            return true;
        }
        result_.error = "--group " + group_ + ": no vertex line of " + file_ + " has this key";
        return false;
    }

private:
    bool readLine(std::string_view line) {
        size_t start = 0;
        while (start < line.size() && isSpace(line[start])) ++start;
        if (start == line.size() || line[start] == '%') return true;
        if (!splitWords(line, words_)) return fail("a quote that is not closed");
        if (line[start] == '*') return startSection();
        switch (section_) {
            case Section::None:
                return fail("a line before any *Vertices, *Arcs or *Edges line");
            case Section::Vertices:
                return readVertex();
            case Section::Arcs:
            case Section::Edges:
            case Section::ArcsList:
            case Section::EdgesList:
                return readLinks();
            case Section::NotRead:
                return true;
        }
        return true;
    }

    bool startSection() {
        const std::string keyword = asciiLowered(words_[0]);
        if (keyword == "*network") return true;
        if (keyword == "*vertices") {
            uint64_t count = 0;
            if (vertices_) return fail("a second *Vertices line");
            if (words_.size() < 2 || !parseNumber(words_[1], count)) {
                return fail("*Vertices without the number of vertices");
            }
            if (count > kMostVertices) {
                return fail("more than " + std::to_string(kMostVertices) +
                            " vertices are not read");
            }
            vertices_ = true;
            count_ = count;
            nodes_.assign(count, SiteGraph::kNone);
            // Room in the id table at once (not rebuilt as it grows), as much as a small file
            // may claim.
            graph_.reserve(std::min(count, kMostUnnamedVertices),
                           std::min(count, kMostUnnamedVertices));
            section_ = Section::Vertices;
            return true;
        }
        const Section links = keyword == "*arcs"        ? Section::Arcs
                              : keyword == "*edges"     ? Section::Edges
                              : keyword == "*arcslist"  ? Section::ArcsList
                              : keyword == "*edgeslist" ? Section::EdgesList
                                                        : Section::NotRead;
        if (links != Section::NotRead && !vertices_) {
            return fail(std::string(words_[0]) + " before the *Vertices line");
        }
        if (links == Section::NotRead) {
            addWarning(result_, where() + std::string(words_[0]) + " sections are not read");
        }
        section_ = links;
        return true;
    }

    bool vertexNumber(std::string_view word, EdgeGraph::Index& n) {
        uint64_t number = 0;
        if (!parseNumber(word, number) || number == 0 || number > count_) {
            return fail("'" + std::string(word).substr(0, 40) + "' is no vertex number from 1 to " +
                        std::to_string(count_));
        }
        // Nodes are made as the file names them, so that a file names its nodes' order. The
        // table by number keeps each id once: none needs looking up.
        EdgeGraph::Index& node = nodes_[number - 1];
        if (node == SiteGraph::kNone) node = graph_.newNode(std::to_string(number));
        n = node;
        return true;
    }

    bool readVertex() {
        EdgeGraph::Index n = 0;
        if (!vertexNumber(words_[0], n)) return false;
        // After the label, up to three coordinates, then shape words and keys with their values.
        size_t k = 2;
        while (k < words_.size() && k < 5 && isCoordinate(words_[k])) ++k;
        for (; k < words_.size(); ++k) {
            if (isShape(words_[k])) {
                groups_.add(graph_, n, "shape", asciiLowered(words_[k]));
            } else if (k + 1 < words_.size()) {
                groups_.add(graph_, n, words_[k], words_[k + 1]);
                ++k;
            }
        }
        return true;
    }

    bool readLinks() {
        const bool list = section_ == Section::ArcsList || section_ == Section::EdgesList;
        const bool undirected = section_ == Section::Edges || section_ == Section::EdgesList;
        if (words_.size() < 2) return fail("a link without its second vertex");
        EdgeGraph::Index from = 0, to = 0;
        if (!vertexNumber(words_[0], from)) return false;
        const size_t last = list ? words_.size() : 2;  // after a link line's ends: weight, ...
        for (size_t k = 1; k < last; ++k) {
            if (!vertexNumber(words_[k], to)) return false;
            graph_.addEdge(from, to, undirected);
        }
        return true;
    }

    std::string where() const { return file_ + ":" + std::to_string(lineNumber_) + ": "; }
    bool fail(const std::string& message) {
        result_.error = where() + message;
        return false;
    }

    const std::string& file_;
    const std::string& group_;
    AttributeGroups groups_;
    const ImportProgress& progress_;
    ImportResult& result_;
    EdgeGraph& graph_;
    std::vector<std::string_view> words_;
    std::vector<EdgeGraph::Index> nodes_;  // by vertex number - 1
    Section section_ = Section::None;
    bool vertices_ = false;
    uint64_t count_ = 0, lineNumber_ = 0;
};

}  // namespace

ImportResult importPajek(const std::string& file, const ImportOptions& options, std::ostream& out,
                         const ImportProgress& progress) {
    ImportResult result;
    InputFile input;
    if (!openImportInput(file, input, progress, result)) return result;
    EdgeGraph graph;
    PajekReader reader(file, options, progress, result, graph);
    const bool read = reader.read(input.stream());
    if (input.stream().bad()) {
        result.error = file + ": " + (input.error().empty() ? "read error" : input.error());
        return result;
    }
    if (!read) return result;
    if (!reader.finish()) return result;
    if (!graph.build(options.root, options.direction, file, result)) return result;
    return finishRead(graph.write(out, progress, result), progress, result);
}

}  // namespace orvo

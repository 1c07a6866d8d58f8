// The import dialog's choices read from a file's head.
#include "import/import_choices.h"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <streambuf>

#include "import/ascii_text.h"
#include "import/csv_records.h"
#include "memory/regular_file.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

// More names than this are not offered: a list that long helps nobody choose.
constexpr size_t kMostGroupChoices = 64;

void offerGroup(ImportChoices& choices, std::string label, std::string value) {
    if (value.empty() || choices.groups.size() >= kMostGroupChoices) return;
    GroupChoice choice{std::move(label), std::move(value)};
    if (std::find(choices.groups.begin(), choices.groups.end(), choice) == choices.groups.end())
        choices.groups.push_back(std::move(choice));
}

// Edge lists: the header judged as the importer judges it (the first line is a header when
// neither of its first two fields is an id anywhere else), and the columns after the first two
// (from and to) by their header names, else by their numbers.
void scanEdgeList(const ChoicesHead& head, ImportChoices& choices) {
    std::vector<std::string> first;
    bool elsewhere = false;
    bool firstSeen = false;
    const auto isFirst = [&](const std::string& id) {
        return !id.empty() && (id == first[0] || (first.size() > 1 && id == first[1]));
    };
    CsvSplitter splitter(head.text, edgeListSeparator(head.path, head.text));
    splitter.run([&](std::span<const std::string> fields, uint64_t) {
        if (!firstSeen) {
            firstSeen = true;
            first.assign(fields.begin(), fields.end());
            return;
        }
        if (elsewhere || first[0].empty() || fields[0].empty()) return;
        elsewhere = isFirst(fields[0]) || (fields.size() > 1 && isFirst(fields[1]));
    });
    if (!firstSeen) return;
    choices.headerLine = !first[0].empty() && !elsewhere;
    choices.headerFromHead = choices.headerLine && !head.whole;
    const bool named = head.header == "yes" || (head.header == "auto" && choices.headerLine);
    // By number, whatever it reads as: a name would make the first line a header even where
    // the header setting says it is data, and a name of digits would read as a number.
    for (size_t column = 2; column < first.size(); ++column) {
        const std::string number = std::to_string(column + 1);
        offerGroup(choices, named && !first[column].empty() ? first[column] : "column " + number,
                   number);
    }
}

bool isNameByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || u >= 0x80;
}

// One token of DOT text: a word (a name, a number, a quoted or an HTML string), an edge operator,
// or one byte of punctuation. Comments and blanks are skipped; `end` when the text is done.
struct DotToken {
    enum Kind { Word, EdgeOp, Punct, End } kind = End;
    std::string word;
    char punct = 0;
};

DotToken nextDotToken(std::string_view text, size_t& i) {
    DotToken token;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (text.substr(i, 2) == "//" || (c == '#' && (i == 0 || text[i - 1] == '\n'))) {
            i = std::min(text.find('\n', i), text.size());
        } else if (text.substr(i, 2) == "/*") {
            const size_t close = text.find("*/", i + 2);
            i = close == std::string_view::npos ? text.size() : close + 2;
        } else {
            break;
        }
    }
    if (i >= text.size()) return token;
    const char c = text[i];
    if (text.substr(i, 2) == "->" || text.substr(i, 2) == "--") {
        token.kind = DotToken::EdgeOp;
        i += 2;
    } else if (c == '"') {
        token.kind = DotToken::Word;
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"') ++i;
            token.word.push_back(text[i]);
        }
        ++i;
    } else if (c == '<') {
        token.kind = DotToken::Word;
        for (int depth = 0; i < text.size(); ++i) {
            depth += text[i] == '<' ? 1 : text[i] == '>' ? -1 : 0;
            if (depth == 0) break;
        }
        ++i;
    } else if (isNameByte(c) || c == '-') {
        token.kind = DotToken::Word;
        do token.word.push_back(text[i++]);
        while (i < text.size() && isNameByte(text[i]));
    } else {
        token.kind = DotToken::Punct;
        token.punct = c;
        ++i;
    }
    return token;
}

// DOT: the names of the node attributes set in the head, in node statements and in node
// defaults ("node [shape=box]"), as the importer looks its group up among them.
void scanDot(const ChoicesHead& head, ImportChoices& choices) {
    // The statement's first word, whether it has an edge operator, whether the last token was a
    // word (two words in a row start a new statement, after a keyword that takes a name aside),
    // and the attribute list open, if any.
    std::string first, last;
    bool edge = false, lastWasWord = false, inList = false, nodeList = false, afterList = false;
    const auto endStatement = [&] {
        first.clear();
        edge = afterList = false;
    };
    size_t i = 0;
    for (DotToken token; (token = nextDotToken(head.text, i)).kind != DotToken::End;) {
        if (inList) {
            if (token.kind == DotToken::Punct && token.punct == ']') {
                inList = false;
                afterList = true;
            } else if (token.kind == DotToken::Punct && token.punct == '=' && nodeList &&
                       lastWasWord) {
                offerGroup(choices, last, last);
            }
            lastWasWord = token.kind == DotToken::Word;
            last = token.word;
            continue;
        }
        switch (token.kind) {
            case DotToken::Word: {
                const std::string keyword = asciiLowered(last);
                if (afterList || (lastWasWord && keyword != "subgraph" && keyword != "graph" &&
                                  keyword != "digraph" && keyword != "strict")) {
                    endStatement();
                }
                if (first.empty()) first = token.word;
                break;
            }
            case DotToken::EdgeOp:
                edge = true;
                break;
            case DotToken::Punct:
                if (token.punct == '[') {
                    if (!afterList) {
                        const std::string keyword = asciiLowered(first);
                        nodeList = keyword == "node" || (!edge && !keyword.empty() &&
                                                         keyword != "edge" && keyword != "graph");
                    }
                    inList = true;
                } else if (token.punct == ';' || token.punct == '{' || token.punct == '}') {
                    endStatement();
                }
                break;
            case DotToken::End:
                break;
        }
        lastWasWord = token.kind == DotToken::Word;
        last = token.word;
    }
}

std::string decodedXmlText(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> kEntities{
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        bool replaced = false;
        for (const auto& [entity, byte] : kEntities) {
            if (text.substr(i, entity.size()) == entity) {
                out.push_back(byte);
                i += entity.size() - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced) out.push_back(text[i]);
    }
    return out;
}

// Calls visit(localName, attributes) for each start tag of an XML head, comments skipped; the
// attribute values come with their entities replaced.
template <class Visit>
void forEachStartTag(std::string_view text, Visit visit) {
    std::vector<std::pair<std::string_view, std::string>> attributes;
    for (size_t i = 0; (i = text.find('<', i)) != std::string_view::npos;) {
        if (text.substr(i, 4) == "<!--") {
            i = text.find("-->", i);
            if (i == std::string_view::npos) return;
            continue;
        }
        size_t end = ++i;
        while (end < text.size() && isNameByte(text[end])) ++end;
        std::string_view name = text.substr(i, end - i);
        if (const size_t colon = text.substr(i, end - i + 1).find(':');
            colon != std::string_view::npos && colon == name.size()) {
            // A prefixed element: the local name follows the colon.
            const size_t local = end + 1;
            end = local;
            while (end < text.size() && isNameByte(text[end])) ++end;
            name = text.substr(local, end - local);
        }
        const size_t close = text.find('>', end);
        if (close == std::string_view::npos) return;
        attributes.clear();
        for (size_t a = end; a < close;) {
            const size_t equals = text.find('=', a);
            if (equals == std::string_view::npos || equals >= close) break;
            const std::string_view attribute = trimAscii(text.substr(a, equals - a));
            size_t quote = equals + 1;
            while (quote < close && text[quote] == ' ') ++quote;
            if (quote >= close || (text[quote] != '"' && text[quote] != '\'')) break;
            const size_t valueEnd = text.find(text[quote], quote + 1);
            if (valueEnd == std::string_view::npos || valueEnd > close) break;
            attributes.emplace_back(attribute,
                                    decodedXmlText(text.substr(quote + 1, valueEnd - quote - 1)));
            a = valueEnd + 1;
        }
        visit(name, attributes);
        i = close;
    }
}

std::string attributeOf(std::span<const std::pair<std::string_view, std::string>> attributes,
                        std::string_view name, std::string fallback = {}) {
    for (const auto& [attribute, value] : attributes)
        if (attribute == name) return value;
    return fallback;
}

// GraphML: the keys for nodes (or for all) in the head, by their attr.name, else their id, as
// the importer finds its group key by either.
void scanGraphMl(const ChoicesHead& head, ImportChoices& choices) {
    forEachStartTag(head.text, [&](std::string_view name, const auto& attributes) {
        if (name != "key") return;
        const std::string domain = attributeOf(attributes, "for", "all");
        if (domain != "node" && domain != "all") return;
        const std::string shown =
            attributeOf(attributes, "attr.name", attributeOf(attributes, "id"));
        offerGroup(choices, shown, shown);
    });
}

// GEXF: the attributes declared for nodes in the head, by their title, else their id.
void scanGexf(const ChoicesHead& head, ImportChoices& choices) {
    bool forNodes = false;
    forEachStartTag(head.text, [&](std::string_view name, const auto& attributes) {
        if (name == "attributes") forNodes = attributeOf(attributes, "class", "node") == "node";
        if (name != "attribute" || !forNodes) return;
        const std::string shown = attributeOf(attributes, "title", attributeOf(attributes, "id"));
        offerGroup(choices, shown, shown);
    });
}

constexpr std::array<ImportFormatChoice, 7> kFormatChoices{{
    {ImportFormat::Csv, "Edge list (CSV, TSV)", true, scanEdgeList},
    {ImportFormat::Dot, "DOT", false, scanDot},
    {ImportFormat::GraphMl, "GraphML", false, scanGraphMl},
    {ImportFormat::Gexf, "GEXF", false, scanGexf},
    {ImportFormat::Json, "JSON node-link graph", false, nullptr},
    {ImportFormat::Gml, "GML", false, nullptr},
    {ImportFormat::Pajek, "Pajek", false, nullptr},
}};

// Takes whatever is written and keeps none of it.
class DiscardingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// What the import groups the nodes by with the group left to it: the file imported, or its head
// as a file of the same name in a folder of its own when the head is not the whole file.
void findAutomaticGroup(const ChoicesHead& head, ImportFormat format, ImportChoices& choices) {
    ImportOptions options;
    options.header = std::string(head.header);
    DiscardingBuffer nowhere;
    std::ostream discarded(&nowhere);  // only the choice is wanted, not the outline
    const auto take = [&](const ImportResult& result) {
        choices.automaticGroup = result.groupedBy;
        choices.automaticKnown = result.ok;
    };
    if (head.whole) return take(importFromFiles(head.path, format, options, discarded));
    namespace fs = std::filesystem;
    std::string folder = (fs::temp_directory_path() / "orvo-choices-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) return;
    const fs::path copy =
        fs::path(folder) / fs::path(withoutCompressionExtension(head.path)).filename();
    {
        std::ofstream out(copy, std::ios::binary);
        out.write(head.text.data(), static_cast<std::streamsize>(head.text.size()));
        out.close();
        if (out) take(importFromFiles(copy.string(), format, options, discarded));
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

std::vector<std::string> previewLines(std::string_view head) {
    std::vector<std::string> lines;
    head = head.substr(0, kPreviewBytes);
    while (!head.empty() && lines.size() < kPreviewLines) {
        const size_t end = std::min(head.find('\n'), head.size());
        std::string_view text = head.substr(0, end);
        if (text.ends_with('\r')) text.remove_suffix(1);
        // Control bytes (a binary file's) show as the replacement character.
        std::string line;
        for (const char c : text) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
                line += "\xEF\xBF\xBD";
            } else {
                line.push_back(c);
            }
        }
        lines.push_back(std::move(line));
        head.remove_prefix(std::min(end + 1, head.size()));
    }
    return lines;
}

}  // namespace

std::span<const ImportFormatChoice> importFormatChoices() { return kFormatChoices; }

const ImportFormatChoice* importFormatChoice(ImportFormat format) {
    for (const ImportFormatChoice& entry : kFormatChoices) {
        if (entry.format == format) return &entry;
    }
    return nullptr;
}

ImportChoices importChoices(const std::string& path, ImportFormat format, std::string_view header) {
    ImportChoices choices;
    if (!isRegularFile(path)) return choices;
    InputFile input;
    if (!input.open(path)) {
        choices.error = input.error();
        return choices;
    }
    // Read in pieces: a small file gets a small buffer.
    std::string head;
    std::array<char, 1 << 16> piece;
    std::istream& in = input.stream();
    while (head.size() < kChoicesHeadBytes) {
        const size_t want = std::min(piece.size(), kChoicesHeadBytes - head.size());
        in.read(piece.data(), static_cast<std::streamsize>(want));
        if (in.gcount() <= 0) break;
        head.append(piece.data(), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) choices.error = input.error();
    choices.preview = previewLines(head);
    const ImportFormatChoice* entry = importFormatChoice(format);
    if (entry == nullptr) return choices;
    // A head that stops in the middle of the file is cut after its last whole line.
    std::string_view scanned = head;
    const bool whole = head.size() < kChoicesHeadBytes;
    if (!whole) scanned = scanned.substr(0, scanned.rfind('\n') + 1);  // npos + 1 is 0
    const ChoicesHead choicesHead{path, scanned, whole, header};
    if (entry->scan != nullptr) entry->scan(choicesHead, choices);
    findAutomaticGroup(choicesHead, format, choices);
    return choices;
}

std::string automaticGroupLabel(const ImportChoices& choices) {
    if (!choices.automaticGroup.empty()) return "Automatic (" + choices.automaticGroup + ")";
    return choices.automaticKnown ? "Automatic (no groups)" : "Automatic";
}

std::string_view walkDirectionName(WalkDirection direction) {
    switch (direction) {
        case WalkDirection::Out:
            return "out";
        case WalkDirection::In:
            return "in";
        case WalkDirection::Both:
            return "both";
        case WalkDirection::Auto:
            return "auto";
    }
    return "auto";
}

}  // namespace orvo

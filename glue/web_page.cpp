#include "glue/web_page.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "mapfile/map_pack.h"
#include "memory/atomic_file.h"
#include "memory/regular_file.h"
#include "stream/outline_label.h"

namespace orvo {

namespace {

constexpr const char* kTitleMarker = "<!--orvo:title-->";
constexpr const char* kOptionsMarker = "<!--orvo:options-->";
constexpr const char* kScriptsMarker = "<!--orvo:scripts-->";
constexpr const char* kDataMarker = "<!--orvo:data-->";
constexpr const char* kGraphFile = "graph.gz";
constexpr const char* kWasmFile = "orvo-web.wasm";

// What the page's program needs per node besides the graph's text, measured in headless
// Chromium on generated sites (the program's heap after the first picture, less the text's
// block: 950 bytes a node at 1 million nodes, 850 at 3 million), rounded up.
constexpr uint64_t kPageBytesPerNode = 1000;
// The same for a map, which is read without a layout: the program's heap after the first
// picture of the generated 1M site's map, less the map's block (held until the graph is read),
// is 582 bytes a node; a tenth more is kept in hand.
constexpr uint64_t kMapPageBytesPerNode = 650;
// The browser program's memory at the most (wasm32), less what it needs before any graph.
constexpr uint64_t kPageMemory = (4ull << 30) - (64ull << 20);

bool validUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t n = utf8SequenceLength(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// A JSON string that is safe inside a script element: '<', '>' and '&' escaped too.
std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || c == '<' || c == '>' || c == '&') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string htmlText(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 |
                           uint8_t(bytes[i + 2]);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | (two ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += two ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// A piece the page checks before it uses it: its bytes (as stored), their checksum, and the
// file beside the page in the folder form.
std::string pieceJson(std::string_view stored, bool gzip, const char* file) {
    std::string json = "{\"bytes\":" + std::to_string(stored.size()) +
                       ",\"crc32\":" + std::to_string(crc32Of(stored)) +
                       ",\"gzip\":" + (gzip ? "true" : "false");
    json += std::string(",\"file\":") + (file != nullptr ? jsonString(file) : "null");
    return json + '}';
}

struct Packed {
    std::string graphGzip;
    std::string wasmGzip;
    uint64_t mapBytes = 0;   // the map the page unpacks (its measures left out)
    uint64_t packBytes = 0;  // the packed map, inflated
};

bool optionsJson(const WebPageGraph& graph, const WebPageStart& start, const Packed& packed,
                 std::string_view wasm, bool wasmGzip, bool folder, std::string& json,
                 std::string& error) {
    const auto utf8 = [&error](std::string_view text, const std::string& what) {
        if (validUtf8(text)) return true;
        error = what + " is not UTF-8 text, which a page cannot hold";
        return false;
    };
    if (!utf8(start.title, "the title") || !utf8(start.startId, "the start node's id") ||
        !utf8(start.keys, "the keys"))
        return false;
    json = "{\"format\":1,\"title\":" + jsonString(start.title.empty() ? "Orvo map" : start.title);
    json += ",\"start\":" + (start.startId.empty() ? std::string("null") : jsonString(start.startId));
    json += ",\"keys\":" + jsonString(start.keys);
    json += ",\"colourKind\":" + std::to_string(start.colourKind);
    const auto groupList = [&](const char* key,
                               const std::vector<std::pair<int, std::string>>& groups) {
        json += std::string(",\"") + key + "\":[";
        bool first = true;
        for (const auto& [kind, name] : groups) {
            if (!utf8(name, "the group name \"" + name + "\"")) return false;
            json += std::string(first ? "" : ",") + "{\"kind\":" + std::to_string(kind) +
                    ",\"name\":" + jsonString(name) + '}';
            first = false;
        }
        json += ']';
        return true;
    };
    if (!groupList("hidden", start.hiddenGroups)) return false;
    // Left out without groups hidden from the legend: such a page is as it was.
    if (!start.veiledGroups.empty() && !groupList("veiled", start.veiledGroups)) return false;
    json += ",\"graph\":" + pieceJson(packed.graphGzip, true, folder ? kGraphFile : nullptr);
    json.pop_back();
    json += ",\"nodes\":" + std::to_string(graph.nodes);
    // The page tells a map from an outline by which of the two sizes it is given.
    // A map comes packed: the page inflates packBytes and unpacks them into mapBytes.
    if (!graph.map.empty())
        json += ",\"mapBytes\":" + std::to_string(packed.mapBytes) +
                ",\"packBytes\":" + std::to_string(packed.packBytes) + ",\"memoryBytes\":" +
                std::to_string(webPageMapMemory(graph.nodes, packed.mapBytes));
    else
        json += ",\"outlineBytes\":" + std::to_string(graph.outline.size()) + ",\"memoryBytes\":" +
                std::to_string(webPageMemory(graph.nodes, graph.outline.size()));
    json += '}';
    json += ",\"wasm\":" + pieceJson(wasm, wasmGzip, folder ? kWasmFile : nullptr) + '}';
    return true;
}

// Replaces the one marker; false when the template lacks it.
bool fill(std::string& page, std::string_view marker, std::string_view text) {
    const size_t at = page.find(marker);
    if (at == std::string::npos) return false;
    page.replace(at, marker.size(), text);
    return true;
}

bool holdsScriptEnd(std::string_view script) {
    std::string lower(script);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower.find("</script") != std::string::npos;
}

// The page with its options and scripts, and the data elements of the single file (none in the
// folder form); the end marker follows everything the page checks.
bool composePage(const WebPageParts& parts, const std::string& title, const std::string& options,
                 const std::string& data, std::string& page, std::string& error) {
    for (const auto& [script, name] : {std::pair{&parts.pageScript, "map_page.js"},
                                       std::pair{&parts.viewScript, "orvo_view.js"},
                                       std::pair{&parts.viewerScript, "map_viewer.js"},
                                       std::pair{&parts.moduleScript, "orvo-web.js"}}) {
        if (holdsScriptEnd(*script)) {
            error = std::string(name) + " holds \"</script\", which would end its element early";
            return false;
        }
    }
    page = parts.page;
    const std::string scripts = "<script>\n" + parts.pageScript + "</script>\n<script>\n" +
                                parts.viewScript + "</script>\n<script>\n" + parts.viewerScript +
                                "</script>\n<script>\n" + parts.moduleScript +
                                "</script>";
    const bool filled = fill(page, kTitleMarker, htmlText(title)) &&
                        fill(page, kTitleMarker, htmlText(title)) &&
                        fill(page, kOptionsMarker, options) && fill(page, kDataMarker, data) &&
                        fill(page, kScriptsMarker, scripts);
    if (!filled) {
        error = "map_page.html lacks one of its markers (title twice, options, scripts, data)";
        return false;
    }
    return true;
}

bool writeWhole(const std::string& path, std::string_view bytes, std::string& error) {
    return writeFileAtomically(
        path,
        [bytes](const std::string&, std::FILE* out, std::string&) {
            return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        },
        error);
}

const char kEndElement[] = "<script type=\"application/json\" id=\"orvo-end\">{}</script>";

}  // namespace

uint32_t crc32Of(std::string_view bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    for (size_t at = 0; at < bytes.size();) {
        const size_t n = std::min<size_t>(bytes.size() - at, 1u << 30);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + at), uInt(n));
        at += n;
    }
    return uint32_t(crc);
}

std::string gzipBytes(std::string_view bytes, int level, const WebPageProgress& progress) {
    z_stream z{};
    // 15 window bits + 16: a gzip header and trailer; memory level 9 as gzip -9 uses.
    if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out;
    out.resize(deflateBound(&z, uLong(bytes.size())));
    constexpr size_t kStep = 4u << 20;
    size_t in = 0;
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(std::min<size_t>(out.size(), 1u << 30));
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        const size_t n = std::min(kStep, bytes.size() - in);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + in));
        z.avail_in = uInt(n);
        in += n;
        const int flush = in == bytes.size() ? Z_FINISH : Z_NO_FLUSH;
        do {
            if (z.avail_out == 0) {
                const size_t used = size_t(z.total_out);
                out.resize(std::max(out.size() * 2, used + kStep));
                z.next_out = reinterpret_cast<Bytef*>(out.data() + used);
                z.avail_out = uInt(std::min<size_t>(out.size() - used, 1u << 30));
            }
            status = deflate(&z, flush);
        } while (status == Z_OK && (z.avail_in > 0 || (flush == Z_FINISH && status != Z_STREAM_END)));
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
        if (progress && !progress("compressing", in, bytes.size())) break;
    }
    out.resize(size_t(z.total_out));
    deflateEnd(&z);
    if (status != Z_STREAM_END) return {};
    return out;
}

std::vector<WebPartsPlace> webPartsPlaces(const std::string& programDir) {
    std::vector<WebPartsPlace> places;
    const std::filesystem::path dir(programDir);
    if (!programDir.empty()) {
        const std::string share = (dir.parent_path() / "share/orvo/web").string();
        places.push_back({share, share});
    }
    places.push_back({ORVO_WEB_INSTALL_DIR, ORVO_WEB_INSTALL_DIR});
    std::error_code error;
    const std::filesystem::path build = std::filesystem::canonical(ORVO_BUILD_TREE_DIR, error);
    if (!error && !programDir.empty()) {
        const std::filesystem::path program = std::filesystem::canonical(dir, error);
        const auto [end, unused] = std::mismatch(build.begin(), build.end(), program.begin(),
                                                 program.end());
        if (!error && end == build.end()) places.push_back({ORVO_WEB_SOURCE_DIR, ORVO_WEB_MODULE_DIR});
    }
    return places;
}

std::string runningProgramDir() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

bool readWebPageParts(const std::vector<WebPartsPlace>& places, WebPageParts& parts,
                      std::string& error) {
    std::string looked;
    for (const WebPartsPlace& place : places) {
        if (place.pageDir.empty() || place.moduleDir.empty()) continue;
        const std::pair<std::string, std::string*> files[] = {
            {place.pageDir + "/map_page.html", &parts.page},
            {place.pageDir + "/map_page.js", &parts.pageScript},
            {place.pageDir + "/orvo_view.js", &parts.viewScript},
            {place.pageDir + "/map_viewer.js", &parts.viewerScript},
            {place.moduleDir + "/orvo-web.js", &parts.moduleScript},
            {place.moduleDir + "/orvo-web.wasm", &parts.wasm}};
        bool all = true;
        for (const auto& [path, into] : files) all = all && readWholeFile(path, *into);
        if (all) return true;
        looked += (looked.empty() ? "" : ", ") + place.pageDir +
                  (place.moduleDir == place.pageDir ? "" : " with " + place.moduleDir);
    }
    error = "the web page is not built: run ./scripts/setup.sh web (looked in " +
            (looked.empty() ? std::string("no folder") : looked) + ")";
    return false;
}

uint64_t webPageMemory(uint64_t nodes, uint64_t outlineBytes) {
    // The page holds the outline text in a block grown by doubling from 1 MiB (the last
    // doubling holds both blocks for a moment), then reads the graph beside it.
    uint64_t block = 1u << 20;
    while (block < outlineBytes) block *= 2;
    return std::max(block + block / 2, block + nodes * kPageBytesPerNode);
}

uint64_t webPageMapMemory(uint64_t nodes, uint64_t mapBytes) {
    return mapBytes + nodes * kMapPageBytesPerNode;
}

namespace {

std::string limitProblem(uint64_t need, uint64_t nodes, uint64_t bytes, const char* what) {
    if (need <= kPageMemory) return "";
    const auto mib = [](uint64_t n) { return std::to_string((n + (1u << 20) - 1) >> 20); };
    return "the graph is too large for a page: its " + std::to_string(nodes) + " nodes and " +
           mib(bytes) + " MiB of " + what + " need about " + mib(need) +
           " MiB, and a page's program has 4 GiB at the most (wasm32); publish a part of it";
}

}  // namespace

std::string webPageLimitProblem(uint64_t nodes, uint64_t outlineBytes) {
    return limitProblem(webPageMemory(nodes, outlineBytes), nodes, outlineBytes, "text");
}

std::string webPageMapLimitProblem(uint64_t nodes, uint64_t mapBytes) {
    return limitProblem(webPageMapMemory(nodes, mapBytes), nodes, mapBytes, "map");
}

namespace {

bool pack(const WebPageGraph& graph, const WebPageParts& parts, bool gzipWasm, Packed& packed,
          std::string& error, const WebPageProgress& progress) {
    const std::string problem = graph.map.empty()
                                    ? webPageLimitProblem(graph.nodes, graph.outline.size())
                                    : webPageMapLimitProblem(graph.nodes, graph.map.size());
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    bool stopped = false;
    const WebPageProgress step = [&](std::string_view what, uint64_t done, uint64_t total) {
        stopped = progress && !progress(what, done, total);
        return !stopped;
    };
    if (graph.map.empty()) {
        packed.graphGzip = gzipBytes(graph.outline, 9, step);
    } else {
        // The page works the measures out after its first picture, faster than it would
        // inflate them (a sixth of the million-node site's map): the pack leaves them out.
        std::string mapPack;
        const auto* map = reinterpret_cast<const unsigned char*>(graph.map.data());
        std::string why = packMap(map, graph.map.size(), mapPack);
        if (why.empty())
            why = unpackedMapSize(reinterpret_cast<const unsigned char*>(mapPack.data()),
                                  mapPack.size(), packed.mapBytes);
        if (!why.empty()) {
            error = "the map cannot be packed: " + why;
            return false;
        }
        packed.packBytes = mapPack.size();
        // A map's binary records take gzip -9 six times as long as -6 for under 2 % of their
        // size.
        packed.graphGzip = gzipBytes(mapPack, 6, step);
    }
    if (gzipWasm) packed.wasmGzip = gzipBytes(parts.wasm, 9);
    if (packed.graphGzip.empty() || (gzipWasm && packed.wasmGzip.empty())) {
        error = stopped ? "interrupted" : "out of memory while compressing the graph";
        return false;
    }
    return true;
}

}  // namespace

bool writeWebPage(const std::string& path, const WebPageGraph& graph, const WebPageStart& start,
                  const WebPageParts& parts, std::string& error, const WebPageProgress& progress) {
    Packed packed;
    if (!pack(graph, parts, true, packed, error, progress)) return false;
    std::string options;
    if (!optionsJson(graph, start, packed, packed.wasmGzip, true, false, options, error))
        return false;
    // The program first, then the graph, then the end marker: a file cut short anywhere lacks
    // the marker, and the page says so.
    std::string data = "<script type=\"application/octet-stream\" id=\"orvo-wasm\">";
    data += base64(packed.wasmGzip);
    packed.wasmGzip = {};
    data += "</script>\n<script type=\"application/octet-stream\" id=\"orvo-graph\">";
    data += base64(packed.graphGzip);
    packed.graphGzip = {};
    data += "</script>\n";
    data += kEndElement;
    std::string page;
    if (!composePage(parts, start.title.empty() ? "Orvo map" : start.title, options, data, page,
                     error))
        return false;
    data = {};
    if (progress && !progress("writing", 0, page.size())) {
        error = "interrupted";
        return false;
    }
    return writeWhole(path, page, error);
}

bool writeWebFolder(const std::string& dir, const WebPageGraph& graph, const WebPageStart& start,
                    const WebPageParts& parts, std::string& error,
                    const WebPageProgress& progress) {
    Packed packed;
    if (!pack(graph, parts, false, packed, error, progress)) return false;
    std::string options;
    if (!optionsJson(graph, start, packed, parts.wasm, false, true, options, error))
        return false;
    std::string page;
    if (!composePage(parts, start.title.empty() ? "Orvo map" : start.title, options, kEndElement,
                     page, error))
        return false;
    if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "cannot make the folder " + dir + ": " + std::strerror(errno);
        return false;
    }
    if (progress && !progress("writing", 0, packed.graphGzip.size() + parts.wasm.size() + page.size())) {
        error = "interrupted";
        return false;
    }
    return writeWhole(dir + "/" + kGraphFile, packed.graphGzip, error) &&
           writeWhole(dir + "/" + kWasmFile, parts.wasm, error) &&
           writeWhole(dir + "/index.html", page, error);
}

}  // namespace orvo

// A published map: one HTML file that holds the page, the browser program (its script and its
// wasm, gzipped and base64-encoded), the graph (a map file, or its outline text; gzip -9,
// base64) and the start view as a small JSON block, so that it opens from disk without any
// server; or the folder form, index.html with the graph's .gz and the wasm beside it, fetched,
// for a static host.
//
// The page's parts (web/map_page.html, web/map_page.js, web/orvo_view.js, web/map_viewer.js,
// and the browser build's orvo-web.js and orvo-web.wasm) are read from a folder of the installed
// package or of the build tree. orvo-publish and the viewer's Export Web Page both write through here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvo {

/// What the page starts with. Every field may stay empty.
struct WebPageStart {
    std::string title;    // the page's title; empty: "Orvo map"
    std::string startId;  // the node at the centre of the start view; empty: the file's own view
    std::string keys;     // view keys typed before the first picture, as in the desktop view
    int colourKind = -1;  // 0 file type, 1 site group; -1: as a fresh load colours
    std::vector<std::pair<int, std::string>> hiddenGroups;  // (kind, name), hidden by group keys
    /// (kind, name), hidden from the legend: their nodes give way to dots, what hangs below them
    /// stays ("" names the nodes without a group of the kind).
    std::vector<std::pair<int, std::string>> veiledGroups;
};

/// The parts of the page, as read from their files.
struct WebPageParts {
    std::string page;          // map_page.html, with its markers
    std::string pageScript;    // map_page.js
    std::string viewScript;    // orvo_view.js
    std::string viewerScript;  // map_viewer.js: the page's viewer (search, legend, help, links)
    std::string moduleScript;  // orvo-web.js
    std::string wasm;          // orvo-web.wasm
};

/// A folder pair that may hold the parts: the page's own files and the browser build's module.
struct WebPartsPlace {
    std::string pageDir;
    std::string moduleDir;
};

/// Where a program in `programDir` looks for the parts: beside it (PREFIX/share/orvo/web, which
/// also finds them in an unpacked package), the installed location, and for a program of the
/// build tree only, web/ and the browser build's module.
std::vector<WebPartsPlace> webPartsPlaces(const std::string& programDir);

/// The folder of the running program ("" when it cannot be told).
std::string runningProgramDir();

/// Reads the parts from the first place that holds all six files. False when none does, with
/// `error` naming every place looked in and how to build the page.
bool readWebPageParts(const std::vector<WebPartsPlace>& places, WebPageParts& parts,
                      std::string& error);

/// The graph the page carries and its node count (which sizes what the page needs): a map
/// file's bytes, which the page reads as they are, or else the outline text, which the page
/// reads and lays out at every visit.
struct WebPageGraph {
    std::string_view outline;
    uint64_t nodes = 0;
    std::string_view map;  // carried instead of the outline when not empty
};

/// The memory the page's program needs for the graph, in bytes (an estimate from measurements).
uint64_t webPageMemory(uint64_t nodes, uint64_t outlineBytes);
/// The same for a map of that many bytes.
uint64_t webPageMapMemory(uint64_t nodes, uint64_t mapBytes);

/// The largest graph a page can hold: the browser program has 4 GiB of memory at the most and
/// needs its outline text (inflated, in a block grown by doubling) and the read graph at once.
/// Empty when the graph fits, else why not, naming the limit.
std::string webPageLimitProblem(uint64_t nodes, uint64_t outlineBytes);
/// The same for a map: its bytes (inflated, in one block of their size) and the graph read.
std::string webPageMapLimitProblem(uint64_t nodes, uint64_t mapBytes);

/// Work done in a long step ("compressing", bytes done, bytes in all); false stops the work,
/// which then writes nothing and fails with the error "interrupted".
using WebPageProgress = std::function<bool(std::string_view what, uint64_t done, uint64_t total)>;

/// Writes the single-file map to `path` (whole or not at all). False with a reason in `error`.
bool writeWebPage(const std::string& path, const WebPageGraph& graph, const WebPageStart& start,
                  const WebPageParts& parts, std::string& error,
                  const WebPageProgress& progress = {});

/// Writes the folder form into `dir` (made when missing): index.html, graph.gz and
/// orvo-web.wasm, each whole or not at all, index.html last. Other files there stay.
bool writeWebFolder(const std::string& dir, const WebPageGraph& graph, const WebPageStart& start,
                    const WebPageParts& parts, std::string& error,
                    const WebPageProgress& progress = {});

/// The bytes gzip-compressed at that level (1 to 9), as gzip writes them (no name, no time);
/// empty when there is no memory for them or the progress stopped the work.
std::string gzipBytes(std::string_view bytes, int level, const WebPageProgress& progress = {});

/// The CRC-32 of the bytes (the one gzip and zlib compute).
uint32_t crc32Of(std::string_view bytes);

}  // namespace orvo

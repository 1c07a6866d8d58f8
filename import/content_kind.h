// The content kind of a file or a fetched resource, used as a node's kind-0 group: "html",
// "image", "text", "application", "audio", "video", "source" or "other".
#pragma once

#include <string_view>

namespace orvo {

/// From a file name or the path of an address (only the extension counts, in any case). A name
/// ending in '/' is a folder's index page: "html".
std::string_view contentKindFromName(std::string_view name);

/// From a Content-Type header value ("text/html; charset=utf-8" gives "html"). An empty or
/// unknown type gives "other".
std::string_view contentKindFromType(std::string_view contentType);

/// What a file's first bytes say it is, for a message about a file that is no graph: "a PNG
/// image", "an executable (ELF)"...; "" when its start is none of the kinds known here.
std::string_view binaryKindFromBytes(std::string_view head);

/// True for the names the site reader parses as HTML pages (.html, .htm, .xhtml, .shtml).
bool isHtmlName(std::string_view name);

}  // namespace orvo

// File > Export Web Page...: the graph on view written as a published map (the file orvo-publish
// writes), starting where the view is: its centre node, its hidden groups, its colouring and
// its colour scheme.
#pragma once

#include <string>
#include <vector>

#include "glue/web_page.h"

namespace orvo {

class Glue;

/// The start view of the graph on view; the title as given. While the layout starts at the top
/// node, as a fresh load's does, the view itself goes with the graph (`viewRecord`, a position
/// record for its outline) and the page starts there exactly; after a re-layout from another
/// node, the page brings the centre node to the centre as the viewer did.
WebPageStart webPageStartOf(Glue& glue, const std::string& title, std::string* viewRecord = nullptr);

/// Writes the graph on view as a single-file map to `path`, the page's parts read from the first
/// of `places` that holds them. False with a reason in `error` (no graph, the page not built,
/// the graph too large for a page, the file not written).
bool exportWebPage(Glue& glue, const std::string& path, const std::string& title,
                   const std::vector<WebPartsPlace>& places, std::string& error);

}  // namespace orvo

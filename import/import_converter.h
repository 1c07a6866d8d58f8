// The importers as the viewer's input converter: what the window is given (a web site's folder,
// any directory, a sitemap, an edge list, a DOT or GraphML file) is imported in memory and read
// as outline text, with the window's progress and Cancel.
#pragma once

#include "import/import.h"
#include "stream/input_converter.h"

namespace orvo {

/// Accepts every input whose format guessImportFormat tells (web addresses excepted, which are
/// crawled through a dialog of their own); converts it with importFromFiles's defaults.
InputConverter importConverter();

/// Accepts every input; converts it as `format` with these options (the import dialog's choice,
/// which has no sitemap to check against).
InputConverter importConverter(ImportFormat format, ImportOptions options);

}  // namespace orvo

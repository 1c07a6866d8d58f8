// The separator of an edge list.
#include "import/csv_records.h"

#include "import/ascii_text.h"

namespace orvo {

char edgeListSeparator(std::string_view file, std::string_view text) {
    const std::string lowerName = asciiLowered(file);
    if (lowerName.ends_with(".tsv")) return '\t';
    if (lowerName.ends_with(".csv")) return ',';
    const std::string_view first = text.substr(0, text.find('\n'));
    return first.find('\t') != std::string_view::npos && first.find(',') == std::string_view::npos
               ? '\t'
               : ',';
}

}  // namespace orvo

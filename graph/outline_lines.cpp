// The position and group kind records of the outline text.
#include "graph/outline_lines.h"

#include <cmath>

#include "graph/graph.h"
#include "stream/outline_label.h"

namespace orvo {

bool readPositionRecord(RecordFields& fields, ProjTransform& home) {
    ProjTransform read;
    for (double& element : read.m) {
        const std::string_view field = fields.next();
        if (field.empty()) return false;  // fewer than 16 numbers
        element = readReal(field);
        if (!std::isfinite(element)) return false;
    }
    home = read;
    return true;
}

bool readGroupKindRecord(RecordFields& fields, int32_t& kind, std::string& name) {
    const std::string_view kindField = fields.next();
    const std::string_view nameField = fields.next();
    if (kindField.empty() || nameField.empty()) return false;
    kind = readInt(kindField);
    if (kind < 0 || kind >= kGroupKinds ||
        kindField.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    name = decodeLabelText(nameField);
    return true;
}

}  // namespace orvo

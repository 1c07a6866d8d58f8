#include "glue/draw_report.h"

#include <cstdio>

#include "graph/graph.h"
#include "render/renderer.h"

namespace orvo {

namespace {

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void appendLine(std::string& out, const char* kind, std::string_view id, double x0, double y0,
                double x1, double y1, int height) {
    char numbers[128];
    // GL window rows run upwards; the report's run down like the pointer's.
    std::snprintf(numbers, sizeof numbers, ",%.1f,%.1f,%.1f,%.1f\n", x0, height - y1, x1,
                  height - y0);
    out += kind;
    out += ',';
    out += csvField(id);
    out += numbers;
}

}  // namespace

std::string drawReportCsv(const Renderer& renderer) {
    const int height = renderer.viewport()[3];
    std::string out = "kind,id,x0,y0,x1,y1\n";
    for (const Renderer::DrawnItem& item : renderer.drawLog()) {
        if (item.label >= 0) {
            const LabelBox& b = renderer.drawnLabels()[static_cast<size_t>(item.label)].box;
            appendLine(out, "label", item.node->id, b.x0, b.y0, b.x1, b.y1, height);
        } else {
            const WindowBox b = renderer.cubeBoxOnScreen(*item.node);
            if (b.x0 > b.x1 || b.isUnbounded()) continue;  // nothing of it lies in front
            // A node hidden from the legend is only a dot the links run through.
            const char* kind = (item.node->flags & Veiled) != 0 ? "dot" : "node";
            appendLine(out, kind, item.node->id, b.x0, b.y0, b.x1, b.y1, height);
        }
    }
    return out;
}

std::string idAtPixel(Renderer& renderer, int x, int y) {
    const auto name = static_cast<int32_t>(renderer.pick(x, y));
    if (static_cast<uint32_t>(name) == kNothingPicked) return "";
    if (name >= 0) {
        const Node* n = renderer.nodeNamed(name);
        return n != nullptr ? std::string(n->id) : "";
    }
    const Link* k = renderer.linkNamed(name);
    return k != nullptr ? k->linkId() : "";
}

}  // namespace orvo

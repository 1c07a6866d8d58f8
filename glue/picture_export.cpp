// Exporting the view: a second renderer on an offscreen surface, sharing the viewer's graph
// with a copy of its settings, draws the view as the window does and its picture is written.
#include "glue/picture_export.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "glue/legend_picture.h"
#include "graph/graph.h"
#include "memory/atomic_file.h"
#include "platform/offscreen_surface.h"
#include "platform/png_image.h"
#include "viewer/viewer.h"

namespace orvo {

namespace {

/// The viewer's renderer keeps per-frame marks on the nodes (what it drew, what is
/// highlighted), which the export's renderer clears and sets as it draws. Afterwards they are
/// cleared once more and the viewer's frame starts again, in the view it had.
class ViewerFrameRestart {
public:
    explicit ViewerFrameRestart(Viewer& viewer)
        : viewer_(viewer),
          view_(viewer.renderer().viewTransform()),
          centre_(viewer.renderer().centreNode()) {}
    ~ViewerFrameRestart() {
        Renderer& r = viewer_.renderer();
        r.setGraph(viewer_.graph());  // clears the marks, and puts the view on the top node
        r.setViewTransform(view_);
        r.setCentreNode(centre_);
        viewer_.redraw();
    }
    ViewerFrameRestart(const ViewerFrameRestart&) = delete;
    ViewerFrameRestart& operator=(const ViewerFrameRestart&) = delete;

private:
    Viewer& viewer_;
    ProjTransform view_;
    Node* centre_;
};

}  // namespace

bool exportPicture(Viewer& viewer, const PictureExport& picture, const std::string& path,
                   std::string& error) {
    error.clear();
    Graph* graph = viewer.graph();
    if (graph == nullptr || graph->empty()) {
        error = "there is no graph to draw";
        return false;
    }
    const int width = picture.width, height = picture.height;
    if (width < 1 || height < 1 || width > kMaxExportSide || height > kMaxExportSide) {
        error = "a picture is 1 to " + std::to_string(kMaxExportSide) +
                " pixels wide and high, not " + std::to_string(width) + "x" +
                std::to_string(height);
        return false;
    }

    std::vector<uint8_t> rgba;
    {
        // Declared first, so it acts once the offscreen context is gone.
        const ViewerFrameRestart restart(viewer);
        // A window's context of another interface would keep the headless one from drawing.
        viewer.deviceContext().releaseCurrent();
        OffscreenSurface surface(width, height);
        if (!surface.valid()) {
            error = "cannot draw offscreen: " + surface.lastError();
            return false;
        }
        // The settings as they are now; the refinement of this one frame may go on longer.
        ViewerSettings settings = viewer.settings();
        const double limit = std::max(0.0, picture.refineLimitSeconds);
        const auto micros = static_cast<int64_t>(std::llround(limit * 1e6));
        settings.refineLimitSec =
            static_cast<int32_t>(std::min<int64_t>(micros / 1000000, INT32_MAX));
        settings.refineLimitUsec = static_cast<int32_t>(micros % 1000000);
        drawFramesInOneSlice(settings);

        const Renderer& shown = viewer.renderer();
        Renderer renderer(settings, surface);
        GlContext* context = surface.createContext();
        if (context == nullptr) {
            error = "cannot draw offscreen: " + surface.lastError();
            return false;
        }
        renderer.initContext(context, width, height);
        if (!surface.lastError().empty()) {
            error = "cannot draw offscreen: " + surface.lastError();
            return false;
        }
        renderer.setGraph(graph);
        renderer.setViewTransform(shown.viewTransform());
        renderer.setCentreNode(shown.centreNode());
        renderer.setArrival(shown.arrival());
        renderer.setLabelRight(shown.labelRight());
        // Coloured and labelled as the view is, by a measure when it is.
        renderer.setNodeColours(shown.nodeColours());
        renderer.setLabelRanks(shown.labelRanks());
        // A whole frame, as the viewer's redraw and its idle refinement draw it.
        renderer.drawFrame();
        renderer.setKeepRedrawing(1);
        while (renderer.idleStep() != 0) {
        }
        if (!surface.readPixels(DrawBuffer::Front, rgba)) {
            error = "cannot read the picture back: " + surface.lastError();
            return false;
        }
    }

    if (picture.legend && !drawViewLegend(rgba, width, height, *graph, viewer.settings(), error,
                                          &picture.measureLegend)) {
        return false;
    }
    std::vector<uint8_t> png;
    if (!encodePng(width, height, rgba, RowOrder::BottomUp, png, error)) {
        error = "cannot make the PNG picture: " + error;
        return false;
    }
    rgba = {};
    return writeFileAtomically(
        path,
        [&png](const std::string&, std::FILE* out, std::string&) {
            return std::fwrite(png.data(), 1, png.size(), out) == png.size();
        },
        error);
}

}  // namespace orvo

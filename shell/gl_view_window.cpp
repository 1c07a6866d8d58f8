// The view window's event handlers: each does the window's default processing and then calls
// the glue with the values the glue expects (shift bit 4, control bit 8).
#include "shell/gl_view_window.h"

#include <wx/dcclient.h>
#include <wx/settings.h>

#include <cstdlib>
#include <cstring>

#include "glue/glue.h"
#include "viewer/viewer.h"

namespace orvo {

namespace {

// The modifier bits as the glue and the renderer receive them.
constexpr int kShiftBit = 4;
constexpr int kControlBit = 8;

}  // namespace

const char* const GlViewWindow::kEmptyHint =
    "No graph is open. Open one with File > Open (Ctrl+O), or drop a file here.";

GlViewWindow::GlViewWindow(wxWindow* parent, Glue& glue, GlChoice gl)
    : wxGLCanvas(parent, wxID_ANY, WxGlSurface::canvasAttributes(), wxDefaultPosition,
                 wxDefaultSize, wxFULL_REPAINT_ON_RESIZE | wxWANTS_CHARS),
      glue_(glue),
      surface_(std::make_unique<WxGlSurface>(*this, gl)) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);  // GL paints everything; no erase, no flicker
    Bind(wxEVT_PAINT, &GlViewWindow::onPaint, this);
    Bind(wxEVT_SIZE, &GlViewWindow::onSize, this);
    Bind(wxEVT_LEFT_DOWN, &GlViewWindow::onButton, this);
    Bind(wxEVT_LEFT_UP, &GlViewWindow::onButton, this);
    Bind(wxEVT_RIGHT_DOWN, &GlViewWindow::onButton, this);
    Bind(wxEVT_RIGHT_UP, &GlViewWindow::onButton, this);
    Bind(wxEVT_MOTION, &GlViewWindow::onMotion, this);
    Bind(wxEVT_CHAR, &GlViewWindow::onChar, this);
    restTimer_.SetOwner(this);
    Bind(wxEVT_TIMER, &GlViewWindow::onRest, this);
    const wxSize size = glSize();
    glue_.initViewer(*surface_, size.x, size.y);
    // Measurements of the window against per-node drawing (bench/window_drag_area.sh); not
    // offered to users.
    if (const char* perNode = std::getenv("ORVO_PER_NODE_DRAWING");
        perNode != nullptr && std::strcmp(perNode, "1") == 0) {
        glue_.viewer()->renderer().setBatchedDrawing(false);
    }
    glue_.reshapeViewer(size.x, size.y);
}

wxPoint GlViewWindow::glPoint(const wxPoint& p) const {
    const double scale = GetContentScaleFactor();
    return wxPoint(static_cast<int>(p.x * scale), static_cast<int>(p.y * scale));
}

wxSize GlViewWindow::glSize() const {
    const double scale = GetContentScaleFactor();
    const wxSize size = GetClientSize();
    return wxSize(static_cast<int>(size.x * scale), static_cast<int>(size.y * scale));
}

// Until a graph is open no GL context exists on the window, so the hint is drawn plainly.
void GlViewWindow::onPaint(wxPaintEvent& /*event*/) {
    wxPaintDC dc(this);  // validates the damaged region
    if (!glue_.graphLoaded()) {
        dc.SetBackground(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW)));
        dc.Clear();
        dc.SetTextForeground(wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT));
        const wxSize text = dc.GetTextExtent(kEmptyHint);
        const wxSize area = GetClientSize();
        dc.DrawText(kEmptyHint, (area.x - text.x) / 2, (area.y - text.y) / 2);
        return;
    }
    glue_.displayViewer();
}

void GlViewWindow::onSize(wxSizeEvent& event) {
    event.Skip();
    const wxSize size = glSize();
    glue_.reshapeViewer(size.x, size.y);
}

void GlViewWindow::onButton(wxMouseEvent& event) {
    event.Skip();
    if (event.ButtonDown()) SetFocus();  // characters go to the view after a click
    const int button = event.LeftDown() || event.LeftUp() ? 0 : 2;
    const int state = event.ButtonDown() ? 0 : 1;
    const wxPoint p = glPoint(event.GetPosition());
    glue_.mouseButtonViewer(button, state, p.x, p.y, event.ShiftDown() ? kShiftBit : 0,
                            event.ControlDown() ? kControlBit : 0);
    buttonHeld_ = (state == 0);
    restTimer_.Stop();
    // A right click without motion on a node opens the node menu; a right drag turns the view.
    if (button == 2 && state == 0) rightPress_ = event.GetPosition();
    if (button == 2 && state == 1) {
        const wxPoint moved = event.GetPosition() - rightPress_;
        if (std::abs(moved.x) <= 2 && std::abs(moved.y) <= 2 && onNodeMenu) {
            if (const Node* node = glue_.nodeAt(p.x, p.y))
                onNodeMenu(std::string(node->id), event.GetPosition());
        }
    }
    noteHover();
}

void GlViewWindow::onMotion(wxMouseEvent& event) {
    event.Skip();
    const wxPoint p = glPoint(event.GetPosition());
    const int shift = event.ShiftDown() ? kShiftBit : 0;
    const int ctrl = event.ControlDown() ? kControlBit : 0;
    if (buttonHeld_) {
        glue_.mouseDragViewer(p.x, p.y, shift, ctrl);
    } else {
        glue_.mouseMoveViewer(p.x, p.y, shift, ctrl);
        restTimer_.StartOnce(kRestMilliseconds);
    }
    noteHover();
}

void GlViewWindow::onRest(wxTimerEvent& /*event*/) {
    if (glue_.pointerRested()) noteHover();
}

void GlViewWindow::noteHover() {
    const void* hovered = glue_.hoveredNode();
    if (hovered == lastHovered_) return;
    lastHovered_ = hovered;
    if (onHoverChanged) onHoverChanged();
}

void GlViewWindow::onChar(wxKeyEvent& event) {
    const int code = event.GetUnicodeKey() != WXK_NONE ? static_cast<int>(event.GetUnicodeKey())
                                                       : event.GetKeyCode();
    // Latin-1 characters reach the commands; other keys go their default way (a wider code
    // would alias a command through its low 8 bits).
    if (code > 0 && code <= 0xFF) {
        glue_.keyViewer(code);
        if (onKeyCommand) onKeyCommand();
    }
    event.Skip();
}

}  // namespace orvo

// The view window: a wxGLCanvas that forwards paint, size, mouse and character events to the
// glue, as the view of the one document.
#pragma once

#include <wx/glcanvas.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/wx_gl_surface.h"

namespace orvo {

class Glue;

class GlViewWindow : public wxGLCanvas {
public:
    /// Creates the canvas and the viewer on it (the glue's window initialisation).
    GlViewWindow(wxWindow* parent, Glue& glue, GlChoice gl);

    WxGlSurface& surface() { return *surface_; }

    /// Called when the node under the pointer changes (the glue's hover result).
    std::function<void()> onHoverChanged;
    /// Called for a right click (press and release without motion) on a node, with its id and
    /// the click's position in the window.
    std::function<void(const std::string& id, const wxPoint& where)> onNodeMenu;
    /// Called after a typed character ran as a key command.
    std::function<void()> onKeyCommand;
    /// How long the pointer must stay still before a move the decimation dropped is picked.
    static constexpr int kRestMilliseconds = 120;

    /// The text drawn in the empty window before any graph is open.
    static const char* const kEmptyHint;

private:
    void onPaint(wxPaintEvent& event);
    void onSize(wxSizeEvent& event);
    void onButton(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void onChar(wxKeyEvent& event);
    void onRest(wxTimerEvent& event);
    void noteHover();
    /// Window pixels as GL sees them (device pixels, origin top left).
    wxPoint glPoint(const wxPoint& p) const;
    wxSize glSize() const;

    Glue& glue_;
    std::unique_ptr<WxGlSurface> surface_;
    // Set when the left or right button goes down here, cleared when either goes up here; it
    // decides whether a move is a drag. A release outside the window leaves it set.
    bool buttonHeld_ = false;
    wxTimer restTimer_;
    const void* lastHovered_ = nullptr;
    wxPoint rightPress_;
};

}  // namespace orvo

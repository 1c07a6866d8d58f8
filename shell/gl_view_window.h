// The view window: a wxGLCanvas that forwards paint, size, mouse and character events to the
// glue, as the view of the one document.
#pragma once

#include <wx/glcanvas.h>

#include <memory>

#include "platform/wx_gl_surface.h"

namespace orvo {

class Glue;

class GlViewWindow : public wxGLCanvas {
public:
    /// Creates the canvas and the viewer on it (the glue's window initialisation).
    GlViewWindow(wxWindow* parent, Glue& glue);

    WxGlSurface& surface() { return *surface_; }

private:
    void onPaint(wxPaintEvent& event);
    void onSize(wxSizeEvent& event);
    void onButton(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void onChar(wxKeyEvent& event);
    /// Window pixels as GL sees them (device pixels, origin top left).
    wxPoint glPoint(const wxPoint& p) const;
    wxSize glSize() const;

    Glue& glue_;
    std::unique_ptr<WxGlSurface> surface_;
    // Set when the left or right button goes down here, cleared when either goes up here; it
    // decides whether a move is a drag. A release outside the window leaves it set.
    bool buttonHeld_ = false;
};

}  // namespace orvo

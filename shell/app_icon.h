// The application icon, drawn from the bundled SVG.
#pragma once

#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>

namespace orvo {

/// The icon at the given size in pixels.
wxBitmap appIcon(int size);
/// The icon at the sizes a window manager asks for.
wxIconBundle appIconBundle();

}  // namespace orvo

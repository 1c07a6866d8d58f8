// The application icon: the same SVG that is installed for the desktop, compiled in.
#include "shell/app_icon.h"

#include "orvo_icon_svg.h"  // generated from shell/orvo.svg: kOrvoIconSvg

namespace orvo {

wxBitmap appIcon(int size) {
    return wxBitmapBundle::FromSVG(kOrvoIconSvg, wxSize(size, size)).GetBitmap(wxSize(size, size));
}

wxIconBundle appIconBundle() {
    wxIconBundle icons;
    for (int size : {16, 32, 48, 64}) {
        wxIcon icon;
        icon.CopyFromBitmap(appIcon(size));
        icons.AddIcon(icon);
    }
    return icons;
}

}  // namespace orvo

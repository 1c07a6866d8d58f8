// What the document manager needs of the window that shows its documents. The main frame
// implements it; the manager knows the window only through it.
#pragma once

class wxWindow;

namespace orvo {

class DocumentWindow {
public:
    /// The parent of the manager's dialogs and message boxes.
    virtual wxWindow* dialogParent() = 0;
    /// The recent-file list changed: rebuild its menu items and save it.
    virtual void recentFilesChanged() = 0;
    /// The document on view changed: paint the view and the status again.
    virtual void documentChanged() = 0;

protected:
    ~DocumentWindow() = default;
};

}  // namespace orvo

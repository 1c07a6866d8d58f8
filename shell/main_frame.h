// The main window: menus, toolbar, status bar with the lock-key indicators, and the GL view.
#pragma once

#include <wx/docview.h>

#include <memory>

#include "shell/recent_files.h"

class COrvoDocManager;

namespace orvo {
class GlViewWindow;
}

class CMainFrame : public wxDocParentFrame {
public:
    CMainFrame(COrvoDocManager* manager, const wxString& title);

    /// Builds the menus, the toolbar, the status bar and the view; false when a bar cannot be
    /// made (the program then ends).
    bool createContents();
    orvo::GlViewWindow& view() { return *view_; }
    /// Rebuilds the recent-file items and saves the list.
    void recentFilesChanged();
    /// Shows the caps-lock, num-lock and scroll-lock states in the status bar.
    void updateLockIndicators();

private:
    void buildMenus();
    bool buildToolBar();
    bool buildStatusBar();
    void onAbout(wxCommandEvent& event);
    void onExit(wxCommandEvent& event);
    void onToggleToolBar(wxCommandEvent& event);
    void onToggleStatusBar(wxCommandEvent& event);
    void onUpdateToolBar(wxUpdateUIEvent& event);
    void onUpdateStatusBar(wxUpdateUIEvent& event);
    void onKey(wxKeyEvent& event);

    COrvoDocManager* manager_;
    orvo::GlViewWindow* view_ = nullptr;
    std::unique_ptr<orvo::RecentFilesMenu> recentMenu_;
    int lockStates_ = -1;
};

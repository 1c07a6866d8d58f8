// The main window: menus, toolbar, status bar with the lock-key indicators, and the GL view.
#pragma once

#include <wx/docview.h>

#include <memory>
#include <string>

#include "shell/recent_files.h"

class COrvoDocManager;
class wxSearchCtrl;

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
    /// The message pane: the node under the pointer (its whole id, ellipsised in the middle when
    /// it does not fit, and its groups), else the last key command's message, else what the
    /// graph holds and shows.
    void refreshStatus();
    /// Runs the find dialog with the query and flies to the chosen node; true when one was
    /// chosen.
    bool findNode(const wxString& query);
    /// Flies to the best match of the query (the toolbar's search field); true when one exists.
    bool flyToBestMatch(const wxString& query);
    /// The node menu of a right click on a node.
    void showNodeMenu(const std::string& id, const wxPoint& where);
    wxSearchCtrl* searchField() { return searchField_; }
    /// Draws the view again offscreen at this size and writes it as a PNG file; false with the
    /// reason in error (the file is then not written).
    bool exportPictureTo(const wxString& path, const wxSize& size, std::string& error);
    /// Writes every node's laid-out position as CSV (as orvo-inspect --positions does).
    bool exportLayoutTo(const wxString& path, std::string& error);

    // Command ids of the window's own commands and of the key items.
    enum : int {
        ID_VIEW_TOOLBAR = wxID_HIGHEST + 1,
        ID_VIEW_STATUS_BAR,
        ID_FILE_OPEN_FOLDER,
        ID_FILE_OPEN_WEB_SITE,
        ID_FIND_NODE,
        ID_BACK,
        ID_FORWARD,
        ID_OPEN_IN_BROWSER,
        ID_SHORTCUTS,
        ID_EXPORT_PICTURE,
        ID_EXPORT_LAYOUT,
        ID_NODE_COPY_ID,
        ID_NODE_OPEN_IN_BROWSER,
        ID_NODE_SELECT_SUBTREE,
        ID_NODE_CENTRE,
        ID_KEY_FIRST = wxID_HIGHEST + 100,  // + the key's character code
        ID_LINK_LIMIT_FIRST = ID_KEY_FIRST + 256,  // + the limit 0 .. 9, 10 for 99
        ID_NODE_LIMIT_FIRST = ID_LINK_LIMIT_FIRST + 11,
    };

protected:
    /// Menu help shows while a menu item is under the pointer; afterwards the pane shows the
    /// window's own status again, never a stale help text.
    void DoGiveHelp(const wxString& text, bool show) override;

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
    void onKeyItem(wxCommandEvent& event);
    void onUpdateKeyItem(wxUpdateUIEvent& event);
    void onLimit(wxCommandEvent& event);
    void onUpdateLimit(wxUpdateUIEvent& event);
    void onExportPicture(wxCommandEvent& event);
    void onExportLayout(wxCommandEvent& event);
    /// The Save dialog of an export: starts in the graph's folder with the graph's name and
    /// this extension; "" when cancelled.
    wxString askForExportFile(const wxString& title, const wxString& wildcard,
                              const wxString& extension);
    void openInBrowserOrSay(const std::string& id);
    void showKeyStatus();
    std::string selectedWebUrl();

    COrvoDocManager* manager_;
    orvo::GlViewWindow* view_ = nullptr;
    std::unique_ptr<orvo::RecentFilesMenu> recentMenu_;
    int lockStates_ = -1;
    wxSearchCtrl* searchField_ = nullptr;
    bool showKeyMessage_ = false;  // the last key's message stays until the pointer changes node
    std::string menuNodeId_;       // the node of the open node menu
};

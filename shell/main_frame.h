// The main window: menus, toolbar, status bar with the lock-key indicators, and the GL view.
#pragma once

#include <wx/docview.h>
#include <wx/timer.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/gl_surface.h"
#include "shell/command_ids.h"
#include "shell/document_window.h"
#include "shell/recent_files.h"

class wxSearchCtrl;

namespace orvo {
class Glue;
class GlViewWindow;
class LegendPanel;
class LinksPanel;
}  // namespace orvo

class CMainFrame : public wxDocParentFrame, public orvo::DocumentWindow {
public:
    /// A frame for the manager's documents, whose view shows what `glue` holds (the glue
    /// outlives the frame).
    CMainFrame(wxDocManager* manager, orvo::Glue& glue, const wxString& title);

    /// Builds the menus, the toolbar, the status bar and the view; false when a bar cannot be
    /// made (the program then ends).
    /// Builds the menus, bars and the view, whose GL contexts speak the kind of GL `gl` asks for.
    bool createContents(orvo::GlChoice gl);
    orvo::GlViewWindow& view() { return *view_; }
    /// The legend beside the view; shown while a graph is open and the key G leaves it on. A
    /// graph with groups of palette colours, and a comparison, turn it on.
    orvo::LegendPanel& legendPanel() { return *legendPanel_; }
    /// Shows the legend of the graph on view as it is now (or hides the panel). Under a colouring
    /// by a measure it shows the measure's ramp instead, naming the node under the pointer.
    void refreshLegend();
    /// The Links panel (View > Links Panel): the selected node's links in and out.
    orvo::LinksPanel& linksPanel() { return *linksPanel_; }
    /// Shows or hides the Links panel, the window widened by it while it shows.
    void showLinksPanel(bool show);
    /// Lists the links of the node selected now, when the panel is shown and it lists another.
    void refreshLinks();
    /// Takes the measures when their thread is done and says so; the window asks on a timer
    /// while they are worked out. True when it took them now.
    bool collectMeasures();
    /// Rebuilds the recent-file items and saves the list.
    void recentFilesChanged() override;
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
    bool exportPictureTo(const wxString& path, const wxSize& size, std::string& error,
                         bool withLegend = false);
    /// Writes every node's laid-out position as CSV (as orvo-inspect --positions does).
    bool exportLayoutTo(const wxString& path, std::string& error);
    /// Writes the graph on view as a map file; false with the reason in error.
    bool saveMapTo(const wxString& path, std::string& error);
    /// Writes a CSV line per node: id, groups, depth, links in and out, status (as orvo-import
    /// --report does).
    bool exportReportTo(const wxString& path, std::string& error);
    bool exportWebPageTo(const wxString& path, std::string& error);
    /// Shows the graph on view together with what another version of it (any input) had,
    /// coloured by what changed (the legend panel counts each), the counts in the status bar
    /// until the pointer moves; false with error.
    bool compareWith(const wxString& otherInput, std::string& error);

    using enum orvo::CommandId;

    // orvo::DocumentWindow
    wxWindow* dialogParent() override { return this; }
    void documentChanged() override;

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
    void onSaveAsMap(wxCommandEvent& event);
    void onExportReport(wxCommandEvent& event);
    void onExportWebPage(wxCommandEvent& event);
    void onCompareWith(wxCommandEvent& event);
    /// The Save dialog of an export: starts in the graph's folder with the graph's name and
    /// this extension; "" when cancelled.
    wxString askForExportFile(const wxString& title, const wxString& wildcard,
                              const wxString& extension);
    void openInBrowserOrSay(const std::string& id);
    void showKeyStatus();
    std::string selectedWebUrl();

    wxDocManager* manager_;
    orvo::Glue& glue_;
    orvo::GlViewWindow* view_ = nullptr;
    std::unique_ptr<orvo::RecentFilesMenu> recentMenu_;
    int lockStates_ = -1;
    wxSearchCtrl* searchField_ = nullptr;
    bool showKeyMessage_ = false;  // the last key's message stays until the pointer changes node
    std::string menuNodeId_;       // the node of the open node menu
    orvo::LegendPanel* legendPanel_ = nullptr;
    orvo::LinksPanel* linksPanel_ = nullptr;
    uint64_t linksGraph_ = 0;  // the glue's graphsOpened() when the links were last listed
    int linksPanelGrowth_ = 0;  // how much the Links panel widened the window
    wxTimer measuresTimer_;    // asks for the measures while they are worked out
    void onColourBy(wxCommandEvent& event);
    uint64_t legendGraph_ = 0;  // the glue's graphsOpened() when the legend was last decided on
    uint64_t statusShown_ = 0;  // the glue's statusSerial() of the message last shown
    wxMenu* hiddenGroupsMenu_ = nullptr;  // View > Hidden Groups, rebuilt with the legend
    std::vector<std::pair<int, std::string>> hiddenGroupItems_;  // (kind, name) per item
    void refreshHiddenGroupsMenu();
    void onShowHiddenGroup(wxCommandEvent& event);
    static constexpr size_t kHiddenGroupItems = 20;  // listed one by one at most
};

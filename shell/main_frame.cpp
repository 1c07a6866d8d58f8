// The main frame: its menus with their status texts, the toolbar (New, Open, About), the status
// bar with the message pane and the CAP, NUM and SCRL indicators, and the GL view as its client.
#include "shell/main_frame.h"

#include <unistd.h>
#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/clipbrd.h>
#include <wx/config.h>
#include <wx/control.h>
#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/filehistory.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/srchctrl.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "glue/glue.h"
#include "glue/group_legend.h"
#include "glue/key_status.h"
#include "glue/key_table.h"
#include "glue/picture_export.h"
#include "glue/status_text.h"
#include "glue/web_page_export.h"
#include "graph/graph.h"
#include "graph/positions_csv.h"
#include "graph/site_report.h"
#include "platform/url_opener.h"
#include "shell/about_dialog.h"
#include "shell/app_icon.h"
#include "shell/compare_with.h"
#include "shell/export_picture_dialog.h"
#include "shell/find_node_dialog.h"
#include "shell/gl_view_window.h"
#include "shell/legend_panel.h"
#include "shell/links_panel.h"
#include "shell/shortcuts_dialog.h"

namespace {

enum StatusField : int { kMessage = 0, kCaps, kNum, kScroll, kFieldCount };

wxString fromBytes(const std::string& text) {
    wxString s = wxString::FromUTF8(text);
    if (s.empty() && !text.empty()) s = wxString::From8BitData(text.c_str(), text.size());
    return s;
}

/// Files and folders dropped onto the window open as if chosen with File > Open (the first one
/// when several are dropped).
class FileDrop : public wxFileDropTarget {
public:
    explicit FileDrop(wxDocManager& manager) : manager_(manager) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override {
        if (files.empty()) return false;
        const wxString path = files[0];
        // Opened after the drop has finished, so the dragging program is not kept waiting.
        wxTheApp->CallAfter([this, path] { manager_.CreateDocument(path, wxDOC_SILENT); });
        return true;
    }

private:
    wxDocManager& manager_;
};

// Menu items and toolbar buttons show these in the status bar while under the pointer.
const char* const kOpenHelp = "Open an existing document";
const char* const kOpenFolderHelp = "Open a folder: a web site on disk or any directory tree";
const char* const kOpenWebSiteHelp = "Crawl a live web site from its address and show its graph";
const char* const kAskHowToImportHelp =
    "Show the import choices before opening an edge list, a DOT or a GraphML file";
const char* const kNewHelp = "Create a new document";
const char* const kAboutHelp = "Display program information, version number and copyright";
const char* const kFindHelp = "Find a node by part of its id or label and fly to it";
const char* const kBackHelp = "Fly back to the node travelled to before";
const char* const kForwardHelp = "Fly forward to the node travelled to next";
const char* const kBrowserHelp = "Open the selected node's web address in the browser";
const char* const kExportPictureHelp =
    "Write the view as a PNG picture, at the window's size or another";
const char* const kExportLayoutHelp = "Write every node's id and laid-out position as CSV";
const char* const kSaveAsMapHelp =
    "Write the graph on view, laid out, as a map file that opens at once";
const char* const kExportReportHelp =
    "Write a CSV line per node: id, groups, depth, links in and out, status";
const char* const kExportWebPageHelp =
    "Write the graph on view as one HTML file that any browser opens, starting at this view";
const char* const kLinksPanelHelp =
    "Show or hide the list of the selected node's links in and out; a click on a row flies there";
// How often the window asks whether the measures are ready while they are worked out.
constexpr int kMeasuresPollMilliseconds = 200;
const char* const kCompareWithHelp =
    "Show the graph together with an older version of it, coloured by what changed";

}  // namespace

CMainFrame::CMainFrame(wxDocManager* manager, orvo::Glue& glue, const wxString& title)
    : wxDocParentFrame(manager, nullptr, wxID_ANY, title, wxDefaultPosition, wxSize(800, 640)),
      manager_(manager),
      glue_(glue) {
    SetIcons(orvo::appIconBundle());
}

bool CMainFrame::createContents(orvo::GlChoice gl) {
    buildMenus();
    if (!buildToolBar() || !buildStatusBar()) return false;
    view_ = new orvo::GlViewWindow(this, glue_, gl);
    legendPanel_ = new orvo::LegendPanel(this);
    legendPanel_->Hide();  // until a graph is open
    legendPanel_->onRowClicked = [this](const orvo::LegendRow& row) {
        glue_.toggleLegendRow(legendPanel_->legend().kind, row);
        view_->Refresh(false);
        showKeyStatus();
    };
    legendPanel_->onNextClicked = [this](const orvo::LegendRow& row) {
        glue_.travelToNextOfRow(legendPanel_->legend().kind, row);
        view_->Refresh(false);
        showKeyStatus();
    };
    linksPanel_ = new orvo::LinksPanel(this);
    linksPanel_->Hide();  // until asked for
    linksPanel_->onRowChosen = [this](const std::string& id) {
        if (!glue_.travelTo(id)) {
            if (wxStatusBar* status = GetStatusBar())
                status->SetStatusText("That node is hidden: show its group first", kMessage);
            return;
        }
        view_->Refresh(false);
        showKeyStatus();
    };
    auto* client = new wxBoxSizer(wxHORIZONTAL);
    client->Add(view_, 1, wxEXPAND);
    client->Add(legendPanel_, 0, wxEXPAND);
    client->Add(linksPanel_, 0, wxEXPAND);
    measuresTimer_.SetOwner(this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { collectMeasures(); });
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            showLinksPanel(!linksPanel_->IsShown());
            refreshLinks();
        },
        ID_VIEW_LINKS_PANEL);
    Bind(
        wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Check(linksPanel_->IsShown()); },
        ID_VIEW_LINKS_PANEL);
    Bind(wxEVT_MENU, &CMainFrame::onColourBy, this, ID_COLOUR_BY_FIRST,
         ID_COLOUR_BY_FIRST + orvo::kMeasureCount);
    Bind(
        wxEVT_UPDATE_UI,
        [this](wxUpdateUIEvent& e) {
            const int item = e.GetId() - ID_COLOUR_BY_FIRST;
            const std::optional<orvo::Measure> by = glue_.colourBy();
            e.Check(by ? item == static_cast<int>(*by) + 1 : item == 0);
        },
        ID_COLOUR_BY_FIRST, ID_COLOUR_BY_FIRST + orvo::kMeasureCount);
    SetSizer(client);
    Bind(wxEVT_MENU, &CMainFrame::onAbout, this, wxID_ABOUT);
    Bind(wxEVT_MENU, &CMainFrame::onExit, this, wxID_EXIT);
    Bind(wxEVT_MENU, &CMainFrame::onToggleToolBar, this, ID_VIEW_TOOLBAR);
    Bind(wxEVT_MENU, &CMainFrame::onToggleStatusBar, this, ID_VIEW_STATUS_BAR);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::onUpdateToolBar, this, ID_VIEW_TOOLBAR);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::onUpdateStatusBar, this, ID_VIEW_STATUS_BAR);
    view_->Bind(wxEVT_KEY_DOWN, &CMainFrame::onKey, this);
    view_->Bind(wxEVT_KEY_UP, &CMainFrame::onKey, this);

    orvo::Glue& glue = glue_;
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) { findNode(searchField_ ? searchField_->GetValue() : ""); },
        ID_FIND_NODE);
    Bind(
        wxEVT_MENU,
        [this, &glue](wxCommandEvent&) {
            glue.goBack();
            showKeyStatus();
        },
        ID_BACK);
    Bind(
        wxEVT_MENU,
        [this, &glue](wxCommandEvent&) {
            glue.goForward();
            showKeyStatus();
        },
        ID_FORWARD);
    Bind(
        wxEVT_UPDATE_UI, [&glue](wxUpdateUIEvent& e) { e.Enable(glue.history().canGoBack()); },
        ID_BACK);
    Bind(
        wxEVT_UPDATE_UI, [&glue](wxUpdateUIEvent& e) { e.Enable(glue.history().canGoForward()); },
        ID_FORWARD);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { openInBrowserOrSay(selectedWebUrl()); },
        ID_OPEN_IN_BROWSER);
    Bind(
        wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(!selectedWebUrl().empty()); },
        ID_OPEN_IN_BROWSER);
    Bind(
        wxEVT_UPDATE_UI, [&glue](wxUpdateUIEvent& e) { e.Enable(glue.graphLoaded()); },
        ID_FIND_NODE, ID_FIND_NODE);
    Bind(wxEVT_MENU, &CMainFrame::onExportPicture, this, ID_EXPORT_PICTURE);
    Bind(wxEVT_MENU, &CMainFrame::onExportLayout, this, ID_EXPORT_LAYOUT);
    Bind(wxEVT_MENU, &CMainFrame::onSaveAsMap, this, ID_SAVE_AS_MAP);
    Bind(
        wxEVT_UPDATE_UI, [&glue](wxUpdateUIEvent& e) { e.Enable(glue.graphLoaded()); },
        ID_EXPORT_PICTURE, ID_SAVE_AS_MAP);
    Bind(wxEVT_MENU, &CMainFrame::onExportReport, this, ID_EXPORT_REPORT);
    Bind(wxEVT_MENU, &CMainFrame::onExportWebPage, this, ID_EXPORT_WEB_PAGE);
    Bind(wxEVT_MENU, &CMainFrame::onCompareWith, this, ID_COMPARE_WITH);
    Bind(wxEVT_MENU, &CMainFrame::onShowHiddenGroup, this, ID_HIDDEN_GROUP_FIRST,
         ID_HIDDEN_GROUP_FIRST + kHiddenGroupItems);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { orvo::ShortcutsDialog(this).ShowModal(); },
        ID_SHORTCUTS);
    Bind(wxEVT_MENU, &CMainFrame::onKeyItem, this, ID_KEY_FIRST, ID_KEY_FIRST + 255);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::onUpdateKeyItem, this, ID_KEY_FIRST, ID_KEY_FIRST + 255);
    Bind(wxEVT_MENU, &CMainFrame::onLimit, this, ID_LINK_LIMIT_FIRST, ID_NODE_LIMIT_FIRST + 10);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::onUpdateLimit, this, ID_LINK_LIMIT_FIRST,
         ID_NODE_LIMIT_FIRST + 10);

    // The node menu's commands act on the node it was opened on.
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            if (wxTheClipboard->Open()) {
                wxTheClipboard->SetData(new wxTextDataObject(fromBytes(menuNodeId_)));
                wxTheClipboard->Flush();  // the id stays on the clipboard after the program ends
                wxTheClipboard->Close();
            }
        },
        ID_NODE_COPY_ID);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { openInBrowserOrSay(menuNodeId_); },
        ID_NODE_OPEN_IN_BROWSER);
    Bind(
        wxEVT_MENU,
        [this, &glue](wxCommandEvent&) {
            if (orvo::Viewer* v = glue.viewer()) {
                v->selectSubtree(menuNodeId_, 1);
                v->redraw();
            }
        },
        ID_NODE_SELECT_SUBTREE);
    Bind(
        wxEVT_MENU,
        [this, &glue](wxCommandEvent&) {
            glue.travelTo(menuNodeId_);
            showKeyStatus();
        },
        ID_NODE_CENTRE);

    view_->onHoverChanged = [this] {
        // A click that flew somewhere changes the hover too: its message is shown first.
        showKeyMessage_ = glue_.statusSerial() != statusShown_;
        statusShown_ = glue_.statusSerial();
        refreshStatus();
        if (glue_.colouredByMeasure()) refreshLegend();  // it names the node under the pointer
        refreshLinks();
    };
    // A click on a node selects it: its links are listed once the click is handled.
    view_->Bind(wxEVT_LEFT_UP, [this](wxMouseEvent& event) {
        event.Skip();
        CallAfter([this] { refreshLinks(); });
    });
    view_->onKeyCommand = [this] { showKeyStatus(); };
    // On the view too: a drop lands on the deepest window that takes drops.
    SetDropTarget(new FileDrop(*manager_));
    view_->SetDropTarget(new FileDrop(*manager_));
    view_->onNodeMenu = [this](const std::string& id, const wxPoint& where) {
        showNodeMenu(id, where);
    };
    return true;
}

void CMainFrame::buildMenus() {
    auto* file = new wxMenu;
    file->Append(wxID_OPEN, "&Open...\tCtrl+O", kOpenHelp);
    file->Append(ID_FILE_OPEN_FOLDER, "Open &Folder...\tCtrl+Shift+O", kOpenFolderHelp);
    file->Append(ID_FILE_OPEN_WEB_SITE, "Open &Web Site...\tCtrl+Shift+W", kOpenWebSiteHelp);
    file->AppendCheckItem(ID_FILE_ASK_HOW_TO_IMPORT, "Ask How to &Import", kAskHowToImportHelp);
    file->AppendSeparator();
    file->Append(ID_EXPORT_PICTURE, "Export &Picture...", kExportPictureHelp);
    file->Append(ID_EXPORT_LAYOUT, "Export &Layout...", kExportLayoutHelp);
    file->Append(ID_EXPORT_REPORT, "Export &Report...", kExportReportHelp);
    file->Append(ID_EXPORT_WEB_PAGE, "Export Web Pa&ge...", kExportWebPageHelp);
    file->Append(ID_COMPARE_WITH, "&Compare With...", kCompareWithHelp);
    file->Append(ID_SAVE_AS_MAP, "Save As &Map...", kSaveAsMapHelp);
    file->AppendSeparator();
    const size_t recentPosition = file->GetMenuItemCount();
    file->AppendSeparator();
    file->Append(wxID_EXIT, "E&xit", "Quit the application; prompts to save documents");
    recentMenu_ = std::make_unique<orvo::RecentFilesMenu>(*file, recentPosition);
    recentMenu_->refresh(*manager_->GetFileHistory());

    auto* edit = new wxMenu;
    edit->Append(ID_FIND_NODE, "&Find Node...\tCtrl+F", kFindHelp);

    auto* view = new wxMenu;
    view->AppendCheckItem(ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar");
    view->AppendCheckItem(ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar");
    view->AppendSeparator();
    view->Append(ID_BACK, "&Back\tAlt+Left", kBackHelp);
    view->Append(ID_FORWARD, "&Forward\tAlt+Right", kForwardHelp);
    view->Append(ID_OPEN_IN_BROWSER, "Open in Bro&wser", kBrowserHelp);
    view->AppendCheckItem(ID_VIEW_LINKS_PANEL, "&Links Panel\tCtrl+L", kLinksPanelHelp);
    auto* colourBy = new wxMenu;
    colourBy->AppendRadioItem(ID_COLOUR_BY_FIRST, "&Groups",
                              "Colour the nodes by their groups (file type or site group)");
    for (int m = 0; m < orvo::kMeasureCount; ++m) {
        const auto measure = static_cast<orvo::Measure>(m);
        colourBy->AppendRadioItem(
            ID_COLOUR_BY_FIRST + 1 + m, wxString::FromUTF8(orvo::measureTitle(measure)),
            orvo::measureIsHeavyTailed(measure)
                ? "Colour the nodes by this measure, dark to light, on a log scale"
                : "Colour the nodes by this measure, dark to light");
    }
    view->AppendSubMenu(colourBy, "Colour &By",
                        "Colour the nodes by their groups or by a measure (key M: the next)");
    hiddenGroupsMenu_ = new wxMenu;
    view->AppendSubMenu(hiddenGroupsMenu_, "&Hidden Groups",
                        "The groups hidden from the legend or by keys: choose one to show it");
    refreshHiddenGroupsMenu();
    // Every key command, showing its key; the keys themselves stay plain typing in the view
    // (as accelerators they would be taken from the search field too).
    int group = -1;
    for (const orvo::KeyMenuEntry& e : orvo::keyMenuEntries()) {
        if (e.group != group) {
            view->AppendSeparator();
            group = e.group;
        }
        const int id = ID_KEY_FIRST + static_cast<unsigned char>(e.key);
        const wxString label = wxString::FromUTF8(orvo::keyMenuLabel(e));
        if (e.kind == orvo::KeyMenuKind::Check) {
            view->AppendCheckItem(id, label, e.help);
        } else {
            view->Append(id, label, e.help);
        }
    }
    // The generation limits: the digits set the link limit (the node limit after "r").
    auto* limits = new wxMenu;
    for (int node = 0; node < 2; ++node) {
        auto* sub = new wxMenu;
        const int first = node ? ID_NODE_LIMIT_FIRST : ID_LINK_LIMIT_FIRST;
        for (int d = 0; d <= 10; ++d) {
            const wxString label =
                d < 10 ? wxString::Format("%d", d) : wxString("99 (every generation)");
            sub->AppendRadioItem(first + d, label,
                                 node
                                     ? "Nodes of this generation and beyond get no outline or label"
                                     : "Links of this generation and beyond are not drawn");
        }
        limits->AppendSubMenu(sub, node ? "&Node Generation Limit (r, then 0 .. 9)"
                                        : "&Link Generation Limit (0 .. 9)");
    }
    view->AppendSubMenu(limits, "&Generation Limits", "Link and node generation limits");

    auto* help = new wxMenu;
    help->Append(ID_SHORTCUTS, "&Keyboard Shortcuts\tF1", "List every key and mouse action");
    help->Append(wxID_ABOUT, "&About orvo...", kAboutHelp);

    auto* bar = new wxMenuBar;
    bar->Append(file, "&File");
    bar->Append(edit, "&Edit");
    bar->Append(view, "&View");
    bar->Append(help, "&Help");
    SetMenuBar(bar);

    // Ctrl+N makes a new document though no menu item carries it.
    wxAcceleratorEntry keys[1];
    keys[0].Set(wxACCEL_CTRL, 'N', wxID_NEW);
    SetAcceleratorTable(wxAcceleratorTable(1, keys));
}

bool CMainFrame::buildToolBar() {
    wxToolBar* tools = CreateToolBar(wxTB_FLAT | wxTB_HORIZONTAL | wxTB_DOCKABLE);
    if (tools == nullptr) return false;
    const wxSize size(16, 15);
    tools->AddTool(wxID_NEW, "New", wxArtProvider::GetBitmapBundle(wxART_NEW, wxART_TOOLBAR, size),
                   "New", wxITEM_NORMAL);
    tools->SetToolLongHelp(wxID_NEW, kNewHelp);
    tools->AddTool(wxID_OPEN, "Open",
                   wxArtProvider::GetBitmapBundle(wxART_FILE_OPEN, wxART_TOOLBAR, size), "Open",
                   wxITEM_NORMAL);
    tools->SetToolLongHelp(wxID_OPEN, kOpenHelp);
    tools->AddSeparator();
    tools->AddTool(ID_BACK, "Back",
                   wxArtProvider::GetBitmapBundle(wxART_GO_BACK, wxART_TOOLBAR, size),
                   "Back (Alt+Left)", wxITEM_NORMAL);
    tools->SetToolLongHelp(ID_BACK, kBackHelp);
    tools->AddTool(ID_FORWARD, "Forward",
                   wxArtProvider::GetBitmapBundle(wxART_GO_FORWARD, wxART_TOOLBAR, size),
                   "Forward (Alt+Right)", wxITEM_NORMAL);
    tools->SetToolLongHelp(ID_FORWARD, kForwardHelp);
    tools->AddTool(ID_OPEN_IN_BROWSER, "Open in Browser",
                   wxArtProvider::GetBitmapBundle(wxART_GO_HOME, wxART_TOOLBAR, size),
                   "Open in Browser", wxITEM_NORMAL);
    tools->SetToolLongHelp(ID_OPEN_IN_BROWSER, kBrowserHelp);
    searchField_ = new wxSearchCtrl(tools, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                    FromDIP(wxSize(260, -1)), wxTE_PROCESS_ENTER);
    searchField_->SetDescriptiveText("Find node (Ctrl+F)");
    searchField_->SetToolTip("Part of a node's id or label; Enter flies to the best match");
    searchField_->Bind(wxEVT_TEXT_ENTER,
                       [this](wxCommandEvent&) { flyToBestMatch(searchField_->GetValue()); });
    searchField_->Bind(wxEVT_SEARCH,
                       [this](wxCommandEvent&) { flyToBestMatch(searchField_->GetValue()); });
    searchField_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
        // The best match shows in the status bar while typing.
        const std::string query(searchField_->GetValue().utf8_str());
        if (query.empty()) {
            refreshStatus();
            return;
        }
        orvo::Glue& glue = glue_;
        const orvo::SearchResult r = glue.findNodes(query, 1);
        if (wxStatusBar* status = GetStatusBar()) {
            status->SetStatusText(
                r.hits.empty()
                    ? wxString("No node matches")
                    : "Enter flies to " + fromBytes(glue.foundNode(r.hits[0]).id) +
                          wxString::FromUTF8(std::string(r.totalAtLeast ? " (at least " : " (") +
                                             orvo::groupedNumber(static_cast<long long>(r.total)) +
                                             (r.total == 1 ? " match)" : " matches)")),
                kMessage);
        }
    });
    tools->AddControl(searchField_, "Find node");
    tools->AddSeparator();
    tools->AddTool(wxID_ABOUT, "About",
                   wxArtProvider::GetBitmapBundle(wxART_HELP, wxART_TOOLBAR, size), "About",
                   wxITEM_NORMAL);
    tools->SetToolLongHelp(wxID_ABOUT, kAboutHelp);
    return tools->Realize();
}

bool CMainFrame::buildStatusBar() {
    wxStatusBar* status = CreateStatusBar(kFieldCount);
    if (status == nullptr) return false;
    const int indicator = status->GetTextExtent("SCRL").x + FromDIP(16);
    const int widths[kFieldCount] = {-1, indicator, indicator, indicator};
    status->SetStatusWidths(kFieldCount, widths);
    SetStatusBarPane(kMessage);
    status->SetStatusText("Ready", kMessage);
    updateLockIndicators();
    return true;
}

void CMainFrame::refreshLegend() {
    // Site colours are named in the shortcut list and the view keeps the whole window; other
    // colours need the legend, which each such graph brings back.
    if (glue_.graphsOpened() != legendGraph_) {
        legendGraph_ = glue_.graphsOpened();
        if (glue_.coloursNeedLegend()) glue_.keys().setToggle('G', 1);
    }
    refreshHiddenGroupsMenu();
    const bool show = glue_.graphLoaded() && glue_.keys().toggle('G') != 0;
    if (show && glue_.colouredByMeasure()) {
        legendPanel_->setMeasureLegend(glue_.measureLegend());
    } else if (show) {
        legendPanel_->setLegend(glue_.legend(orvo::LegendPanel::kRows));
    }
    if (legendPanel_->IsShown() != show) {
        legendPanel_->Show(show);
        Layout();
    }
}

void CMainFrame::refreshHiddenGroupsMenu() {
    if (hiddenGroupsMenu_ == nullptr) return;
    while (hiddenGroupsMenu_->GetMenuItemCount() > 0) {
        hiddenGroupsMenu_->Destroy(hiddenGroupsMenu_->FindItemByPosition(0));
    }
    hiddenGroupItems_ = glue_.hiddenGroups();
    if (hiddenGroupItems_.empty()) {
        hiddenGroupsMenu_->Append(ID_HIDDEN_GROUP_FIRST, "No group hidden")->Enable(false);
        return;
    }
    const size_t listed = std::min<size_t>(hiddenGroupItems_.size(), kHiddenGroupItems);
    for (size_t i = 0; i < listed; ++i) {
        const auto& [kind, name] = hiddenGroupItems_[i];
        const std::string label = (name.empty() ? std::string("no group") : name) +
                                  (kind == 0   ? " (file type or group)"
                                   : kind == 1 ? " (site group or status)"
                                               : " (kind " + std::to_string(kind) + ")");
        hiddenGroupsMenu_->Append(ID_HIDDEN_GROUP_FIRST + 1 + static_cast<int>(i),
                                  wxString::FromUTF8(label), "Show this group again");
    }
    if (hiddenGroupItems_.size() > listed) {
        hiddenGroupsMenu_
            ->Append(wxID_ANY, wxString::Format("and %zu more", hiddenGroupItems_.size() - listed))
            ->Enable(false);
    }
    hiddenGroupsMenu_->AppendSeparator();
    hiddenGroupsMenu_->Append(
        ID_HIDDEN_GROUP_FIRST,
        wxString::Format("Show &All %zu Hidden Groups", hiddenGroupItems_.size()),
        "Show every hidden group again");
}

void CMainFrame::onShowHiddenGroup(wxCommandEvent& event) {
    const int item = event.GetId() - ID_HIDDEN_GROUP_FIRST;
    const auto groups = hiddenGroupItems_;
    for (size_t i = 0; i < groups.size(); ++i) {
        if (item == 0 || static_cast<size_t>(item) == i + 1) {
            glue_.showGroup(groups[i].first, groups[i].second);
        }
    }
    view_->Refresh(false);
    showKeyStatus();
}

void CMainFrame::recentFilesChanged() {
    wxFileHistory& history = *manager_->GetFileHistory();
    if (recentMenu_) recentMenu_->refresh(history);
}

void CMainFrame::documentChanged() {
    view_->Refresh(false);
    refreshLegend();
    refreshLinks();
    refreshStatus();
    if (glue_.measuresPending() && !measuresTimer_.IsRunning())
        measuresTimer_.Start(kMeasuresPollMilliseconds);
}

bool CMainFrame::collectMeasures() {
    if (!glue_.measuresPending()) measuresTimer_.Stop();
    if (!glue_.collectMeasures()) return false;
    measuresTimer_.Stop();
    linksPanel_->measuresChanged(&glue_.measures());
    view_->Refresh(false);
    refreshLegend();
    // Shown until the pointer moves onto a node or a command says something.
    showKeyMessage_ = false;
    if (wxStatusBar* status = GetStatusBar())
        status->SetStatusText(wxString::FromUTF8(glue_.measuresMessage()), kMessage);
    return true;
}

void CMainFrame::showLinksPanel(bool show) {
    if (linksPanel_->IsShown() == show) return;
    linksPanel_->Show(show);
    // The panel widens the window by its own width, as far as the screen allows, and gives that
    // width back when it goes: taken from the view, it would leave the map a narrow strip.
    // A window that would then reach past the screen's right edge moves left.
    if (!IsMaximized() && !IsFullScreen()) {
        const wxRect area = wxDisplay(this).GetClientArea();
        wxRect frame = GetScreenRect();
        if (show) {
            linksPanelGrowth_ =
                std::max(0, std::min(linksPanel_->GetMinSize().x, area.width - frame.width));
            frame.width += linksPanelGrowth_;
            if (frame.GetRight() > area.GetRight())
                frame.x = std::max(area.x, area.GetRight() + 1 - frame.width);
        } else {
            frame.width -= linksPanelGrowth_;
            linksPanelGrowth_ = 0;
        }
        SetSize(frame);
    }
    Layout();
}

void CMainFrame::refreshLinks() {
    if (linksPanel_ == nullptr) return;
    const orvo::Graph* graph = glue_.graphLoaded() ? glue_.viewer()->graph() : nullptr;
    const orvo::Node* node = graph != nullptr ? graph->findNode(glue_.lastSelectedId()) : nullptr;
    // The rows point into the graph they list: another graph on view drops them at once.
    if (glue_.graphsOpened() != linksGraph_ || graph == nullptr) {
        linksGraph_ = glue_.graphsOpened();
        linksPanel_->showLinks(nullptr, nullptr, nullptr);
    }
    if (!linksPanel_->IsShown()) return;
    const int32_t index = node != nullptr ? node->index : -1;
    if (index == linksPanel_->links().listedNode()) return;
    linksPanel_->showLinks(graph, node, &glue_.measures());
}

void CMainFrame::onColourBy(wxCommandEvent& event) {
    const int item = event.GetId() - ID_COLOUR_BY_FIRST;
    glue_.setColourBy(item == 0 ? std::nullopt
                                : std::optional(static_cast<orvo::Measure>(item - 1)));
    // A ramp needs its legend to be read.
    if (item != 0) glue_.keys().setToggle('G', 1);
    view_->Refresh(false);
    showKeyStatus();
}

void CMainFrame::updateLockIndicators() {
    wxStatusBar* status = GetStatusBar();
    if (status == nullptr) return;
    const bool caps = wxGetKeyState(WXK_CAPITAL);
    const bool num = wxGetKeyState(WXK_NUMLOCK);
    const bool scroll = wxGetKeyState(WXK_SCROLL);
    const int states = (caps ? 1 : 0) | (num ? 2 : 0) | (scroll ? 4 : 0);
    if (states == lockStates_) return;
    lockStates_ = states;
    status->SetStatusText(caps ? "CAP" : "", kCaps);
    status->SetStatusText(num ? "NUM" : "", kNum);
    status->SetStatusText(scroll ? "SCRL" : "", kScroll);
}

void CMainFrame::onAbout(wxCommandEvent& /*event*/) {
    CAboutDlg dialog(this);
    dialog.ShowModal();
}

void CMainFrame::onExit(wxCommandEvent& /*event*/) { Close(); }

void CMainFrame::onToggleToolBar(wxCommandEvent& /*event*/) {
    if (wxToolBar* tools = GetToolBar()) {
        tools->Show(!tools->IsShown());
        SendSizeEvent();
    }
}

void CMainFrame::onToggleStatusBar(wxCommandEvent& /*event*/) {
    if (wxStatusBar* status = GetStatusBar()) {
        status->Show(!status->IsShown());
        SendSizeEvent();
    }
}

void CMainFrame::onUpdateToolBar(wxUpdateUIEvent& event) {
    event.Check(GetToolBar() != nullptr && GetToolBar()->IsShown());
}

void CMainFrame::onUpdateStatusBar(wxUpdateUIEvent& event) {
    event.Check(GetStatusBar() != nullptr && GetStatusBar()->IsShown());
}

void CMainFrame::onKey(wxKeyEvent& event) {
    event.Skip();
    CallAfter([this] { updateLockIndicators(); });  // the state changes after the event
}

void CMainFrame::DoGiveHelp(const wxString& text, bool show) {
    if (show && !text.empty()) {
        if (wxStatusBar* status = GetStatusBar()) status->SetStatusText(text, kMessage);
        return;
    }
    refreshStatus();
}

void CMainFrame::refreshStatus() {
    wxStatusBar* status = GetStatusBar();
    if (status == nullptr) return;
    orvo::Glue& glue = glue_;
    if (!glue.graphLoaded()) {
        status->SetStatusText("Ready", kMessage);
        return;
    }
    if (const orvo::Node* node = glue.hoveredNode()) {
        const wxString groups =
            "   " + fromBytes(orvo::nodeGroupsText(*glue.viewer()->graph(), *node)) + "   " +
            fromBytes(orvo::nodeLinksText(*node));
        wxRect pane;
        status->GetFieldRect(kMessage, pane);
        wxClientDC dc(status);
        dc.SetFont(status->GetFont());
        const int room = pane.width - dc.GetTextExtent(groups).x - FromDIP(12);
        const wxString id =
            wxControl::Ellipsize(fromBytes(orvo::nodeNameText(*glue.viewer()->graph(), *node)), dc,
                                 wxELLIPSIZE_MIDDLE, std::max(room, 40));
        status->SetStatusText(id + groups, kMessage);
        return;
    }
    if (showKeyMessage_ && !glue.keyStatus().empty()) {
        status->SetStatusText(wxString::FromUTF8(glue.keyStatus()), kMessage);
        return;
    }
    status->SetStatusText(wxString::FromUTF8(glue.graphStatus()), kMessage);
}

void CMainFrame::showKeyStatus() {
    showKeyMessage_ = true;
    statusShown_ = glue_.statusSerial();
    refreshLegend();  // the key may have changed the kind coloured or hidden groups
    refreshLinks();   // or flown to another node
    refreshStatus();
}

void CMainFrame::onKeyItem(wxCommandEvent& event) {
    glue_.keyViewer(event.GetId() - ID_KEY_FIRST);
    showKeyStatus();
}

void CMainFrame::onUpdateKeyItem(wxUpdateUIEvent& event) {
    orvo::Glue& glue = glue_;
    const char key = static_cast<char>(event.GetId() - ID_KEY_FIRST);
    if (glue.viewer() == nullptr) return;
    if (key == 'P') {
        event.Check(glue.labelsByScore());  // the glue keeps it, with the scores
        return;
    }
    if (event.IsCheckable()) event.Check(orvo::keyChecked(key, glue.keys(), *glue.viewer()));
}

void CMainFrame::onLimit(wxCommandEvent& event) {
    const bool node = event.GetId() >= ID_NODE_LIMIT_FIRST;
    const int d = event.GetId() - (node ? ID_NODE_LIMIT_FIRST : ID_LINK_LIMIT_FIRST);
    glue_.setGenerationLimit(node, d < 10 ? d : 99);
    showKeyStatus();
}

void CMainFrame::onUpdateLimit(wxUpdateUIEvent& event) {
    orvo::Glue& glue = glue_;
    if (glue.viewer() == nullptr) return;
    const bool node = event.GetId() >= ID_NODE_LIMIT_FIRST;
    const int d = event.GetId() - (node ? ID_NODE_LIMIT_FIRST : ID_LINK_LIMIT_FIRST);
    const orvo::ViewerSettings& s = glue.viewer()->settings();
    const int limit = node ? s.nodeGenerationLimit : s.linkGenerationLimit;
    event.Check(d < 10 ? limit == d : limit == 99);
}

bool CMainFrame::findNode(const wxString& query) {
    orvo::Glue& glue = glue_;
    if (!glue.graphLoaded()) return false;
    orvo::FindNodeDialog dialog(this, glue, query);
    if (dialog.ShowModal() != wxID_OK) return false;
    if (!glue.travelTo(dialog.chosenId())) {
        if (wxStatusBar* status = GetStatusBar()) {
            status->SetStatusText("That node is hidden: show its group first", kMessage);
        }
        return false;
    }
    showKeyStatus();
    return true;
}

bool CMainFrame::flyToBestMatch(const wxString& query) {
    orvo::Glue& glue = glue_;
    const orvo::SearchResult r = glue.findNodes(std::string(query.utf8_str()), 1);
    if (r.hits.empty()) {
        wxBell();
        return false;
    }
    const std::string id = glue.foundNode(r.hits[0]).id;
    if (!glue.travelTo(id)) return findNode(query);  // hidden: let the user pick another
    view_->SetFocus();
    showKeyStatus();
    return true;
}

void CMainFrame::showNodeMenu(const std::string& id, const wxPoint& where) {
    menuNodeId_ = id;
    wxMenu menu;
    menu.Append(ID_NODE_COPY_ID, "&Copy Id", "Copy the node's id to the clipboard");
    menu.Append(ID_NODE_OPEN_IN_BROWSER, "Open in &Browser", "Open the node's web address");
    menu.Append(ID_NODE_SELECT_SUBTREE, "&Select Subtree",
                "Select the node and every node below it");
    menu.Append(ID_NODE_CENTRE, "Centre &Here", "Fly to the node and select it");
    menu.Enable(ID_NODE_OPEN_IN_BROWSER, orvo::isWebUrl(id));
    view_->PopupMenu(&menu, where);
}

std::string CMainFrame::selectedWebUrl() {
    orvo::Glue& glue = glue_;
    const std::string& id = glue.lastSelectedId();
    if (!glue.graphLoaded() || !orvo::isWebUrl(id)) return "";
    return glue.viewer()->graph()->findNode(id) != nullptr ? id : "";
}

void CMainFrame::openInBrowserOrSay(const std::string& id) {
    std::string error;
    if (id.empty()) return;
    if (!orvo::openUrl(id, error)) {
        wxMessageBox(
            "Cannot open " + fromBytes(id) + " in the browser: " + wxString::FromUTF8(error),
            "orvo", wxOK | wxICON_ERROR, this);
    }
}

wxString CMainFrame::askForExportFile(const wxString& title, const wxString& wildcard,
                                      const wxString& extension) {
    wxString folder, name = "graph";
    if (wxDocument* doc = manager_->GetCurrentDocument(); doc && !doc->GetFilename().empty()) {
        const wxFileName graphFile(doc->GetFilename());
        folder = graphFile.GetPath();
        name = graphFile.GetName().empty() ? graphFile.GetDirs().Last() : graphFile.GetName();
    }
    wxFileDialog dialog(this, title, folder, name + "." + extension, wildcard,
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return wxString();
    wxFileName chosen(dialog.GetPath());
    if (!chosen.HasExt()) chosen.SetExt(extension);
    return chosen.GetFullPath();
}

bool CMainFrame::exportPictureTo(const wxString& path, const wxSize& size, std::string& error,
                                 bool withLegend) {
    orvo::Glue& glue = glue_;
    if (!glue.graphLoaded()) {
        error = "no graph is open";
        return false;
    }
    orvo::PictureExport picture;
    picture.width = size.x;
    picture.height = size.y;
    picture.legend = withLegend;
    picture.measureLegend = glue.measureLegend();
    const bool written =
        orvo::exportPicture(*glue.viewer(), picture, std::string(path.fn_str()), error);
    view_->Refresh(false);
    return written;
}

bool CMainFrame::exportLayoutTo(const wxString& path, std::string& error) {
    orvo::Glue& glue = glue_;
    if (!glue.graphLoaded()) {
        error = "no graph is open";
        return false;
    }
    return orvo::writePositionsCsvFile(std::string(path.fn_str()), *glue.viewer()->graph(), error);
}

bool CMainFrame::saveMapTo(const wxString& path, std::string& error) {
    if (!glue_.graphLoaded()) {
        error = "no graph is open";
        return false;
    }
    // The map carries the measures: those still being worked out are waited for.
    if (glue_.measuresPending()) {
        glue_.finishMeasures();
        collectMeasures();
    }
    error = glue_.saveMap(std::string(path.fn_str()));
    return error.empty();
}

bool CMainFrame::exportReportTo(const wxString& path, std::string& error) {
    if (!glue_.graphLoaded()) {
        error = "no graph is open";
        return false;
    }
    return orvo::writeSiteReportFile(std::string(path.fn_str()), *glue_.viewer()->graph(), error);
}

void CMainFrame::onExportReport(wxCommandEvent& /*event*/) {
    if (!glue_.graphLoaded()) return;
    const wxString path = askForExportFile("Export Report", "CSV files (*.csv)|*.csv", "csv");
    if (path.empty()) return;
    std::string error;
    if (!exportReportTo(path, error)) {
        wxMessageBox("The report was not exported: " + fromBytes(error), "orvo",
                     wxOK | wxICON_ERROR, this);
    } else if (wxStatusBar* status = GetStatusBar()) {
        status->SetStatusText("Report written to " + path, kMessage);
    }
}

// The same file orvo-publish writes, of the graph on view, starting at this view; the page and
// its program come from where the package installs them (or the build tree).
bool CMainFrame::exportWebPageTo(const wxString& path, std::string& error) {
    wxString title = GetTitle();
    if (wxDocument* document = manager_->GetCurrentDocument())
        title = wxFileName(document->GetFilename()).GetFullName();
    return orvo::exportWebPage(glue_, std::string(path.fn_str()), title.utf8_string(),
                               orvo::webPartsPlaces(orvo::runningProgramDir()), error);
}

void CMainFrame::onExportWebPage(wxCommandEvent& /*event*/) {
    if (!glue_.graphLoaded()) return;
    const wxString path = askForExportFile("Export Web Page", "Web pages (*.html)|*.html", "html");
    if (path.empty()) return;
    std::string error;
    bool written = false;
    {
        wxBusyCursor busy;
        written = exportWebPageTo(path, error);
    }
    if (!written) {
        wxMessageBox("The web page was not exported: " + fromBytes(error), "orvo",
                     wxOK | wxICON_ERROR, this);
    } else if (wxStatusBar* status = GetStatusBar()) {
        status->SetStatusText("Web page written to " + path + ": open it in any browser", kMessage);
    }
}

bool CMainFrame::compareWith(const wxString& otherInput, std::string& error) {
    if (!glue_.graphLoaded()) {
        error = "no graph is open";
        return false;
    }
    orvo::ComparedView compared;
    {
        wxBusyCursor busy;
        compared =
            orvo::compareWithInput(*glue_.viewer()->graph(), std::string(otherInput.fn_str()));
    }
    if (!compared.error.empty()) {
        error = std::string(otherInput.fn_str()) + ": " + compared.error;
        return false;
    }
    // The comparison is opened as a graph file of its own, read as any other.
    std::string file =
        (std::filesystem::temp_directory_path() / "orvo-compare-XXXXXX.graph").string();
    const int fd = ::mkstemps(file.data(), 6);
    bool written = fd >= 0;
    for (size_t at = 0; written && at < compared.outline.size();) {
        const ssize_t n = ::write(fd, compared.outline.data() + at, compared.outline.size() - at);
        written = n > 0;
        at += written ? static_cast<size_t>(n) : 0;
    }
    if (fd >= 0) ::close(fd);
    const bool opened = written && glue_.openGraphFile(file) == 1;
    if (fd >= 0) std::remove(file.c_str());
    if (!opened) {
        error = written ? glue_.openError() : "the comparison could not be written to " + file;
        return false;
    }
    glue_.viewer()->setGroupColumn(1);
    Refresh();
    legendGraph_ = glue_.graphsOpened();
    glue_.keys().setToggle('G', 1);  // what each status's colour means, with its count
    refreshLegend();
    refreshLinks();
    if (glue_.measuresPending() && !measuresTimer_.IsRunning())
        measuresTimer_.Start(kMeasuresPollMilliseconds);
    showKeyMessage_ = false;
    if (wxStatusBar* status = GetStatusBar()) {
        status->SetStatusText(wxString::FromUTF8(compared.legend), kMessage);
    }
    return true;
}

void CMainFrame::onCompareWith(wxCommandEvent& /*event*/) {
    if (!glue_.graphLoaded()) return;
    wxFileDialog dialog(this, "Compare With", "", "", "All files (*)|*",
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    std::string error;
    if (!compareWith(dialog.GetPath(), error))
        wxMessageBox("Nothing was compared: " + fromBytes(error), "orvo", wxOK | wxICON_ERROR,
                     this);
}

void CMainFrame::onExportPicture(wxCommandEvent& /*event*/) {
    orvo::Glue& glue = glue_;
    if (!glue.graphLoaded()) return;
    orvo::ExportPictureDialog sizes(this, wxSize(glue.lastWidth(), glue.lastHeight()));
    if (sizes.ShowModal() != wxID_OK) return;
    const wxSize size = sizes.chosenSize();
    const wxString path = askForExportFile("Export Picture", "PNG pictures (*.png)|*.png", "png");
    if (path.empty()) return;
    std::string error;
    bool written = false;
    {
        wxBusyCursor busy;
        written = exportPictureTo(path, size, error, sizes.withLegend());
    }
    if (!written) {
        wxMessageBox("The picture was not exported: " + fromBytes(error), "orvo",
                     wxOK | wxICON_ERROR, this);
        return;
    }
    if (wxStatusBar* status = GetStatusBar()) {
        status->SetStatusText(
            wxString::Format("Picture of %d x %d pixels written to ", size.x, size.y) + path,
            kMessage);
    }
}

void CMainFrame::onSaveAsMap(wxCommandEvent& /*event*/) {
    if (!glue_.graphLoaded()) return;
    const wxString path =
        askForExportFile("Save As Map", "Map files (*.orvomap)|*.orvomap", "orvomap");
    if (path.empty()) return;
    std::string error;
    bool written = false;
    {
        wxBusyCursor busy;
        written = saveMapTo(path, error);
    }
    if (!written) {
        wxMessageBox("The map was not saved: " + fromBytes(error), "orvo", wxOK | wxICON_ERROR,
                     this);
        return;
    }
    if (wxStatusBar* status = GetStatusBar()) {
        status->SetStatusText("Map written to " + path, kMessage);
    }
}

void CMainFrame::onExportLayout(wxCommandEvent& /*event*/) {
    if (!glue_.graphLoaded()) return;
    const wxString path = askForExportFile("Export Layout", "CSV files (*.csv)|*.csv", "csv");
    if (path.empty()) return;
    std::string error;
    bool written = false;
    {
        wxBusyCursor busy;
        written = exportLayoutTo(path, error);
    }
    if (!written) {
        wxMessageBox("The layout was not exported: " + fromBytes(error), "orvo",
                     wxOK | wxICON_ERROR, this);
        return;
    }
    if (wxStatusBar* status = GetStatusBar()) {
        status->SetStatusText("Layout written to " + path, kMessage);
    }
}

// The main frame: its menus with their status texts, the toolbar (New, Open, About), the status
// bar with the message pane and the CAP, NUM and SCRL indicators, and the GL view as its client.
#include "shell/main_frame.h"

#include <wx/artprov.h>
#include <wx/config.h>
#include <wx/filehistory.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include "glue/glue.h"
#include "shell/about_dialog.h"
#include "shell/app_icon.h"
#include "shell/gl_view_window.h"
#include "shell/orvo_doc.h"

namespace {

enum : int { ID_VIEW_TOOLBAR = wxID_HIGHEST + 1, ID_VIEW_STATUS_BAR, ID_FILE_OPEN_FOLDER };
enum StatusField : int { kMessage = 0, kCaps, kNum, kScroll, kFieldCount };

// Menu items and toolbar buttons show these in the status bar while under the pointer.
const char* const kOpenHelp = "Open an existing document";
const char* const kOpenFolderHelp = "Open a folder: a web site on disk or any directory tree";
const char* const kNewHelp = "Create a new document";
const char* const kAboutHelp = "Display program information, version number and copyright";

}  // namespace

CMainFrame::CMainFrame(COrvoDocManager* manager, const wxString& title)
    : wxDocParentFrame(manager, nullptr, wxID_ANY, title, wxDefaultPosition, wxSize(800, 640)),
      manager_(manager) {
    SetIcons(orvo::appIconBundle());
}

bool CMainFrame::createContents() {
    buildMenus();
    if (!buildToolBar() || !buildStatusBar()) return false;
    view_ = new orvo::GlViewWindow(this, orvo::theGlue());
    Bind(wxEVT_MENU, &CMainFrame::onAbout, this, wxID_ABOUT);
    Bind(wxEVT_MENU, &CMainFrame::onExit, this, wxID_EXIT);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { manager_->openFolder(); }, ID_FILE_OPEN_FOLDER);
    Bind(wxEVT_MENU, &CMainFrame::onToggleToolBar, this, ID_VIEW_TOOLBAR);
    Bind(wxEVT_MENU, &CMainFrame::onToggleStatusBar, this, ID_VIEW_STATUS_BAR);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::onUpdateToolBar, this, ID_VIEW_TOOLBAR);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::onUpdateStatusBar, this, ID_VIEW_STATUS_BAR);
    view_->Bind(wxEVT_KEY_DOWN, &CMainFrame::onKey, this);
    view_->Bind(wxEVT_KEY_UP, &CMainFrame::onKey, this);
    return true;
}

void CMainFrame::buildMenus() {
    auto* file = new wxMenu;
    file->Append(wxID_OPEN, "&Open...\tCtrl+O", kOpenHelp);
    file->Append(ID_FILE_OPEN_FOLDER, "Open &Folder...\tCtrl+Shift+O", kOpenFolderHelp);
    file->AppendSeparator();
    const size_t recentPosition = file->GetMenuItemCount();
    file->AppendSeparator();
    file->Append(wxID_EXIT, "E&xit", "Quit the application; prompts to save documents");
    recentMenu_ = std::make_unique<orvo::RecentFilesMenu>(*file, recentPosition);
    recentMenu_->refresh(*manager_->GetFileHistory());

    auto* view = new wxMenu;
    view->AppendCheckItem(ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar");
    view->AppendCheckItem(ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar");

    auto* help = new wxMenu;
    help->Append(wxID_ABOUT, "&About orvo...", kAboutHelp);

    auto* bar = new wxMenuBar;
    bar->Append(file, "&File");
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

void CMainFrame::recentFilesChanged() {
    wxFileHistory& history = *manager_->GetFileHistory();
    if (recentMenu_) recentMenu_->refresh(history);
    if (wxConfigBase* config = wxConfigBase::Get(false)) orvo::saveRecentFiles(history, *config);
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

// The main frame in-process on a real X display: menu texts and status texts, the toolbar's
// three buttons, the View toggles, the lock-key indicators and the About box.
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/filehistory.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>
#include <vector>

#include "glue/glue.h"
#include "glue/key_table.h"
#include "shell/about_dialog.h"
#include "shell/main_frame.h"
#include "shell/orvo_doc.h"
#include "shell/shortcuts_dialog.h"
#include "tests/shell/toolkit.h"

namespace orvo {
namespace {

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(startToolkit()) << "no X display";
        manager = new COrvoDocManager(glue);
        frame = new CMainFrame(manager, glue, "orvo");
        manager->setWindow(frame);
        ASSERT_TRUE(frame->createContents());
        frame->Show();
        ASSERT_TRUE(pumpUntil([&] { return frame->IsShownOnScreen(); }));
    }
    void TearDown() override {
        destroyWindow(frame);  // nothing when SetUp made none
        delete manager;
    }
    wxMenuItem* item(int id) { return frame->GetMenuBar()->FindItem(id); }

    Glue glue;  // outlives the frame and the manager
    COrvoDocManager* manager = nullptr;
    CMainFrame* frame = nullptr;
};

TEST_F(MainFrameTest, MenusCarryTheirTextsAndStatusTexts) {
    wxMenuBar* bar = frame->GetMenuBar();
    ASSERT_EQ(bar->GetMenuCount(), 4u);
    EXPECT_EQ(bar->GetMenuLabel(0), "&File");
    EXPECT_EQ(bar->GetMenuLabel(1), "&Edit");
    EXPECT_EQ(bar->GetMenuLabel(2), "&View");
    EXPECT_EQ(bar->GetMenuLabel(3), "&Help");

    // The File menu: each item's label, help and whether it is greyed (the exports are greyed
    // while no graph is open; the empty recent-file list shows a greyed placeholder).
    wxMenu* file = bar->GetMenu(0);
    frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    const struct {
        const char *label, *help;
        bool greyed;
    } items[] = {
        {"&Open...\tCtrl+O", "Open an existing document", false},
        {"Open &Folder...\tCtrl+Shift+O", "Open a folder: a web site on disk or any directory tree",
         false},
        {"Open &Web Site...\tCtrl+Shift+W",
         "Crawl a live web site from its address and show its graph", false},
        {"", "", false},
        {"Export &Picture...", nullptr, true},
        {"Export &Layout...", nullptr, true},
        {"", "", false},
        {"Recent File", nullptr, true},
        {"", "", false},
        {"E&xit", "Quit the application; prompts to save documents", false},
    };
    ASSERT_EQ(file->GetMenuItemCount(), std::size(items));
    for (size_t i = 0; i < std::size(items); ++i) {
        const wxMenuItem* item = file->FindItemByPosition(i);
        EXPECT_EQ(item->IsSeparator(), *items[i].label == 0) << i;
        if (item->IsSeparator()) continue;
        EXPECT_EQ(item->GetItemLabel(), items[i].label);
        if (items[i].help) {
            EXPECT_EQ(item->GetHelp(), items[i].help) << i;
        }
        if (items[i].greyed) {
            EXPECT_FALSE(item->IsEnabled()) << i;
        }
    }
    EXPECT_EQ(file->FindItemByPosition(4)->GetId(), CMainFrame::ID_EXPORT_PICTURE);
    EXPECT_EQ(file->FindItemByPosition(5)->GetId(), CMainFrame::ID_EXPORT_LAYOUT);

    // Files in the list: numbered entries in its place, most recent first, each naming its
    // folder (the home folder as ~), with the whole path as the help text. Three files of one
    // name read differently.
    const wxString em = wxString(" ") + wxUniChar(0x2014) + " ";
    const wxString home = wxFileName::GetHomeDir();
    const wxString deep = "/tmp/" + wxString('d', 70) + "/site.graph";
    manager->AddFileToHistory("/tmp/two & more.graph");
    manager->AddFileToHistory(deep);
    manager->AddFileToHistory(home + "/a/site.graph");
    manager->AddFileToHistory("/srv/b/site.graph");
    ASSERT_EQ(file->GetMenuItemCount(), 13u);
    const std::vector<std::pair<wxString, wxString>> entries = {
        {"&1 site.graph" + em + "/srv/b", "/srv/b/site.graph"},
        {"&2 site.graph" + em + "~/a", home + "/a/site.graph"},
        {"&3 site.graph" + em + "/tmp/" + wxString('d', 15) + wxUniChar(0x2026) + wxString('d', 39),
         deep},
        {"&4 two && more.graph" + em + "/tmp", "/tmp/two & more.graph"},
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        const wxMenuItem* entry = file->FindItemByPosition(7 + i);
        EXPECT_EQ(entry->GetItemLabel(), entries[i].first) << i;
        EXPECT_EQ(entry->GetHelp(), "Open " + entries[i].second) << i;
        EXPECT_TRUE(entry->IsEnabled());
    }
    // A folder (a site or a tree) is marked as one.
    const wxString folder =
        wxFileName::DirName(wxFileName::GetTempDir() + "/orvo-recent-folder").GetPath();
    ASSERT_TRUE(wxFileName::Mkdir(folder, 0700, wxPATH_MKDIR_FULL));
    manager->AddFileToHistory(folder);
    EXPECT_EQ(file->FindItemByPosition(7)->GetItemLabel(),
              "&1 orvo-recent-folder/" + em + wxFileName::GetTempDir());
    wxFileName::Rmdir(folder);
    // A crawled web site shows its whole address.
    manager->AddFileToHistory("https://www.example.org/");
    EXPECT_EQ(file->FindItemByPosition(7)->GetItemLabel(), "&1 https://www.example.org/");
    for (int i = 0; i < 6; ++i) manager->AddFileToHistory(wxString::Format("/tmp/f%d.graph", i));
    EXPECT_EQ(manager->GetFileHistory()->GetCount(), 4u) << "the list keeps four files";
    EXPECT_EQ(file->GetMenuItemCount(), 13u);
    EXPECT_EQ(file->FindItemByPosition(7)->GetHelp(), "Open /tmp/f5.graph");

    EXPECT_EQ(item(wxID_ABOUT)->GetItemLabel(), "&About orvo...");
    wxMenu* view = bar->GetMenu(2);
    ASSERT_GT(view->GetMenuItemCount(), 2u);
    wxMenuItem* toolbarItem = view->FindItemByPosition(0);
    wxMenuItem* statusItem = view->FindItemByPosition(1);
    EXPECT_EQ(toolbarItem->GetItemLabel(), "&Toolbar");
    EXPECT_EQ(toolbarItem->GetHelp(), "Show or hide the toolbar");
    EXPECT_EQ(statusItem->GetItemLabel(), "&Status Bar");
    EXPECT_EQ(statusItem->GetHelp(), "Show or hide the status bar");

    // The toggles hide and show the bars, with check marks that follow.
    EXPECT_TRUE(toolbarItem->IsChecked() && statusItem->IsChecked());
    for (const bool shown : {false, true}) {
        for (wxMenuItem* toggle : {toolbarItem, statusItem}) {
            wxCommandEvent event(wxEVT_MENU, toggle->GetId());
            frame->ProcessWindowEvent(event);
        }
        frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        EXPECT_EQ(frame->GetToolBar()->IsShown(), shown);
        EXPECT_EQ(frame->GetStatusBar()->IsShown(), shown);
        EXPECT_EQ(toolbarItem->IsChecked(), shown);
        EXPECT_EQ(statusItem->IsChecked(), shown);
    }
}

TEST_F(MainFrameTest, ToolbarHasItsButtonsAndTheSearchField) {
    wxToolBar* tools = frame->GetToolBar();
    ASSERT_NE(tools, nullptr);
    int buttons = 0, controls = 0;
    for (size_t i = 0; i < tools->GetToolsCount(); ++i) {
        const wxToolBarToolBase* tool = tools->GetToolByPos(static_cast<int>(i));
        if (tool->IsControl()) {
            ++controls;
        } else if (!tool->IsSeparator()) {
            ++buttons;
        }
    }
    EXPECT_EQ(buttons, 6) << "New, Open, Back, Forward, Open in Browser, About";
    EXPECT_EQ(controls, 1) << "the search field";
    EXPECT_EQ(tools->GetToolShortHelp(CMainFrame::ID_BACK), "Back (Alt+Left)");
    EXPECT_EQ(tools->GetToolShortHelp(CMainFrame::ID_FORWARD), "Forward (Alt+Right)");
    EXPECT_EQ(tools->GetToolShortHelp(CMainFrame::ID_OPEN_IN_BROWSER), "Open in Browser");
    // Without a graph there is nowhere to go back to and nothing to open.
    frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    EXPECT_FALSE(tools->GetToolEnabled(CMainFrame::ID_BACK));
    EXPECT_FALSE(tools->GetToolEnabled(CMainFrame::ID_FORWARD));
    EXPECT_FALSE(tools->GetToolEnabled(CMainFrame::ID_OPEN_IN_BROWSER));
    EXPECT_EQ(tools->GetToolShortHelp(wxID_NEW), "New");
    EXPECT_EQ(tools->GetToolShortHelp(wxID_OPEN), "Open");
    EXPECT_EQ(tools->GetToolLongHelp(wxID_OPEN), "Open an existing document");
    EXPECT_EQ(tools->GetToolShortHelp(wxID_ABOUT), "About");
    EXPECT_EQ(tools->FindById(wxID_SAVE), nullptr);
}

/// Puts Caps Lock back as it was, however the test that pressed it ends.
class CapsLockRestorer {
public:
    CapsLockRestorer() : was_(wxGetKeyState(WXK_CAPITAL)) {}
    ~CapsLockRestorer() {
        if (wxGetKeyState(WXK_CAPITAL) == was_) return;
        if (std::system("xdotool key Caps_Lock") == 0) {
            pumpUntil([&] { return wxGetKeyState(WXK_CAPITAL) == was_; });
        }
    }
    CapsLockRestorer(const CapsLockRestorer&) = delete;
    CapsLockRestorer& operator=(const CapsLockRestorer&) = delete;

private:
    bool was_;
};

TEST_F(MainFrameTest, StatusBarShowsReadyAndFollowsTheLockKeys) {
    wxStatusBar* status = frame->GetStatusBar();
    ASSERT_EQ(status->GetFieldsCount(), 4);
    EXPECT_EQ(status->GetStatusText(0), "Ready");
    frame->updateLockIndicators();
    const bool capsOn = status->GetStatusText(1) == "CAP";
    auto indicatorShows = [&](const char* text) {
        return pumpUntil([&] {
            frame->updateLockIndicators();
            return status->GetStatusText(1) == text;
        });
    };
    // Caps Lock pressed on the X server (through its test extension) flips the indicator.
    const CapsLockRestorer restore;
    ASSERT_EQ(std::system("xdotool key Caps_Lock"), 0);
    EXPECT_TRUE(indicatorShows(capsOn ? "" : "CAP"));
    ASSERT_EQ(std::system("xdotool key Caps_Lock"), 0);
    EXPECT_TRUE(indicatorShows(capsOn ? "CAP" : ""));
}

TEST_F(MainFrameTest, AboutBoxNamesTheVersionAndTheCommands) {
    CAboutDlg about(frame);
    EXPECT_EQ(about.GetTitle(), "About orvo");
    bool versionShown = false;
    for (wxWindow* child : about.GetChildren()) {
        if (auto* text = dynamic_cast<wxStaticText*>(child)) {
            versionShown |= text->GetLabel() == "Orvo Version 2.0";
        }
    }
    EXPECT_TRUE(versionShown);
    auto* ok = dynamic_cast<wxButton*>(about.FindWindow(wxID_OK));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->GetLabel(), "OK");
    auto* help = dynamic_cast<wxTextCtrl*>(about.FindWindow(1000));
    ASSERT_NE(help, nullptr);
    const wxString text = help->GetValue();
    for (const char* mention : {"left drag", "right drag", "  R ", "  f ", "  *  ", "  S "}) {
        EXPECT_NE(text.Find(mention), wxNOT_FOUND) << mention;
    }
    // The very list of Help > Keyboard Shortcuts (and of the README), from the one table.
    EXPECT_TRUE(text.StartsWith(wxString::FromUTF8(shortcutsText()))) << text;
}

TEST(OpenDialogs, StartInTheFolderOfTheGraphOnViewElseAtHome) {
    const wxString home = wxFileName::GetHomeDir();
    const wxString temp = wxFileName::GetTempDir();
    const wxString folder = temp + "/orvo-start-folder";
    ASSERT_TRUE(wxFileName::Mkdir(folder, 0700, wxPATH_MKDIR_FULL));
    const std::vector<std::pair<wxString, wxString>> cases = {
        {"", home},                                     // nothing on view
        {folder + "/site.graph", folder},               // a file: its folder
        {folder, temp},                                 // a folder: the one holding it
        {"https://www.example.org/docs/", home},        // a crawled site
        {temp + "/orvo-gone-folder/site.graph", home},  // a folder that is gone
    };
    for (const auto& [onView, start] : cases) EXPECT_EQ(dialogStartFolder(onView), start) << onView;
    wxFileName::Rmdir(folder);
}

/// The widest line of a text field's text, in its font.
int widestLine(wxTextCtrl& field) {
    int widest = 0;
    for (const wxString& line : wxSplit(field.GetValue(), '\n', '\0')) {
        widest = std::max(widest, field.GetTextExtent(line).x);
    }
    return widest;
}

TEST_F(MainFrameTest, TheShortcutListFitsItsDialogSideways) {
    ShortcutsDialog shortcuts(frame);
    CAboutDlg about(frame);
    auto* aboutText = dynamic_cast<wxTextCtrl*>(about.FindWindow(1000));
    ASSERT_NE(aboutText, nullptr);
    const std::vector<std::pair<wxDialog*, wxTextCtrl*>> dialogs = {{&shortcuts, &shortcuts.list()},
                                                                    {&about, aboutText}};
    for (const auto& [dialog, field] : dialogs) {
        EXPECT_NE(field->GetValue().Find("standard input"), wxNOT_FOUND);
        const int widest = widestLine(*field);
        EXPECT_GT(widest, dialog->FromDIP(640)) << "the list is wider than the old fixed width";
        EXPECT_GE(dialog->GetClientSize().x, widest) << dialog->GetTitle();
        // The field itself, less its side scroll bar, holds the longest line.
        EXPECT_GE(field->GetSize().x - wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, field), widest)
            << dialog->GetTitle();
        // Tall enough for a good part of the list, and never taller than the screen.
        EXPECT_GE(field->GetSize().y, 15 * field->GetCharHeight()) << dialog->GetTitle();
        EXPECT_LE(dialog->GetSize().y, wxSystemSettings::GetMetric(wxSYS_SCREEN_Y, dialog))
            << dialog->GetTitle();
    }
}

}  // namespace
}  // namespace orvo

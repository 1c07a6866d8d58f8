// The main frame in-process on a real X display: menu texts and status texts, the toolbar, the
// recent-file list, the View toggles, the lock-key indicators, the About box and the shortcut list.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/config.h>
#include <wx/filename.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/srchctrl.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/toolbar.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include "glue/glue.h"
#include "glue/key_table.h"
#include "glue/measure_legend.h"
#include "glue/status_text.h"
#include "graph/graph.h"
#include "graph/read_stats.h"
#include "shell/about_dialog.h"
#include "shell/gl_view_window.h"
#include "shell/import_dialog.h"
#include "shell/legend_panel.h"
#include "shell/links_panel.h"
#include "shell/main_frame.h"
#include "shell/orvo_doc.h"
#include "shell/shortcuts_dialog.h"
#include "tests/glue/golden.h"
#include "tests/shell/toolkit.h"
#include "tests/shell/x_screen.h"
#include "tests/test_files.h"

namespace orvo {
namespace {

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(startToolkit()) << "no X display";
        manager = new COrvoDocManager(glue);
        frame = new CMainFrame(manager, glue, "orvo");
        manager->setWindow(frame);
        ASSERT_TRUE(frame->createContents(GlChoice::Legacy));
        frame->Show();
        ASSERT_TRUE(pumpUntil([&] { return frame->IsShownOnScreen(); }));
    }
    void TearDown() override {
        destroyWindow(frame);  // nothing when SetUp made none
        delete manager;
    }
    wxMenu* file() { return frame->GetMenuBar()->GetMenu(0); }

    Glue glue;  // outlives the frame and the manager
    COrvoDocManager* manager = nullptr;
    CMainFrame* frame = nullptr;
};

/// A menu's items, one line each: label, help text, and whether it is greyed or checked; submenus
/// indented. The home folder reads as ~HOME.
std::string menuText(wxMenu& menu, const std::string& indent = "  ") {
    wxString text;
    for (const wxMenuItem* item : menu.GetMenuItems()) {
        text << indent
             << (item->IsSeparator() ? "----" : item->GetItemLabel() + " | " + item->GetHelp())
             << (item->IsEnabled() ? "" : " | greyed")
             << (item->IsCheckable() ? (item->IsChecked() ? " | checked" : " | unchecked") : "")
             << "\n";
        if (item->GetSubMenu()) text << menuText(*item->GetSubMenu(), indent + "  ");
    }
    text.Replace(wxFileName::GetHomeDir(), "~HOME");
    return text.utf8_string();
}

// The menus, the toolbar's tools, the recent-file list and the About box as the user reads them.
// (Open and New are greyed here: this document manager has no document template.)
TEST_F(MainFrameTest, MenusToolsAndRecentFilesAgainstTheirGoldenText) {
    frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    wxMenuBar* bar = frame->GetMenuBar();
    std::string text;
    for (size_t m = 0; m < bar->GetMenuCount(); ++m) {
        text += bar->GetMenuLabel(m).utf8_string() + "\n" + menuText(*bar->GetMenu(m));
    }
    wxToolBar* tools = frame->GetToolBar();
    for (size_t i = 0; i < tools->GetToolsCount(); ++i) {
        const wxToolBarToolBase* tool = tools->GetToolByPos(static_cast<int>(i));
        text += "tool " +
                (tool->IsSeparator() ? "----"
                 : tool->IsControl() ? "(search field)"
                                     : (tool->GetShortHelp() + " | " + tool->GetLongHelp() +
                                        (tool->IsEnabled() ? "" : " | greyed"))
                                           .utf8_string()) +
                "\n";
    }
    EXPECT_EQ(file()->FindItemByPosition(5)->GetId(), CMainFrame::ID_EXPORT_PICTURE);
    EXPECT_EQ(file()->FindItemByPosition(6)->GetId(), CMainFrame::ID_EXPORT_LAYOUT);
    EXPECT_EQ(tools->FindById(wxID_SAVE), nullptr);

    // Files in the list: numbered entries in its place, most recent first, each naming its
    // folder, with the whole path as the help text. Three files of one name read differently; a
    // folder (a site or a tree) is marked as one; a crawled web site shows its whole address; the
    // list keeps four.
    for (const std::string& path :
         {std::string("/tmp/two & more.graph"), "/tmp/" + std::string(70, 'd') + "/site.graph",
          std::string("~HOME/a/site.graph"), std::string("/srv/b/site.graph")}) {
        wxString added = wxString::FromUTF8(path);
        added.Replace("~HOME", wxFileName::GetHomeDir());
        manager->AddFileToHistory(added);
    }
    text += "recent files\n" + menuText(*file());
    const wxString folder = "/tmp/orvo-recent-folder";
    ASSERT_TRUE(wxFileName::Mkdir(folder, 0700, wxPATH_MKDIR_FULL));
    manager->AddFileToHistory("https://www.example.org/");
    manager->AddFileToHistory(folder);
    text += "an address and a folder\n" + menuText(*file());
    wxFileName::Rmdir(folder);
    for (int i = 0; i < 6; ++i) manager->AddFileToHistory(wxString::Format("/tmp/f%d.graph", i));
    text += "six more\n" + menuText(*file());
    // The About box: its title, texts and buttons.
    CAboutDlg about(frame);
    text += "about: " + about.GetTitle().utf8_string() + "\n";
    for (wxWindow* child : about.GetChildren()) {
        if (dynamic_cast<wxStaticText*>(child) != nullptr ||
            dynamic_cast<wxButton*>(child) != nullptr)
            text += "  " + child->GetLabel().utf8_string() + "\n";
    }
    expectGolden("main_frame_menus.txt", text);

    // The View menu's toggles hide and show the bars, with check marks that follow.
    wxMenuItem* toolbarItem = bar->GetMenu(2)->FindItemByPosition(0);
    wxMenuItem* statusItem = bar->GetMenu(2)->FindItemByPosition(1);
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

// File > Compare With... on the graph on view: the removed node hangs under its old parent, the
// legend panel counts the groups (the status bar gives the counts until the pointer moves), the
// view is coloured by them, and File > Export Report... reports what is on view.
TEST_F(MainFrameTest, CompareWithShowsWhatChangedAndTheReportFollowsTheView) {
    testing::TempDir dir;
    testing::writeWholeFile(dir / "old.graph", "0 r 0 html ok\n1 a 0 html ok\n2 gone 0 html ok\n");
    testing::writeWholeFile(dir / "new.graph", "0 r 0 html ok\n1 a 0 html ok\n1 b 0 html ok\n");
    std::string error;
    EXPECT_FALSE(frame->compareWith(dir.file("old.graph"), error));
    EXPECT_EQ(error, "no graph is open");
    ASSERT_EQ(glue.openGraphFile(dir.file("new.graph")), 1) << glue.openError();
    EXPECT_FALSE(frame->compareWith(dir.file("absent.graph"), error));
    ASSERT_TRUE(frame->compareWith(dir.file("old.graph"), error)) << error;
    wxStatusBar* status = frame->GetStatusBar();
    EXPECT_EQ(status->GetStatusText(0),
              "added 1 (green), removed 1 (red), changed 2 (yellow), unchanged 0 (grey-blue)");
    EXPECT_EQ(glue.viewer()->settings().groupColumn, 1);
    auto rows = [&] {
        std::string text;
        for (const LegendRow& r : frame->legendPanel().legend().rows)
            text += r.name + " " + std::to_string(r.nodes) + "; ";
        return text;
    };
    EXPECT_TRUE(frame->legendPanel().IsShown());
    EXPECT_EQ(rows(), "changed 2; added 1; removed 1; ");
    ASSERT_TRUE(frame->exportReportTo(dir.file("report.csv"), error)) << error;
    EXPECT_EQ(testing::readWholeFile(dir / "report.csv"),
              "id,groups,depth,links_in,links_out,status,subtree,score\n"
              "r,html,0,0,2,changed,4,0.1649824706\na,html,1,1,1,changed,2,0.2351000206\n"
              "gone,html,2,1,0,removed,1,0.3648174881\nb,html,1,1,0,added,1,0.2351000206\n");
    // The message field changes with what the pointer is on and the keys do; the legend stays
    // until another graph is on view, even after an open that failed.
    frame->refreshStatus();
    EXPECT_EQ(status->GetStatusText(0), glue.graphStatus());
    EXPECT_EQ(glue.openGraphFile(dir.file("absent.graph")), 0);
    frame->documentChanged();
    EXPECT_EQ(rows(), "changed 2; added 1; removed 1; ");
    ASSERT_EQ(glue.openGraphFile(dir.file("new.graph")), 1) << glue.openError();
    frame->documentChanged();
    EXPECT_EQ(rows(), "html 3; ");
}

// The legend beside the view names each colour with its node count; a real click on a group's
// row hides the group (its colour leaves the picture, its swatch empties) and a second shows it
// again; the key G (View > Legend) hides the panel and gives the view its room.
TEST_F(MainFrameTest, TheLegendNamesTheColoursAndAClickHidesAGroup) {
    testing::TempDir dir;
    std::string text = "0 r 0 alpha\n";
    for (int i = 0; i < 30; ++i) text += "1 a" + std::to_string(i) + " 0 alpha\n";
    for (int i = 0; i < 12; ++i) text += "1 b" + std::to_string(i) + " 0 beta\n";
    testing::writeWholeFile(dir / "groups.graph", text);
    ASSERT_EQ(glue.openGraphFile(dir.file("groups.graph")), 1) << glue.openError();
    frame->documentChanged();
    LegendPanel& panel = frame->legendPanel();
    ASSERT_TRUE(panel.IsShown());
    ASSERT_EQ(panel.legend().rows.size(), 2u);
    EXPECT_EQ(panel.legend().rows[1].name, "beta");
    EXPECT_EQ(panel.legend().rows[1].nodes, 12u);
    const float* c = glue.viewer()->graph()->groupColor(0, "beta");
    const std::array<uint8_t, 3> beta{static_cast<uint8_t>(c[0] * 255 + 0.5f),
                                      static_cast<uint8_t>(c[1] * 255 + 0.5f),
                                      static_cast<uint8_t>(c[2] * 255 + 0.5f)};
    auto betaPixels = [&] {
        frame->view().Refresh(false);
        pumpOnce();
        const wxRect r = frame->view().GetScreenRect();
        ScreenImage image;
        if (!captureScreen(r.x, r.y, r.width, r.height, image)) return -1L;
        return static_cast<long>(std::count(image.rgb.begin(), image.rgb.end(), beta));
    };
    ASSERT_TRUE(pumpUntil([&] { return betaPixels() > 20; })) << "beta's nodes are drawn";
    // A click `right` pixels right of the middle of a box of the panel (a second click on a row
    // elsewhere: a move --sync onto the pointer waits).
    auto clickIn = [&](const wxRect& r, int right = 0) {
        const wxPoint p =
            panel.ClientToScreen(r.GetPosition() + wxPoint(r.width / 2 + right, r.height / 2));
        return clickAt(p.x, p.y);
    };
    ASSERT_TRUE(clickIn(panel.rowRect(1)));
    ASSERT_TRUE(pumpUntil([&] { return panel.legend().rows[1].hidden; }));
    EXPECT_EQ(glue.viewer()->graph()->veiledGroups[0], std::vector<std::string>{"beta"});
    EXPECT_EQ(glue.keyStatus(), "Group beta hidden");
    EXPECT_TRUE(pumpUntil([&] { return betaPixels() == 0; })) << "beta's nodes are gone";
    // View > Hidden Groups names it, and shows it again.
    wxMenuBar* bar = frame->GetMenuBar();
    wxMenuItem* listed = bar->FindItem(CMainFrame::ID_HIDDEN_GROUP_FIRST + 1);
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(listed->GetItemLabelText(), "beta (file type or group)");
    ASSERT_TRUE(clickIn(panel.rowRect(1), 4));
    ASSERT_TRUE(pumpUntil([&] { return !panel.legend().rows[1].hidden; }));
    EXPECT_TRUE(pumpUntil([&] { return betaPixels() > 20; })) << "beta's nodes are back";
    ASSERT_NE(bar->FindItem(CMainFrame::ID_HIDDEN_GROUP_FIRST), nullptr);
    EXPECT_EQ(bar->FindItem(CMainFrame::ID_HIDDEN_GROUP_FIRST)->GetItemLabelText(),
              "No group hidden");

    // The arrow beside beta's count flies to its first node, then its second, and says so.
    ASSERT_TRUE(clickIn(panel.arrowRect(1)));
    ASSERT_TRUE(pumpUntil([&] { return glue.lastSelectedId() == "b0"; }));
    EXPECT_EQ(glue.keyStatus(), "Flying to b0");
    EXPECT_EQ(frame->GetStatusBar()->GetStatusText(0), "Flying to b0");
    ASSERT_TRUE(clickIn(panel.arrowRect(1)));
    ASSERT_TRUE(pumpUntil([&] { return glue.lastSelectedId() == "b1"; }));

    const int viewWidth = frame->view().GetSize().x;
    wxCommandEvent legendItem(wxEVT_MENU, CMainFrame::ID_KEY_FIRST + 'G');
    frame->ProcessWindowEvent(legendItem);
    EXPECT_FALSE(panel.IsShown());
    EXPECT_GT(frame->view().GetSize().x, viewWidth);
    frame->ProcessWindowEvent(legendItem);
    EXPECT_TRUE(panel.IsShown());
}

TEST_F(MainFrameTest, StatusBarShowsReadyAndFollowsTheLockKeys) {
    wxStatusBar* status = frame->GetStatusBar();
    ASSERT_EQ(status->GetFieldsCount(), 4);  // the message, three locks
    EXPECT_EQ(status->GetStatusText(0), "Ready");
    frame->updateLockIndicators();
    const bool capsOn = status->GetStatusText(1) == "CAP";
    auto indicatorShows = [&](const char* text) {
        return pumpUntil([&] {
            frame->updateLockIndicators();
            return status->GetStatusText(1) == text;
        });
    };
    // Caps Lock pressed on the X server (through its test extension) flips the indicator; pressed
    // again whatever happened, it is left as it was.
    EXPECT_EQ(std::system("xdotool key Caps_Lock"), 0);
    EXPECT_TRUE(indicatorShows(capsOn ? "" : "CAP"));
    EXPECT_EQ(std::system("xdotool key Caps_Lock"), 0);
    EXPECT_TRUE(indicatorShows(capsOn ? "CAP" : ""));
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

// The About box lists the commands (its texts are in the menus' golden text); it and Help >
// Keyboard Shortcuts show the very list of the manual (which the key table test holds to it), from
// the one table, and fit it; the shortcut list also fits over the default window.
TEST_F(MainFrameTest, TheAboutBoxAndTheShortcutListShowTheCommandsWhole) {
    ShortcutsDialog shortcuts(frame);
    CAboutDlg about(frame);
    auto* aboutText = dynamic_cast<wxTextCtrl*>(about.FindWindow(1000));
    ASSERT_NE(aboutText, nullptr);
    const std::vector<std::pair<wxDialog*, wxTextCtrl*>> dialogs = {{&shortcuts, &shortcuts.list()},
                                                                    {&about, aboutText}};
    for (const auto& [dialog, field] : dialogs) {
        EXPECT_TRUE(field->GetValue().StartsWith(wxString::FromUTF8(shortcutsText())))
            << dialog->GetTitle();
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
    // The shortcut list fits over the default 800 x 600 window (the rest scrolls) and says what
    // the colours mean.
    EXPECT_LE(shortcuts.GetSize().x, shortcuts.FromDIP(800));
    EXPECT_LE(shortcuts.GetSize().y, shortcuts.FromDIP(600));
    EXPECT_TRUE(shortcuts.list().GetValue().Contains("\nColours"));
}

/// Opens the file as File > Open does; while the import dialog is up, `answer` looks at it and
/// returns the shell line (xdotool) that answers it. Whether the dialog came up.
bool openAnswering(COrvoDocManager& manager, const std::string& path,
                   const std::function<std::string(ImportDialog&)>& answer) {
    bool shown = false;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        for (wxWindow* window : wxTopLevelWindows) {
            auto* dialog = dynamic_cast<ImportDialog*>(window);
            if (dialog == nullptr || !dialog->IsShownOnScreen() || shown) continue;
            shown = true;
            // In the background: the dialog's own loop takes the events.
            EXPECT_EQ(std::system(("(" + answer(*dialog) + ") &").c_str()), 0);
        }
    });
    timer.Start(100);
    manager.CreateDocument(wxString::FromUTF8(path), wxDOC_SILENT);
    return shown;
}

/// xdotool's words for a click on the middle of the control.
std::string clickOn(wxWindow& control) {
    const wxRect r = control.GetScreenRect();
    return " mousemove --sync " + std::to_string(r.x + r.width / 2) + " " +
           std::to_string(r.y + r.height / 2) + " click 1 sleep 0.3";
}

// The import dialog answered with real clicks and keys.
TEST_F(MainFrameTest, ImportChoicesReachTheGraphCancelKeepsItAndAskingCanStop) {
    testing::TempDir dir;  // the configuration's folder and the files opened
    const auto configHome = ownConfigHome(dir.path());
    const auto groupsOf = [this](const char* id) {
        const Node* n = glue.graphLoaded() ? glue.viewer()->graph()->findNode(id) : nullptr;
        return n ? nodeGroupsText(*glue.viewer()->graph(), *n) : "(none)";
    };
    // Left to itself, the import groups by the third column, as the group list says.
    const std::string edges = dir.file("edges.csv"), other = dir.file("other.csv");
    testing::writeWholeFile(edges, "from,to,weight,section\nhome,a,1,docs\nhome,b,2,blog\n");
    testing::writeWholeFile(other, "x,y\ny,z\n");

    // The defaults, with what auto decided and the file's first lines; the group typed in.
    EXPECT_TRUE(openAnswering(*manager, edges, [](ImportDialog& d) {
        EXPECT_EQ(d.formatChoice().GetStringSelection() + "|" +
                      d.headerChoice().GetStringSelection() + "|" + d.groupBox().GetValue() + "|" +
                      d.rootField().GetValue() + "|" +
                      d.directionChoice().GetStringSelection().Left(5),
                  "Edge list (CSV, TSV) (detected)|Auto: the first line names the "
                  "columns|Automatic (weight)||Auto:");
        EXPECT_TRUE(d.preview().GetValue().StartsWith("from,to,weight,section\nhome,a,1,docs\n"));
        return "xdotool" + clickOn(d.groupBox()) + " key ctrl+a type section; xdotool key Return";
    }));
    EXPECT_EQ(groupsOf("home"), "docs");
    EXPECT_TRUE(openAnswering(*manager, other, [](ImportDialog&) { return "xdotool key Escape"; }));
    EXPECT_EQ(groupsOf("home"), "docs");  // Cancel opened nothing
    // Opened again, the dialog starts from the choices kept; with "Do not ask again" ticked the
    // next file opens at once.
    EXPECT_TRUE(openAnswering(*manager, edges, [](ImportDialog& d) {
        EXPECT_EQ(d.groupBox().GetValue(), "section");
        return "xdotool" + clickOn(d.doNotAskBox()) + clickOn(*d.FindWindow(wxID_OK));
    }));
    EXPECT_FALSE(
        openAnswering(*manager, other, [](ImportDialog&) { return "xdotool key Escape"; }));
    EXPECT_EQ(groupsOf("y"), "no group");
}

// After an open the measures come from their thread and the status bar says so; View > Colour
// By colours by one with its ramp in the legend (real pixels); the Links panel lists the
// selected node's links, sorts and filters them, and a real click on a row flies there and
// lists the links of the node reached.
TEST_F(MainFrameTest, MeasuresColourTheViewAndTheLinksPanelListsAndFlies) {
    const std::string site = std::string(ORVO_SOURCE_DIR) + "/examples/site.graph";
    ASSERT_EQ(glue.openGraphFile(site), 1) << glue.openError();
    frame->documentChanged();
    wxStatusBar* status = frame->GetStatusBar();
    ASSERT_TRUE(pumpUntil([&] { return !glue.measures().empty(); }));
    EXPECT_TRUE(pumpUntil([&] {
        return status->GetStatusText(0) ==
               "Measures ready: depth, links in and out, subtree size, link score";
    })) << status->GetStatusText(0);

    // Colour By > Link score: the legend shows the ramp, its ends and the colours on screen.
    wxCommandEvent score(wxEVT_MENU,
                         CMainFrame::ID_COLOUR_BY_FIRST + 1 + static_cast<int>(Measure::Score));
    frame->ProcessWindowEvent(score);
    ASSERT_TRUE(glue.colouredByMeasure());
    LegendPanel& legend = frame->legendPanel();
    ASSERT_TRUE(legend.IsShown());
    EXPECT_EQ(legend.measureLegend().title, "Link score (log scale)");
    EXPECT_EQ(status->GetStatusText(0), "Coloured by Link score (log scale)");
    const MeasureLegend shown = legend.measureLegend();
    auto rampMatches = [&] {
        legend.Refresh();
        pumpOnce();
        const wxRect ramp(legend.ClientToScreen(legend.rampRect().GetPosition()),
                          legend.rampRect().GetSize());
        ScreenImage image;
        if (!captureScreen(ramp.x, ramp.y, ramp.width, ramp.height, image)) return false;
        // The first and last bands, in their middles, are the ramp's ends.
        for (const auto& [x, colour] :
             {std::pair(2, shown.ramp.front()), std::pair(ramp.width - 3, shown.ramp.back())}) {
            const auto& p = image.at(x, ramp.height / 2);
            for (size_t c = 0; c < 3; ++c)
                if (std::abs(p[c] - colour[c] * 255.0f) > 3.0f) return false;
        }
        return true;
    };
    EXPECT_TRUE(pumpUntil(rampMatches));
    wxCommandEvent groups(wxEVT_MENU, CMainFrame::ID_COLOUR_BY_FIRST);
    frame->ProcessWindowEvent(groups);
    EXPECT_FALSE(glue.colouredByMeasure());
    EXPECT_TRUE(legend.measureLegend().title.empty());

    // View > Links Panel widens the window by the panel, leaving the view its width; the top
    // node selected lists its links.
    const int viewWidth = frame->view().GetSize().x, frameWidth = frame->GetSize().x;
    wxCommandEvent panelItem(wxEVT_MENU, CMainFrame::ID_VIEW_LINKS_PANEL);
    frame->ProcessWindowEvent(panelItem);
    LinksPanel& panel = frame->linksPanel();
    ASSERT_TRUE(panel.IsShown());
    EXPECT_TRUE(pumpUntil([&] { return frame->GetSize().x > frameWidth; })) << frameWidth;
    EXPECT_EQ(frame->view().GetSize().x, viewWidth);
    const Graph& g = *glue.viewer()->graph();
    const Node& top = *g.nodes[static_cast<size_t>(glue.viewer()->settings().topNodeIndex)];
    ASSERT_EQ(glue.travelTo(std::string(top.id)), 1);
    frame->refreshLinks();
    const NodeMeasures& m = glue.measures();
    const auto t = static_cast<size_t>(top.index);
    wxListCtrl& list = panel.listView();
    ASSERT_EQ(list.GetItemCount(), m.linksIn[t] + m.linksOut[t]);
    EXPECT_EQ(panel.summaryText(), wxString::FromUTF8(groupedNumber(m.linksIn[t]) + " in, " +
                                                      groupedNumber(m.linksOut[t]) + " out"));
    // A click on the score column's header: highest first.
    wxListEvent sort(wxEVT_LIST_COL_CLICK, list.GetId());
    sort.SetEventObject(&list);
    sort.m_col = LinksPanel::viewColumn(LinksColumn::Score);
    list.GetEventHandler()->ProcessEvent(sort);
    const LinksList& rows = panel.links();
    ASSERT_GT(rows.size(), 2u);
    EXPECT_GE(m.score[static_cast<size_t>(rows.row(0).node)],
              m.score[static_cast<size_t>(rows.row(rows.size() - 1).node)]);
    // The name as the status bar gives it, its middle left out where the column is too narrow.
    const wxString name = list.GetItemText(0, LinksPanel::viewColumn(LinksColumn::Name));
    const wxString whole = wxString::FromUTF8(rows.cellText(0, LinksColumn::Name));
    if (name != whole) {
        ASSERT_TRUE(name.Contains(wxString::FromUTF8("\u2026")) || name.Contains("..."))
            << name;
        EXPECT_TRUE(whole.StartsWith(name.Left(8)) && whole.EndsWith(name.Right(6))) << name;
    }
    EXPECT_EQ(list.GetItemText(0, LinksPanel::viewColumn(LinksColumn::Score)),
              wxString::FromUTF8(rows.cellText(0, LinksColumn::Score)));
    // The filter box keeps the rows that hold its text.
    const std::string second(rows.rowNode(1).id);
    panel.filterField().SetValue(wxString::FromUTF8(second));
    EXPECT_EQ(list.GetItemCount(), static_cast<int>(rows.size()));
    EXPECT_LT(rows.size(), rows.total());
    ASSERT_GE(rows.size(), 1u);
    EXPECT_NE(std::string(rows.rowNode(0).id).find(second), std::string::npos);

    // A real click on the first row flies to its node, whose links are listed then.
    const std::string target(rows.rowNode(0).id);
    const int32_t targetIndex = rows.row(0).node;
    frame->Raise();
    // The window grew when the panel showed: under load the server may still be moving it, so
    // the row is clicked where three looks a moment apart agree it is.
    wxPoint p;
    int sameLooks = 0;
    EXPECT_TRUE(pumpUntil([&] {
        wxRect item;
        if (!list.GetItemRect(0, item)) return false;
        const wxPoint at =
            list.ClientToScreen(wxPoint(item.x + item.width / 4, item.y + item.height / 2));
        sameLooks = at == p ? sameLooks + 1 : 0;
        p = at;
        ::usleep(100000);
        return sameLooks >= 2;
    }));
    ASSERT_TRUE(clickAt(p.x, p.y));
    ASSERT_TRUE(pumpUntil([&] { return glue.lastSelectedId() == target; }))
        << glue.lastSelectedId();
    EXPECT_TRUE(pumpUntil([&] { return panel.links().listedNode() == targetIndex; }));
    EXPECT_EQ(status->GetStatusText(0).utf8_string(),
              flyingToText(g, *g.nodes[static_cast<size_t>(targetIndex)]));

    // Hidden again, the panel gives its width back.
    frame->ProcessWindowEvent(panelItem);
    EXPECT_TRUE(pumpUntil([&] { return frame->GetSize().x == frameWidth; })) << frameWidth;
    frame->ProcessWindowEvent(panelItem);
    ASSERT_TRUE(panel.IsShown());

    // Another graph on view: the rows of the old one go at once.
    ASSERT_EQ(glue.openGraphFile(std::string(ORVO_TEST_DATA) + "/viewer_groups.graph"), 1);
    frame->documentChanged();
    EXPECT_EQ(panel.links().listedNode(), -1);
    EXPECT_EQ(list.GetItemCount(), 0);
}

}  // namespace
}  // namespace orvo

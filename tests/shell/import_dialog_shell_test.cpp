// The import dialog in the main window on a real X display, answered with real clicks and keys
// (xdotool): its defaults, a group chosen reaching the graph, Cancel, the choices remembered and
// "Do not ask again".
#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/config.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <cstdlib>
#include <functional>

#include "glue/glue.h"
#include "glue/status_text.h"
#include "graph/graph.h"
#include "shell/import_dialog.h"
#include "shell/import_settings.h"
#include "shell/main_frame.h"
#include "shell/orvo_doc.h"
#include "tests/shell/toolkit.h"
#include "tests/test_files.h"

namespace orvo {
namespace {

/// The centre of a control on the screen.
std::string screenPoint(wxWindow& control) {
    const wxRect r = control.GetScreenRect();
    return std::to_string(r.x + r.width / 2) + " " + std::to_string(r.y + r.height / 2);
}

class ImportDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(startToolkit()) << "no X display";
        if (const char* was = std::getenv("XDG_CONFIG_HOME")) configHomeWas = was;
        ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
        manager = new COrvoDocManager(glue);
        new wxDocTemplate(manager, "Orvo", "*", "", "", "Orvo Document", "Orvo View",
                          CLASSINFO(COrvoDoc), CLASSINFO(COrvoView));
        frame = new CMainFrame(manager, glue, "orvo");
        manager->setWindow(frame);
        ASSERT_TRUE(frame->createContents());
        frame->Show();
        ASSERT_TRUE(pumpUntil([&] { return frame->IsShownOnScreen(); }));
    }
    void TearDown() override {
        destroyWindow(frame);
        delete manager;
        delete wxConfigBase::Set(nullptr);
        if (configHomeWas.empty()) {
            ::unsetenv("XDG_CONFIG_HOME");
        } else {
            ::setenv("XDG_CONFIG_HOME", configHomeWas.c_str(), 1);
        }
    }
    /// Opens the file as File > Open does; while the import dialog is up, `answer` looks at it
    /// and returns the xdotool commands (a shell line) that answer it. Whether the dialog came up.
    bool open(const std::string& path, const std::function<std::string(ImportDialog&)>& answer) {
        bool shown = false;
        wxTimer timer;
        timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            for (wxWindow* window : wxTopLevelWindows) {
                auto* dialog = dynamic_cast<ImportDialog*>(window);
                if (dialog == nullptr || !dialog->IsShownOnScreen() || shown) continue;
                shown = true;
                // In the background: the dialog's loop has to run to take the events.
                std::system(("(" + answer(*dialog) + ") &").c_str());
            }
        });
        timer.Start(100);
        manager->CreateDocument(wxString::FromUTF8(path), wxDOC_SILENT);
        return shown;
    }
    std::string groupsOf(const char* id) {
        const Graph* graph = glue.viewer() ? glue.viewer()->graph() : nullptr;
        const Node* node = graph ? graph->findNode(id) : nullptr;
        return node ? nodeGroupsText(*graph, *node) : "(no node " + std::string(id) + ")";
    }

    testing::TempDir dir;  // the configuration's folder and the files opened
    std::string configHomeWas;
    Glue glue;  // outlives the frame and the manager
    COrvoDocManager* manager = nullptr;
    CMainFrame* frame = nullptr;
};

TEST_F(ImportDialogTest, AGroupChosenReachesTheGraphCancelKeepsItAndAskingCanStop) {
    // The third column holds one value, so that no group is found without asking.
    const std::string edges = dir.file("edges.csv"), other = dir.file("other.csv");
    testing::writeWholeFile(edges, "from,to,weight,section\nhome,a,1,docs\nhome,b,1,blog\n");
    testing::writeWholeFile(other, "x,y\ny,z\n");

    // The defaults, with what auto decided and the file's first lines; the group typed.
    EXPECT_TRUE(open(edges, [](ImportDialog& d) {
        EXPECT_EQ(d.formatChoice().GetStringSelection(), "Edge list (CSV, TSV) (detected)");
        EXPECT_EQ(d.headerChoice().GetStringSelection(), "Auto: the first line names the columns");
        EXPECT_EQ(d.groupBox().GetValue(), "Automatic");
        EXPECT_EQ(d.groupBox().GetCount(), 4u);  // none, automatic, weight, section
        EXPECT_EQ(d.rootField().GetValue(), "");
        EXPECT_EQ(d.directionChoice().GetSelection(), 0);
        EXPECT_TRUE(d.preview().GetValue().StartsWith("from,to,weight,section\nhome,a,1,docs\n"));
        EXPECT_TRUE(d.askAgain());
        return "xdotool mousemove --sync " + screenPoint(d.groupBox()) +
               " click 1 sleep 0.3 key ctrl+a type section; sleep 0.3; xdotool key Return";
    }));
    EXPECT_EQ(groupsOf("home"), "docs");

    // Cancel opens nothing.
    EXPECT_TRUE(open(other, [](ImportDialog&) { return std::string("xdotool key Escape"); }));
    EXPECT_EQ(groupsOf("home"), "docs");

    // Opened again, the dialog starts from the choices kept; "Do not ask again" ticked, the next
    // file opens at once.
    EXPECT_TRUE(open(edges, [](ImportDialog& d) {
        EXPECT_EQ(d.groupBox().GetValue(), "section");
        return "xdotool mousemove --sync " + screenPoint(d.doNotAskBox()) +
               " click 1 sleep 0.3 mousemove " + screenPoint(*d.FindWindow(wxID_OK)) + " click 1";
    }));
    EXPECT_FALSE(open(other, [](ImportDialog&) { return std::string("xdotool key Escape"); }));
    EXPECT_NE(groupsOf("y"), "(no node y)");
    wxConfigBase& config = *wxConfigBase::Get();
    EXPECT_FALSE(askHowToImport(config));
    ASSERT_TRUE(rememberedImport(config, edges).has_value());
    EXPECT_EQ(rememberedImport(config, edges)->options.group, "4");
    EXPECT_EQ(rememberedImport(config, other)->options.group, "");
}

}  // namespace
}  // namespace orvo

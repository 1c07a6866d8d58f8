// The application object: start-up, the idle hook that drives progressive refinement, and the
// file named on the command line.
#pragma once

#include <wx/app.h>

#include <memory>
#include <string>

#include "glue/glue.h"

class COrvoDocManager;
class CMainFrame;
class wxConfigBase;

class COrvoApp : public wxApp {
public:
    /// The graph file named on the command line (empty: start with an untitled document).
    void setStartFile(const std::string& path) { startFile_ = path; }
    /// The drawing path the command line asked for.
    void setGlChoice(orvo::GlChoice choice) { glChoice_ = choice; }

    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;

private:
    void onIdle(wxIdleEvent& event);
    void openStartFile();

    std::string startFile_;
    orvo::GlChoice glChoice_ = orvo::GlChoice::Auto;
    // The window's glue; the frame and the manager refer to it, and it outlives both.
    std::unique_ptr<orvo::Glue> glue_;
    COrvoDocManager* manager_ = nullptr;  // deleted in OnExit
    CMainFrame* frame_ = nullptr;
    int exitStatus_ = 0;  // what the main loop returned
};

wxDECLARE_APP(COrvoApp);

// Start-up of the desktop application and its idle hook.
#include "shell/orvo_app.h"

#include <wx/fileconf.h>
#include <wx/filehistory.h>

#include <cstdlib>

#include "glue/glue.h"
#include "import/import_converter.h"
#include "memory/program_end.h"
#include "shell/gl_view_window.h"
#include "shell/main_frame.h"
#include "shell/orvo_doc.h"
#include "shell/recent_files.h"

wxIMPLEMENT_APP_NO_MAIN(COrvoApp);

bool COrvoApp::OnInit() {
    SetAppName("orvo");
    SetAppDisplayName("orvo");

    auto* config = new wxFileConfig("orvo", wxEmptyString, orvo::userConfigPath(), wxEmptyString,
                                    wxCONFIG_USE_LOCAL_FILE);
    wxConfigBase::Set(config);

    // Sites, directories, sitemaps, edge lists, DOT and GraphML open as graph files do.
    glue_ = std::make_unique<orvo::Glue>(orvo::importConverter());
    // The maps of the outlines opened are kept in the user's cache folder, at most LimitMiB of
    // them, unless [MapCache] Keep=0. Each is written on a thread of its own once the first
    // picture is drawn.
    const std::string cacheFolder =
        orvo::MapCache::defaultFolder(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
    const long cacheMiB = config->ReadLong("/MapCache/LimitMiB",
                                           long(orvo::MapCache::kDefaultLimitBytes >> 20));
    if (config->ReadBool("/MapCache/Keep", true) && !cacheFolder.empty() && cacheMiB > 0) {
        glue_->setMapCache(
            std::make_unique<orvo::MapCache>(cacheFolder, uint64_t(cacheMiB) << 20));
    }

    manager_ = new COrvoDocManager(*glue_);
    new wxDocTemplate(manager_, "Orvo", "*", wxEmptyString, wxEmptyString, "Orvo Document",
                      "Orvo View", CLASSINFO(COrvoDoc), CLASSINFO(COrvoView));
    orvo::loadRecentFiles(*manager_->GetFileHistory(), *config);

    frame_ = new CMainFrame(manager_, *glue_, "orvo");
    manager_->setWindow(frame_);
    if (!frame_->createContents(glChoice_)) {
        frame_->Destroy();
        return false;
    }
    SetTopWindow(frame_);
    frame_->Show(true);
    frame_->view().SetFocus();

    Bind(wxEVT_IDLE, &COrvoApp::onIdle, this);
    // The GL window exists on screen only once the frame is shown, so the file is opened then.
    CallAfter([this] { openStartFile(); });
    return true;
}

void COrvoApp::openStartFile() {
    if (!startFile_.empty() &&
        manager_->CreateDocument(wxString(startFile_.c_str(), *wxConvFileName), wxDOC_SILENT)) {
        return;
    }
    manager_->CreateNewDocument();
}

// Idle time refines the picture one time slice per call while the renderer asks for more;
// when it stops asking, the application waits for the next event and uses no CPU.
void COrvoApp::onIdle(wxIdleEvent& event) {
    event.Skip();
    if (frame_ != nullptr) frame_->updateLockIndicators();
    if (glue_ && glue_->idleViewer() != 0) event.RequestMore();
}

int COrvoApp::OnRun() {
    exitStatus_ = wxApp::OnRun();
    return exitStatus_;
}

// What the user would lose is written here (the configuration: settings and recent files); then
// the process ends at once, without taking the graph, the toolkit and the GL context apart, which
// takes seconds with ten million nodes.
int COrvoApp::OnExit() {
    delete manager_;
    manager_ = nullptr;
    delete wxConfigBase::Set(nullptr);
    wxApp::OnExit();
    return orvo::endProgram(exitStatus_);
}

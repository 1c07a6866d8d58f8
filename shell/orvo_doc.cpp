// The document, the view and the document manager of the single-document template.
#include "shell/orvo_doc.h"

#include <wx/app.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/filehistory.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include <string>

#include "glue/glue.h"
#include "shell/gl_view_window.h"
#include "shell/load_progress.h"
#include "shell/main_frame.h"
#include "shell/recent_files.h"

wxIMPLEMENT_DYNAMIC_CLASS(COrvoDoc, wxDocument);
wxIMPLEMENT_DYNAMIC_CLASS(COrvoView, wxView);

namespace {

// What the Open dialog offers: every file first (a graph file may have any name), then the
// graph files and the inputs the viewer imports on opening.
const char* const kOpenWildcard =
    "All Files (*.*)|*"
    "|Graph files (*.graph)|*.graph"
    "|Edge lists (*.csv;*.tsv)|*.csv;*.tsv"
    "|DOT graphs (*.dot;*.gv)|*.dot;*.gv"
    "|GraphML files (*.graphml)|*.graphml"
    "|Sitemaps (*.xml)|*.xml";

// An input as the title and the recent-file list keep it: absolute, so that it opens again
// from anywhere, and a directory without a trailing separator, so that it has a name. URLs
// stay as they are.
wxString normalisedInput(const wxString& input) {
    if (input.empty() || input.Contains("://")) return input;
    if (wxFileName::DirExists(input)) {
        wxFileName dir = wxFileName::DirName(input);
        dir.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE | wxPATH_NORM_TILDE);
        const wxString path = dir.GetPath();
        return path.empty() ? wxString("/") : path;
    }
    wxFileName file(input);
    file.MakeAbsolute();
    return file.GetFullPath();
}

}  // namespace

// The file was read into the viewer before the document was created (see the manager); the
// document only records its name. It reads and writes nothing itself.
bool COrvoDoc::OnOpenDocument(const wxString& path) {
    SetFilename(path, true);
    Modify(false);
    UpdateAllViews();
    return true;
}

// A new document changes only the title: the viewer keeps the graph on view.
bool COrvoDoc::OnNewDocument() { return wxDocument::OnNewDocument(); }

bool COrvoView::OnCreate(wxDocument* doc, long flags) {
    if (!wxView::OnCreate(doc, flags)) return false;
    SetFrame(wxTheApp->GetTopWindow());  // the one main frame, which holds the GL window
    Activate(true);
    return true;
}

void COrvoView::OnDraw(wxDC* /*dc*/) {}  // the GL window paints itself through the glue

void COrvoView::OnUpdate(wxView* /*sender*/, wxObject* /*hint*/) {
    if (auto* frame = dynamic_cast<CMainFrame*>(GetFrame())) {
        frame->view().Refresh(false);
        frame->refreshStatus();
    }
}

void COrvoView::OnChangeFilename() {
    wxWindow* frame = GetFrame();
    wxDocument* doc = GetDocument();
    if (frame == nullptr || doc == nullptr) return;
    frame->SetLabel(doc->GetDocumentManager()->MakeFrameTitle(doc));
}

// The GL window belongs to the frame and outlives every document.
bool COrvoView::OnClose(bool /*deleteWindow*/) {
    SetFrame(nullptr);
    return true;
}

COrvoDocManager::COrvoDocManager() {
    SetMaxDocsOpen(1);
    // The base constructor made its own (longer) list before this class existed.
    delete m_fileHistory;
    m_fileHistory = OnCreateFileHistory();
    // Ahead of the framework's own handler, which would drop every entry that is not a plain
    // file (a folder, say) from the list.
    Bind(wxEVT_MENU, &COrvoDocManager::onRecentFile, this, wxID_FILE1,
         wxID_FILE1 + orvo::kRecentFileCount - 1);
}

wxFileHistory* COrvoDocManager::OnCreateFileHistory() {
    return new wxFileHistory(orvo::kRecentFileCount);
}

// The dialog starts in the folder of the graph on view.
wxString COrvoDocManager::askForGraphFile() {
    wxString folder;
    if (wxDocument* doc = GetCurrentDocument(); doc != nullptr && !doc->GetFilename().empty()) {
        folder = wxFileName(doc->GetFilename()).GetPath();
    }
    wxFileDialog dialog(mainFrame_, "Open", folder, wxEmptyString, kOpenWildcard,
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    return dialog.ShowModal() == wxID_OK ? dialog.GetPath() : wxString();
}

void COrvoDocManager::openFolder() {
    wxDirDialog dialog(mainFrame_, "Open Folder", wxEmptyString,
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() == wxID_OK) CreateDocument(dialog.GetPath(), wxDOC_SILENT);
}

void COrvoDocManager::onRecentFile(wxCommandEvent& event) {
    const size_t n = static_cast<size_t>(event.GetId() - wxID_FILE1);
    if (n >= GetHistoryFilesCount()) return;
    const wxString path = GetHistoryFile(n);
    // An input that is gone is dropped from the list once its message was shown.
    if (!CreateDocument(path, wxDOC_SILENT) && !path.Contains("://") &&
        !wxFileName::Exists(path)) {
        RemoveFileFromHistory(n);
    }
}

// One progress box covers the whole load; Cancel, like any failure, leaves the graph on view.
// A cancelled load needs no message.
bool COrvoDocManager::readGraphFile(const wxString& path) {
    orvo::Glue& glue = orvo::theGlue();
    orvo::LoadProgress progress(mainFrame_, wxFileName(path).GetFullName());
    glue.loadProgress = [&progress](orvo::LoadStage stage, uint64_t done, uint64_t total) {
        progress.update(stage, done, total);
    };
    glue.loadCancel = &progress.cancelled();
    glue.confirmDoubtfulFile = [this, &progress](const std::string& question) {
        progress.finish();
        return wxMessageBox(wxString::FromUTF8(question), "orvo",
                            wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION, mainFrame_) == wxYES;
    };
    const int opened = glue.openGraphFile(std::string(path.fn_str()));
    glue.loadProgress = nullptr;
    glue.loadCancel = nullptr;
    glue.confirmDoubtfulFile = nullptr;
    if (!opened) {
        // No message when the user cancelled, or chose not to open a doubtful file.
        if (!glue.openCancelled() && !glue.openError().empty()) {
            wxMessageBox(wxString::FromUTF8(glue.openError()), "orvo", wxOK | wxICON_ERROR,
                         mainFrame_);
        }
        return false;
    }
    return true;
}

wxDocument* COrvoDocManager::CreateDocument(const wxString& pathIn, long flags) {
    if (flags & wxDOC_NEW) return wxDocManager::CreateDocument(pathIn, flags);
    wxString path = pathIn;
    if (path.empty()) path = askForGraphFile();
    path = normalisedInput(path);
    if (path.empty() || !readGraphFile(path)) return nullptr;
    return wxDocManager::CreateDocument(path, flags | wxDOC_SILENT);
}

void COrvoDocManager::AddFileToHistory(const wxString& file) {
    wxDocManager::AddFileToHistory(file);
    recentFilesChanged();
}

void COrvoDocManager::RemoveFileFromHistory(size_t i) {
    wxDocManager::RemoveFileFromHistory(i);
    recentFilesChanged();
}

void COrvoDocManager::recentFilesChanged() {
    if (mainFrame_ != nullptr) mainFrame_->recentFilesChanged();
}

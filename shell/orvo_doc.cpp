// The document, the view and the document manager of the single-document template.
#include "shell/orvo_doc.h"

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/filehistory.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include <string>

#include "glue/glue.h"
#include "shell/gl_view_window.h"
#include "shell/load_progress.h"
#include "shell/main_frame.h"

wxIMPLEMENT_DYNAMIC_CLASS(COrvoDoc, wxDocument);
wxIMPLEMENT_DYNAMIC_CLASS(COrvoView, wxView);

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
    if (auto* frame = dynamic_cast<CMainFrame*>(GetFrame())) frame->view().Refresh(false);
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
}

wxFileHistory* COrvoDocManager::OnCreateFileHistory() {
    return new wxFileHistory(orvo::kRecentFileCount);
}

wxString COrvoDocManager::askForGraphFile() {
    wxFileDialog dialog(mainFrame_, "Open", wxEmptyString, wxEmptyString, "All Files (*.*)|*",
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    return dialog.ShowModal() == wxID_OK ? dialog.GetPath() : wxString();
}

bool COrvoDocManager::readGraphFile(const wxString& path) {
    orvo::Glue& glue = orvo::theGlue();
    orvo::LoadProgress progress(mainFrame_, wxFileName(path).GetFullName());
    glue.loadProgress = [&progress](uint64_t done, uint64_t total) {
        progress.update(done, total);
    };
    const int opened = glue.openGraphFile(std::string(path.fn_str()));
    glue.loadProgress = nullptr;
    if (!opened) {
        wxMessageBox(wxString::FromUTF8(glue.openError()), "orvo", wxOK | wxICON_ERROR, mainFrame_);
        return false;
    }
    return true;
}

wxDocument* COrvoDocManager::CreateDocument(const wxString& pathIn, long flags) {
    if (flags & wxDOC_NEW) return wxDocManager::CreateDocument(pathIn, flags);
    wxString path = pathIn;
    if (path.empty()) path = askForGraphFile();
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

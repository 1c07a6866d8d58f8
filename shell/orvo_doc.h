// The document/view classes of the single-document template: the document stands for the open
// graph file and holds no data; the view is the one GL window; the manager reads a file before
// it lets the document change, so a file that cannot be shown changes nothing.
#pragma once

#include <wx/docview.h>

#include "import/crawler.h"

namespace orvo {
class GlViewWindow;
}

class CMainFrame;

namespace orvo {
/// Where the Open and Open Folder dialogs start: the folder that holds the input on view (a
/// file's folder, a folder's parent), or the home folder when nothing is on view, it is a web
/// address, or its folder is gone.
wxString dialogStartFolder(const wxString& inputOnView);
}  // namespace orvo

class COrvoDoc : public wxDocument {
public:
    bool OnOpenDocument(const wxString& path) override;
    bool OnNewDocument() override;
    bool IsModified() const override { return false; }  // nothing is ever saved

private:
    wxDECLARE_DYNAMIC_CLASS(COrvoDoc);
};

class COrvoView : public wxView {
public:
    bool OnCreate(wxDocument* doc, long flags) override;
    void OnDraw(wxDC* dc) override;
    void OnUpdate(wxView* sender, wxObject* hint) override;
    void OnChangeFilename() override;
    bool OnClose(bool deleteWindow) override;

private:
    wxDECLARE_DYNAMIC_CLASS(COrvoView);
};

class COrvoDocManager : public wxDocManager {
public:
    COrvoDocManager();

    /// Opening a file (from Open, the recent list or the command line) reads it into the viewer
    /// first and lets the framework switch documents only when that succeeded. An http:// or
    /// https:// address is crawled first, with the crawl's progress box.
    wxDocument* CreateDocument(const wxString& path, long flags = 0) override;
    wxString MakeNewDocumentName() override { return "Untitled"; }
    wxFileHistory* OnCreateFileHistory() override;
    void AddFileToHistory(const wxString& file) override;
    void RemoveFileFromHistory(size_t i) override;

    void setMainFrame(CMainFrame* frame) { mainFrame_ = frame; }
    /// File > Open Folder...: asks for a directory and opens it (a web site or any folder tree).
    void openFolder();
    /// File > Open Web Site...: asks for an address and the crawl's main limits, then crawls
    /// the site and shows its graph (see CreateDocument).
    void openWebSite();
    /// The limits and manners of the next crawl: those last chosen in Open Web Site, kept in
    /// the configuration across runs.
    orvo::crawl::CrawlOptions webSiteOptions() const;

private:
    /// dialogStartFolder of the document on view.
    wxString dialogFolder();
    wxString askForGraphFile();
    void onRecentFile(wxCommandEvent& event);
    bool readGraphFile(const wxString& path);
    bool crawlWebSite(const wxString& address);
    void saveWebSiteOptions(const orvo::crawl::CrawlOptions& options);
    void recentFilesChanged();

    CMainFrame* mainFrame_ = nullptr;
};

// The document/view classes of the single-document template: the document stands for the open
// graph file and holds no data; the view is the one GL window; the manager reads a file before
// it lets the document change, so a file that cannot be shown changes nothing.
#pragma once

#include <wx/docview.h>

#include <optional>

#include "crawl/crawler.h"
#include "import/import_choices.h"
#include "stream/input_converter.h"

namespace orvo {
class DocumentWindow;
class Glue;
}  // namespace orvo

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
    /// Opens inputs into `glue`, which outlives the manager.
    explicit COrvoDocManager(orvo::Glue& glue);

    /// Opening a file (from Open, the recent list or the command line) reads it into the viewer
    /// first and lets the framework switch documents only when that succeeded. An http:// or
    /// https:// address is crawled first, with the crawl's progress box.
    wxDocument* CreateDocument(const wxString& path, long flags = 0) override;
    wxString MakeNewDocumentName() override { return "Untitled"; }
    wxFileHistory* OnCreateFileHistory() override;
    void AddFileToHistory(const wxString& file) override;
    void RemoveFileFromHistory(size_t i) override;

    /// The window that shows the documents: the parent of the dialogs, told when the recent
    /// files change. Given once, when the window exists.
    void setWindow(orvo::DocumentWindow* window) { window_ = window; }
    /// File > Open Folder... (the command ID_FILE_OPEN_FOLDER): asks for a directory and opens it
    /// (a web site or any folder tree).
    void openFolder();
    /// File > Open Web Site... (ID_FILE_OPEN_WEB_SITE): asks for an address and the crawl's main
    /// limits, then crawls the site and shows its graph (see CreateDocument).
    void openWebSite();
    /// The limits and manners of the next crawl: those last chosen in Open Web Site, kept in
    /// the configuration across runs. The sitemap kept was chosen for the address kept: for
    /// another `address` (when one is given) it is left empty, so that site is checked against
    /// its own.
    orvo::crawl::CrawlOptions webSiteOptions(const std::string& address = {}) const;
    /// Keeps the options for the next crawl and the next run.
    void saveWebSiteOptions(const orvo::crawl::CrawlOptions& options);

private:
    /// dialogStartFolder of the document on view.
    wxString dialogFolder();
    wxString askForGraphFile();
    void onRecentFile(wxCommandEvent& event);
    wxWindow* dialogParent();
    /// Reads the input into the glue, with `converter` (when given) in place of the glue's own.
    bool readGraphFile(const wxString& path, const orvo::InputConverter* converter = nullptr);
    bool crawlWebSite(const wxString& address);
    /// How to import the file: nullopt for a file without import choices (a graph file, a
    /// folder), else the choices last made for it or the defaults, asked for in the import
    /// dialog unless that was turned off; `keep` tells whether to keep it once the file is open.
    /// False when the dialog was cancelled.
    bool chooseImport(const wxString& path, std::optional<orvo::ImportChoice>& choice, bool& keep);
    void recentFilesChanged();

    orvo::Glue& glue_;
    orvo::DocumentWindow* window_ = nullptr;
};

// The document, the view and the document manager of the single-document template.
#include "shell/orvo_doc.h"

#include <wx/app.h>
#include <wx/config.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/filehistory.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "crawl/crawl_import.h"
#include "crawl/crawl_limits.h"
#include "glue/failure_text.h"
#include "glue/glue.h"
#include "import/import_converter.h"
#include "shell/command_ids.h"
#include "shell/crawl_progress_dialog.h"
#include "shell/document_window.h"
#include "shell/import_dialog.h"
#include "shell/import_settings.h"
#include "shell/load_progress.h"
#include "shell/recent_files.h"
#include "shell/web_site_dialog.h"

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
    "|GEXF files (*.gexf)|*.gexf"
    "|JSON graphs (*.json)|*.json"
    "|GML graphs (*.gml)|*.gml"
    "|Pajek networks (*.net;*.paj)|*.net;*.paj"
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

// Where the crawl's limits are kept in the configuration.
const char* const kWebSiteGroup = "/Open Web Site/";

}  // namespace

// The file was read into the viewer before the document was created (see the manager); the
// document only records its name. It reads and writes nothing itself. A web site's address is
// its title whole (its last path component is often empty).
bool COrvoDoc::OnOpenDocument(const wxString& path) {
    if (orvo::isWebAddress(path)) SetTitle(path);
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
    if (auto* window = dynamic_cast<orvo::DocumentWindow*>(GetFrame())) window->documentChanged();
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

COrvoDocManager::COrvoDocManager(orvo::Glue& glue) : glue_(glue) {
    SetMaxDocsOpen(1);
    // The base constructor made its own (longer) list before this class existed.
    delete m_fileHistory;
    m_fileHistory = OnCreateFileHistory();
    // Ahead of the framework's own handler, which would drop every entry that is not a plain
    // file (a folder, say) from the list.
    Bind(wxEVT_MENU, &COrvoDocManager::onRecentFile, this, wxID_FILE1,
         wxID_FILE1 + orvo::kRecentFileCount - 1);
    // The frame hands its menu commands to the manager first.
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { openFolder(); }, orvo::ID_FILE_OPEN_FOLDER);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { openWebSite(); }, orvo::ID_FILE_OPEN_WEB_SITE);
    Bind(
        wxEVT_MENU, [](wxCommandEvent& event) { orvo::setAskHowToImport(event.IsChecked()); },
        orvo::ID_FILE_ASK_HOW_TO_IMPORT);
    Bind(
        wxEVT_UPDATE_UI,
        [](wxUpdateUIEvent& event) {
            wxConfigBase* config = wxConfigBase::Get(false);
            event.Check(config == nullptr || orvo::askHowToImport(*config));
        },
        orvo::ID_FILE_ASK_HOW_TO_IMPORT);
}

wxWindow* COrvoDocManager::dialogParent() {
    return window_ != nullptr ? window_->dialogParent() : nullptr;
}

wxFileHistory* COrvoDocManager::OnCreateFileHistory() {
    return new wxFileHistory(orvo::kRecentFileCount);
}

namespace orvo {

wxString dialogStartFolder(const wxString& inputOnView) {
    if (!inputOnView.empty() && !isWebAddress(inputOnView)) {
        const wxString folder = wxFileName(inputOnView).GetPath();
        if (!folder.empty() && wxFileName::DirExists(folder)) return folder;
    }
    return wxFileName::GetHomeDir();
}

}  // namespace orvo

wxString COrvoDocManager::dialogFolder() {
    wxDocument* doc = GetCurrentDocument();
    return orvo::dialogStartFolder(doc != nullptr ? doc->GetFilename() : wxString());
}

wxString COrvoDocManager::askForGraphFile() {
    wxFileDialog dialog(dialogParent(), "Open", dialogFolder(), wxEmptyString, kOpenWildcard,
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    return dialog.ShowModal() == wxID_OK ? dialog.GetPath() : wxString();
}

// Without a folder to start in, the toolkit's dialog would open on its list of recent files,
// where a typed path goes nowhere.
void COrvoDocManager::openFolder() {
    wxDirDialog dialog(dialogParent(), "Open Folder", dialogFolder(),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() == wxID_OK) CreateDocument(dialog.GetPath(), wxDOC_SILENT);
}

namespace {

// A kept value outside its limits (an older program's, or a hand edit) is not used.
void readWithin(const wxConfigBase& config, const wxString& key,
                orvo::crawl::LimitRange<int> limits, int& value) {
    long kept = value;
    if (config.Read(key, &kept) && kept >= limits.min && kept <= limits.max)
        value = static_cast<int>(kept);
}

}  // namespace

orvo::crawl::CrawlOptions COrvoDocManager::webSiteOptions(const std::string& address) const {
    orvo::crawl::CrawlOptions options;
    wxConfigBase* config = wxConfigBase::Get(false);
    if (config == nullptr) return options;
    const wxString group = kWebSiteGroup;
    long maxPages = static_cast<long>(options.maxPages);
    config->Read(group + "MaxPages", &maxPages);
    const orvo::crawl::CrawlLimits& limits = orvo::crawl::kCrawlLimits;
    if (maxPages > 0 && limits.maxPages.holds(static_cast<size_t>(maxPages)))
        options.maxPages = static_cast<size_t>(maxPages);
    long maxDepth = options.maxDepth;
    config->Read(group + "MaxDepth", &maxDepth);
    const long deepest = limits.maxDepth.max;
    options.maxDepth = maxDepth >= 0 ? static_cast<int>(std::min(maxDepth, deepest)) : -1;
    readWithin(*config, group + "Connections", limits.connections, options.connections);
    readWithin(*config, group + "MaxRedirects", limits.maxRedirects, options.maxRedirects);
    double delay = options.delaySeconds;
    config->Read(group + "Delay", &delay);
    if (limits.delaySeconds.holds(delay)) options.delaySeconds = delay;
    config->Read(group + "WholeHost", &options.wholeHost);
    wxString text;
    if (config->Read(group + "Address", &text)) options.startUrl = text.utf8_string();
    if (config->Read(group + "Sitemap", &text)) options.sitemap = text.utf8_string();
    if (!address.empty() && address != options.startUrl) options.sitemap.clear();
    return options;
}

void COrvoDocManager::saveWebSiteOptions(const orvo::crawl::CrawlOptions& options) {
    orvo::changeUserConfig([&](wxConfigBase& config) {
        const wxString group = kWebSiteGroup;
        config.Write(group + "Address", wxString::FromUTF8(options.startUrl));
        config.Write(group + "MaxPages", static_cast<long>(options.maxPages));
        config.Write(group + "MaxDepth", static_cast<long>(options.maxDepth));
        config.Write(group + "Connections", static_cast<long>(options.connections));
        config.Write(group + "Delay", options.delaySeconds);
        config.Write(group + "MaxRedirects", static_cast<long>(options.maxRedirects));
        config.Write(group + "Sitemap", wxString::FromUTF8(options.sitemap));
        config.Write(group + "WholeHost", options.wholeHost);
    });
}

void COrvoDocManager::openWebSite() {
    orvo::WebSiteDialog dialog(dialogParent(), webSiteOptions());
    if (dialog.ShowModal() != wxID_OK) return;
    const orvo::crawl::CrawlOptions chosen = dialog.options();
    saveWebSiteOptions(chosen);
    CreateDocument(wxString::FromUTF8(chosen.startUrl), wxDOC_SILENT);
}

// The crawl runs in the background under its progress box. Cancel, or a crawl that fails,
// leaves the graph on view; "Stop and Show" (or the crawl's end) shows the graph of what was
// crawled, read as any opened file is.
bool COrvoDocManager::crawlWebSite(const wxString& address) {
    orvo::crawl::CrawlOptions options = webSiteOptions(address.utf8_string());
    options.startUrl = address.utf8_string();
    // The box keeps the crawl's result until the graph is read from it.
    orvo::CrawlProgressDialog box(dialogParent(), options);
    const int outcome = box.ShowModal();
    if (outcome == orvo::CrawlProgressDialog::kCancelled) return false;
    if (outcome != orvo::CrawlProgressDialog::kShow) {
        const std::string why =
            box.result().error.empty() ? std::string("the crawl failed") : box.result().error;
        // A crawl that reached nothing names its start address in its error.
        wxMessageBox(
            wxString::FromUTF8(orvo::failureText("Cannot crawl", address.utf8_string(), why)),
            "orvo", wxOK | wxICON_ERROR, dialogParent());
        return false;
    }
    const orvo::crawl::CrawlResult& crawled = box.result();
    if (crawled.nodes.empty()) {
        wxMessageBox("Cannot show " + address + ": nothing was crawled", "orvo",
                     wxOK | wxICON_ERROR, dialogParent());
        return false;
    }

    // The outline reaches the viewer as a converted input named by the address, written into
    // the conversion stream as the reader takes it, so the load has the same progress box,
    // checks and failure handling as any file.
    const std::string name = address.utf8_string();
    orvo::InputConverter crawl;
    crawl.accepts = [&name](const std::string& input) { return input == name; };
    crawl.convert = [&crawled](const std::string&, std::ostream& out,
                               const orvo::ConversionProgress&, const std::atomic<bool>* cancel) {
        orvo::ImportProgress writing;
        writing.cancel = cancel;
        orvo::ImportResult written;
        orvo::ConversionResult result;
        result.ok = orvo::writeCrawlGraph(crawled, out, writing, written);
        result.cancelled = writing.cancelled();
        if (!result.ok) result.error = written.error;
        return result;
    };
    return readGraphFile(address, &crawl);
}

bool COrvoDocManager::chooseImport(const wxString& path, std::optional<orvo::ImportChoice>& choice,
                                   bool& keep) {
    const orvo::ImportFormat detected = orvo::guessImportFormat(std::string(path.fn_str()));
    if (orvo::importFormatChoice(detected) == nullptr) return true;
    wxConfigBase* config = wxConfigBase::Get(false);
    choice = config != nullptr ? orvo::rememberedImport(*config, path) : std::nullopt;
    // Choices made are kept (moving up the list); defaults taken without asking are not.
    keep = choice.has_value();
    if (!choice) choice = orvo::ImportChoice{detected, {}};
    if (config != nullptr && !orvo::askHowToImport(*config)) return true;
    keep = true;
    orvo::ImportDialog dialog(dialogParent(), path, detected, *choice);
    if (dialog.ShowModal() != wxID_OK) return false;
    choice = dialog.choice();
    if (!dialog.askAgain()) orvo::setAskHowToImport(false);
    return true;
}

void COrvoDocManager::onRecentFile(wxCommandEvent& event) {
    const size_t n = static_cast<size_t>(event.GetId() - wxID_FILE1);
    if (n >= GetHistoryFilesCount()) return;
    const wxString path = GetHistoryFile(n);
    // An input that is gone is dropped from the list once its message was shown.
    if (!CreateDocument(path, wxDOC_SILENT) && !path.Contains("://") && !wxFileName::Exists(path)) {
        RemoveFileFromHistory(n);
    }
}

// One progress box covers the whole load; Cancel, like any failure, leaves the graph on view.
// A cancelled load needs no message.
bool COrvoDocManager::readGraphFile(const wxString& path, const orvo::InputConverter* converter) {
    orvo::Glue& glue = glue_;
    orvo::LoadProgress progress(dialogParent(),
                                orvo::isWebAddress(path) ? path : wxFileName(path).GetFullName());
    orvo::OpenRequest request;
    request.progress = [&progress](orvo::LoadStage stage, uint64_t done, uint64_t total) {
        progress.update(stage, done, total);
    };
    request.cancel = &progress.cancelled();
    request.confirmDoubtfulFile = [this, &progress](const std::string& question) {
        progress.finish();
        return wxMessageBox(wxString::FromUTF8(question), "orvo",
                            wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION, dialogParent()) == wxYES;
    };
    request.converter = converter;
    const int opened = glue.openGraphFile(std::string(path.fn_str()), request);
    for (const std::string& warning : glue.openWarnings()) {
        std::fprintf(stderr, "%s\n", warning.c_str());
    }
    if (!opened) {
        if (glue.noContext()) {
            // Nothing can be drawn in this process.
            std::printf("%s\n", glue.openError().c_str());
            std::fflush(stdout);
            std::exit(1);
        }
        // No message when the user cancelled, or chose not to open a doubtful file.
        if (!glue.openCancelled() && !glue.openError().empty()) {
            std::fprintf(stderr, "%s\n", glue.openError().c_str());
            wxMessageBox(wxString::FromUTF8(glue.openError()), "orvo", wxOK | wxICON_ERROR,
                         dialogParent());
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
    if (path.empty()) return nullptr;
    if (orvo::isWebAddress(path)) {
        path = path.Strip(wxString::both);
        if (!crawlWebSite(path)) return nullptr;
    } else {
        std::optional<orvo::ImportChoice> choice;
        bool keep = false;
        if (!chooseImport(path, choice, keep)) return nullptr;
        std::optional<orvo::InputConverter> converter;
        if (choice) converter = orvo::importConverter(choice->format, choice->options);
        if (!readGraphFile(path, converter ? &*converter : nullptr)) return nullptr;
        if (keep) orvo::rememberImport(path, *choice);
    }
    return wxDocManager::CreateDocument(path, flags | wxDOC_SILENT);
}

void COrvoDocManager::AddFileToHistory(const wxString& file) {
    orvo::recordRecentFile(*GetFileHistory(), file, wxEmptyString);
    recentFilesChanged();
}

void COrvoDocManager::RemoveFileFromHistory(size_t i) {
    orvo::recordRecentFile(*GetFileHistory(), wxEmptyString, GetHistoryFile(i));
    recentFilesChanged();
}

void COrvoDocManager::recentFilesChanged() {
    if (window_ != nullptr) window_->recentFilesChanged();
}

// File > Open Web Site...: the address to crawl, the crawl's main limits and the sitemap its
// pages are checked against.
#pragma once

#include <wx/dialog.h>

#include "crawl/crawler.h"

class wxCheckBox;
class wxSpinCtrl;
class wxSpinCtrlDouble;
class wxTextCtrl;

namespace orvo {

class WebSiteDialog : public wxDialog {
public:
    /// Shows `options` (the address and limits of the last crawl) for editing.
    WebSiteDialog(wxWindow* parent, const crawl::CrawlOptions& options);

    /// The options as edited; only after the dialog ended with wxID_OK.
    crawl::CrawlOptions options() const;
    /// Sets the address box (for tests and for a given address).
    void setAddress(const wxString& address);
    wxSpinCtrl& maxRedirectsField() { return *maxRedirects_; }
    wxTextCtrl& sitemapField() { return *sitemap_; }

private:
    void onOk(wxCommandEvent& event);

    crawl::CrawlOptions base_;
    wxTextCtrl* address_ = nullptr;
    wxSpinCtrl* maxPages_ = nullptr;
    wxSpinCtrl* maxDepth_ = nullptr;
    wxSpinCtrl* connections_ = nullptr;
    wxSpinCtrlDouble* delay_ = nullptr;
    wxSpinCtrl* maxRedirects_ = nullptr;
    wxTextCtrl* sitemap_ = nullptr;
    wxCheckBox* wholeHost_ = nullptr;
};

/// True for the addresses the viewer crawls: http:// and https://, in any case.
bool isWebAddress(const wxString& text);
/// Why the sitemap box's text cannot be used; empty for nothing (the site's own), a web address
/// or a file that exists.
wxString sitemapProblem(const wxString& sitemap);

}  // namespace orvo

#include "shell/web_site_dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <climits>
#include <string_view>

#include "crawl/crawl_limits.h"
#include "import/url.h"

namespace orvo {

bool isWebAddress(const wxString& text) {
    return isWebAddress(std::string_view(text.Strip(wxString::both).utf8_string()));
}

// A sitemap file that is not there would only be told of in the crawl's log, after the crawl.
wxString sitemapProblem(const wxString& sitemap) {
    const wxString given = sitemap.Strip(wxString::both);
    if (given.empty() || isWebAddress(given) || wxFileName::FileExists(given)) return {};
    return "There is no sitemap file " + given +
           ". Please give a file, an http:// or https:// address, or nothing for the site's own "
           "/sitemap.xml.";
}

WebSiteDialog::WebSiteDialog(wxWindow* parent, const crawl::CrawlOptions& options)
    : wxDialog(parent, wxID_ANY, "Open Web Site"), base_(options) {
    const crawl::CrawlLimits& limits = crawl::kCrawlLimits;
    address_ = new wxTextCtrl(this, wxID_ANY, wxString::FromUTF8(options.startUrl),
                              wxDefaultPosition, FromDIP(wxSize(420, -1)));
    address_->SetHint("https://www.example.org/");
    maxPages_ = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                               wxSP_ARROW_KEYS, int(limits.maxPages.min), int(limits.maxPages.max),
                               int(std::min(options.maxPages, limits.maxPages.max)));
    maxDepth_ = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                               wxSP_ARROW_KEYS, limits.maxDepth.min, limits.maxDepth.max,
                               std::max(0, options.maxDepth));
    connections_ = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                  wxSP_ARROW_KEYS, limits.connections.min, limits.connections.max,
                                  options.connections);
    delay_ = new wxSpinCtrlDouble(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                  wxSP_ARROW_KEYS, limits.delaySeconds.min, limits.delaySeconds.max,
                                  options.delaySeconds, 0.05);
    delay_->SetDigits(2);
    maxRedirects_ = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                   wxSP_ARROW_KEYS, limits.maxRedirects.min,
                                   limits.maxRedirects.max, options.maxRedirects);
    sitemap_ = new wxTextCtrl(this, wxID_ANY, wxString::FromUTF8(options.sitemap));
    sitemap_->SetHint("The site's own /sitemap.xml");
    sitemap_->SetToolTip(
        "A sitemap file or address: the pages it lists that no link reaches show as orphans, "
        "the pages it leaves out as unlisted");
    wholeHost_ = new wxCheckBox(this, wxID_ANY, "The whole host, not only the start folder");
    wholeHost_->SetValue(options.wholeHost);

    auto* grid = new wxFlexGridSizer(2, FromDIP(wxSize(8, 6)));
    grid->AddGrowableCol(1);
    const auto row = [&](const char* label, wxWindow* control, bool grow) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(control, grow ? 1 : 0, grow ? wxEXPAND : 0);
    };
    row("Address:", address_, true);
    row("Most pages:", maxPages_, false);
    row("Most links from the start (0: any):", maxDepth_, false);
    row("Connections:", connections_, false);
    row("Seconds between requests:", delay_, false);
    row("Most redirects in a row:", maxRedirects_, false);
    row("Sitemap (file or address):", sitemap_, true);
    grid->AddSpacer(0);
    grid->Add(wholeHost_);

    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(grid, 1, wxEXPAND | wxALL, FromDIP(10));
    all->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM,
             FromDIP(10));
    SetSizerAndFit(all);
    Bind(wxEVT_BUTTON, &WebSiteDialog::onOk, this, wxID_OK);
    address_->SetFocus();
}

void WebSiteDialog::setAddress(const wxString& address) { address_->SetValue(address); }

crawl::CrawlOptions WebSiteDialog::options() const {
    crawl::CrawlOptions o = base_;
    o.startUrl = address_->GetValue().Strip(wxString::both).utf8_string();
    o.maxPages = static_cast<std::size_t>(maxPages_->GetValue());
    o.maxDepth = maxDepth_->GetValue() == 0 ? -1 : maxDepth_->GetValue();
    o.connections = connections_->GetValue();
    o.delaySeconds = delay_->GetValue();
    o.maxRedirects = maxRedirects_->GetValue();
    o.sitemap = sitemap_->GetValue().Strip(wxString::both).utf8_string();
    o.wholeHost = wholeHost_->GetValue();
    return o;
}

// An address without http:// or https://, or a sitemap file that is not there, is refused here,
// with the reason, and the dialog stays.
void WebSiteDialog::onOk(wxCommandEvent& event) {
    if (!isWebAddress(address_->GetValue())) {
        wxMessageBox("Please give an address that begins with http:// or https://.",
                     "Open Web Site", wxOK | wxICON_WARNING, this);
        address_->SetFocus();
        return;
    }
    if (const wxString problem = sitemapProblem(sitemap_->GetValue()); !problem.empty()) {
        wxMessageBox(problem, "Open Web Site", wxOK | wxICON_WARNING, this);
        sitemap_->SetFocus();
        return;
    }
    event.Skip();  // the dialog ends with wxID_OK
}

}  // namespace orvo

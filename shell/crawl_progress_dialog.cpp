#include "shell/crawl_progress_dialog.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstdio>

namespace orvo {

namespace {

constexpr int kRefreshMs = 200;
constexpr long kMaxLogCharacters = 200000;  // older lines go first

wxString bytesText(std::uint64_t bytes) {
    char text[64];
    if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KB", double(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
    return text;
}

wxString elapsedText(double seconds) {
    const long whole = long(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

CrawlProgressDialog::CrawlProgressDialog(wxWindow* parent, const crawl::CrawlOptions& options)
    : wxDialog(parent, wxID_ANY, "Crawling " + wxString::FromUTF8(options.startUrl),
               wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      timer_(this) {
    figures_ = new wxStaticText(this, wxID_ANY, wxEmptyString);
    log_ =
        new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, FromDIP(wxSize(560, 160)),
                       wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    stop_ = new wxButton(this, wxID_ANY, "&Stop and Show");
    auto* cancelButton = new wxButton(this, wxID_CANCEL, "Cancel");
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    buttons->Add(stop_, 0, wxRIGHT, FromDIP(8));
    buttons->Add(cancelButton);
    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(figures_, 0, wxEXPAND | wxALL, FromDIP(10));
    all->Add(log_, 1, wxEXPAND | wxLEFT | wxRIGHT, FromDIP(10));
    all->Add(buttons, 0, wxEXPAND | wxALL, FromDIP(10));
    SetSizerAndFit(all);
    SetEscapeId(wxID_CANCEL);

    stop_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { stopAndShow(); });
    cancelButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { cancel(); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { cancel(); });
    Bind(wxEVT_TIMER, &CrawlProgressDialog::onTimer, this);

    session_ = std::make_unique<crawl::CrawlSession>(options);
    refresh();
    timer_.Start(kRefreshMs);
}

CrawlProgressDialog::~CrawlProgressDialog() {
    timer_.Stop();
    session_.reset();  // stops the crawl and waits for its thread
}

wxString CrawlProgressDialog::figures() const { return figures_->GetLabel(); }
wxString CrawlProgressDialog::logText() const { return log_->GetValue(); }

void CrawlProgressDialog::refresh() {
    const crawl::CrawlStats s = session_->stats();
    figures_->SetLabel(wxString::Format(
        "%llu pages fetched, %llu queued, %llu failed, %s received, %s elapsed",
        (unsigned long long)s.fetched, (unsigned long long)s.queued, (unsigned long long)s.failed,
        bytesText(s.bytes), elapsedText(s.elapsedSeconds)));
    const std::vector<std::string> lines = session_->takeLog();
    if (!lines.empty()) {
        wxString text;
        for (const std::string& line : lines) text << wxString::FromUTF8(line) << "\n";
        log_->AppendText(text);
        if (log_->GetLastPosition() > kMaxLogCharacters)
            log_->Remove(0, log_->GetLastPosition() - kMaxLogCharacters / 2);
    }
}

void CrawlProgressDialog::onTimer(wxTimerEvent& /*event*/) {
    refresh();
    if (!session_->finished()) return;
    timer_.Stop();
    refresh();  // the last figures and lines
    if (IsModal()) EndModal(session_->result().ok ? kShow : kFailed);
}

void CrawlProgressDialog::stopAndShow() {
    if (stopping_) return;
    stopping_ = true;
    stop_->Disable();
    stop_->SetLabel("Stopping...");
    session_->stop();  // the timer ends the box once the crawl has handed over its result
}

void CrawlProgressDialog::cancel() {
    session_->stop();
    timer_.Stop();
    if (IsModal()) EndModal(kCancelled);
}

}  // namespace orvo

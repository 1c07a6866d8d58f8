// The progress box of a web site crawl: the crawl runs on a thread of its own while the box shows
// pages fetched, queued and failed, bytes received, the time elapsed and the log. Cancel drops
// the crawl; "Stop and Show" ends it and shows what was crawled so far.
#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>

#include <memory>

#include "crawl/crawl_session.h"

class wxButton;
class wxStaticText;
class wxTextCtrl;

namespace orvo {

class CrawlProgressDialog : public wxDialog {
public:
    /// How the box ended (its ShowModal result).
    enum Outcome : int { kShow = wxID_HIGHEST + 200, kCancelled, kFailed };

    CrawlProgressDialog(wxWindow* parent, const crawl::CrawlOptions& options);
    ~CrawlProgressDialog() override;

    /// The crawl's result once the box has ended with kShow or kFailed.
    const crawl::CrawlResult& result() const { return session_->result(); }
    /// The figures line shown now ("12 pages fetched, 30 queued, ...").
    wxString figures() const;
    /// The log as shown.
    wxString logText() const;

    /// What the buttons do (for tests too).
    void stopAndShow();
    void cancel();

private:
    void onTimer(wxTimerEvent& event);
    void refresh();

    std::unique_ptr<crawl::CrawlSession> session_;
    wxTimer timer_;
    wxStaticText* figures_ = nullptr;
    wxTextCtrl* log_ = nullptr;
    wxButton* stop_ = nullptr;
    bool stopping_ = false;
};

}  // namespace orvo

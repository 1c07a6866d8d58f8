// The load progress dialog, shown only for reads that take longer than about half a second.
#include "shell/load_progress.h"

#include <wx/progdlg.h>

namespace orvo {

namespace {

constexpr auto kShowAfter = std::chrono::milliseconds(500);
// Updating (and so repainting) more often than this would slow the read down.
constexpr auto kUpdateEvery = std::chrono::milliseconds(50);
constexpr int kRange = 1000;

}  // namespace

LoadProgress::LoadProgress(wxWindow* parent, const wxString& fileName)
    : parent_(parent), fileName_(fileName) {}

LoadProgress::~LoadProgress() = default;

void LoadProgress::update(uint64_t bytesRead, uint64_t totalBytes) {
    const Clock::time_point now = Clock::now();
    if (now - start_ < kShowAfter || now - lastUpdate_ < kUpdateEvery) return;
    lastUpdate_ = now;
    const wxString message = wxString::Format("Reading %s ...", fileName_);
    if (!dialog_) {
        dialog_ = std::make_unique<wxProgressDialog>(
            "orvo", message, kRange, parent_,
            wxPD_APP_MODAL | wxPD_AUTO_HIDE | wxPD_ELAPSED_TIME | wxPD_SMOOTH);
    }
    if (totalBytes > 0) {
        const uint64_t done = std::min(bytesRead, totalBytes);
        // Update yields to the event loop, so the view repaints while the file is read.
        dialog_->Update(static_cast<int>(done * (kRange - 1) / totalBytes), message);
    } else {
        dialog_->Pulse(message);
    }
}

}  // namespace orvo

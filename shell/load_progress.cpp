// The load progress box, shown only for loads that take longer than about half a second.
#include "shell/load_progress.h"

#include <wx/progdlg.h>

#include <algorithm>

namespace orvo {

namespace {

constexpr auto kShowAfter = std::chrono::milliseconds(500);
// Updating (and so repainting) more often than this would slow the load down.
constexpr auto kUpdateEvery = std::chrono::milliseconds(50);
constexpr int kRange = 1000;

wxString stageMessage(LoadStage stage, const wxString& name) {
    switch (stage) {
        case LoadStage::Import:
            return wxString::Format("Importing %s ...", name);
        case LoadStage::Read:
            return wxString::Format("Reading %s ...", name);
        case LoadStage::Layout:
            return wxString::Format("Laying out %s ...", name);
    }
    return name;
}

}  // namespace

LoadProgress::LoadProgress(wxWindow* parent, const wxString& inputName)
    : parent_(parent), inputName_(inputName) {}

LoadProgress::~LoadProgress() = default;

void LoadProgress::update(LoadStage stage, uint64_t done, uint64_t total) {
    const Clock::time_point now = Clock::now();
    // A new stage is shown at once.
    const bool newStage = stage != lastStage_;
    lastStage_ = stage;
    if (now - start_ < kShowAfter || (!newStage && now - lastUpdate_ < kUpdateEvery)) return;
    lastUpdate_ = now;
    const wxString message = stageMessage(stage, inputName_);
    if (!dialog_) {
        dialog_ = std::make_unique<wxProgressDialog>(
            "orvo", message, kRange, parent_,
            wxPD_APP_MODAL | wxPD_AUTO_HIDE | wxPD_ELAPSED_TIME | wxPD_SMOOTH | wxPD_CAN_ABORT);
    }
    // Update and Pulse yield to the event loop, so the view repaints during the load; they
    // return false once Cancel was pressed.
    bool goOn = true;
    if (total > 0) {
        const uint64_t part = std::min(done, total);
        goOn = dialog_->Update(static_cast<int>(part * (kRange - 1) / total), message);
    } else {
        goOn = dialog_->Pulse(message);
    }
    if (!goOn) cancelled_ = true;
}

void LoadProgress::finish() { dialog_.reset(); }

}  // namespace orvo

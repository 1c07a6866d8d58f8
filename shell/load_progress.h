// Progress of a long load (import, read and layout): nothing for the first half second, then
// one progress box for the whole load, whose message names the stage and whose Cancel button
// stops it. Its updates also let the window repaint meanwhile.
#pragma once

#include <wx/string.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "stream/input_converter.h"

class wxProgressDialog;
class wxWindow;

namespace orvo {

class LoadProgress {
public:
    LoadProgress(wxWindow* parent, const wxString& inputName);
    ~LoadProgress();

    /// Called by the glue with the stage, the work done in it and its total (0 when unknown).
    void update(LoadStage stage, uint64_t done, uint64_t total);
    /// Set once the user pressed Cancel; the glue stops the load soon after.
    const std::atomic<bool>& cancelled() const { return cancelled_; }
    /// Takes the box down (before a question about the file read).
    void finish();
    /// Whether the box was ever shown (for tests and diagnostics).
    bool shown() const { return dialog_ != nullptr; }

private:
    using Clock = std::chrono::steady_clock;

    wxWindow* parent_;
    wxString inputName_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastUpdate_{};
    LoadStage lastStage_ = LoadStage::Import;
    std::unique_ptr<wxProgressDialog> dialog_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace orvo

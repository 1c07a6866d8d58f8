// Progress of a long file read: nothing for the first half second, then a progress dialog
// whose updates also let the window repaint while the file is read.
#pragma once

#include <wx/string.h>

#include <chrono>
#include <cstdint>
#include <memory>

class wxProgressDialog;
class wxWindow;

namespace orvo {

class LoadProgress {
public:
    LoadProgress(wxWindow* parent, const wxString& fileName);
    ~LoadProgress();

    /// Called by the reader with the bytes read so far and the file size (0 when unknown).
    void update(uint64_t bytesRead, uint64_t totalBytes);
    /// Whether the dialog was ever shown (for tests and diagnostics).
    bool shown() const { return dialog_ != nullptr; }

private:
    using Clock = std::chrono::steady_clock;

    wxWindow* parent_;
    wxString fileName_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastUpdate_{};
    std::unique_ptr<wxProgressDialog> dialog_;
};

}  // namespace orvo

// Starts wxWidgets once for the in-process window tests and lets it handle its events.
#pragma once

#include <unistd.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>

#include <chrono>

namespace orvo {

/// False when there is no X display to start on.
inline bool startToolkit() {
    static const bool started = [] {
        static int argc = 1;
        static char name[] = "orvo_shell_tests";
        static char* argv[] = {name, nullptr};
        wxApp::SetInstance(new wxApp);
        return wxEntryStart(argc, argv) && wxTheApp->CallOnInit();
    }();
    return started;
}

/// Lets the toolkit handle its events and idle work for a while.
inline void pumpEvents(int milliseconds) {
    wxEventLoop loop;
    wxEventLoopActivator active(&loop);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        while (loop.Pending()) loop.Dispatch();
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();  // also deletes the windows that were destroyed
        ::usleep(5000);
    }
}

}  // namespace orvo

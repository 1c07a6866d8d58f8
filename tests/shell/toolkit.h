// Starts wxWidgets once for the in-process window tests, lets it handle its events until a
// condition holds, and destroys windows in order.
#pragma once

#include <unistd.h>
#include <wx/app.h>
#include <wx/config.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/toplevel.h>
#include <wx/weakref.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/test_time.h"

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

/// Lets the toolkit handle the events and idle work pending now, then pauses a little.
inline void pumpOnce() {
    wxEventLoop loop;
    wxEventLoopActivator active(&loop);
    while (loop.Pending()) loop.Dispatch();
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();  // also deletes the windows that were destroyed
    ::usleep(5000);
}

/// Lets the toolkit work until `done` holds or the (scaled) cap has passed; whether it held.
template <class Condition>
bool pumpUntil(Condition done, std::chrono::milliseconds cap = std::chrono::seconds(20)) {
    return testing::waitUntil(done, cap, pumpOnce);
}

/// Destroys a top-level window and waits until the toolkit has deleted it, so that nothing it
/// refers to is used afterwards; one the toolkit has not deleted by then is deleted here.
inline void destroyWindow(wxTopLevelWindow* window) {
    if (window == nullptr) return;
    wxWeakRef<wxTopLevelWindow> alive(window);
    window->Destroy();
    if (!pumpUntil([&] { return !alive; }) && alive) delete alive.get();
}

/// A real click (through the X server's test extension) at a point of the screen; whether
/// xdotool made it.
inline bool clickAt(int x, int y) {
    const std::string at = std::to_string(x) + " " + std::to_string(y);
    return std::system(("xdotool mousemove --sync " + at + " click 1").c_str()) == 0;
}

/// Keeps the window settings in `folder` until the guard returned goes: then the toolkit's
/// configuration object, made from there, is deleted, and the folder before is named again.
inline std::shared_ptr<void> ownConfigHome(const std::string& folder) {
    const std::string was = std::getenv("XDG_CONFIG_HOME") ?: "";
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    return {nullptr, [was](void*) {
                delete wxConfigBase::Set(nullptr);
                if (was.empty()) ::unsetenv("XDG_CONFIG_HOME");
                else ::setenv("XDG_CONFIG_HOME", was.c_str(), 1);
            }};
}

}  // namespace orvo

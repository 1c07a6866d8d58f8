// The window glue: turns the view's events into viewer operations, creates the GL context and
// reads the graph when a file is opened, and decides what a click means. Free of any toolkit,
// so tests can drive it on an offscreen surface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "glue/keys.h"
#include "viewer/viewer.h"

namespace orvo {

/// The glue's state for one view. The program has one (theGlue()); tests make their own.
class Glue {
public:
    Glue() = default;
    Glue(const Glue&) = delete;
    Glue& operator=(const Glue&) = delete;

    /// Creates the viewer on the window's surface and sets it up for the window: loader flags,
    /// mouse bindings, the pick callback and the window-initialisation settings. The size is
    /// not used (size changes arrive through reshapeViewer).
    void initViewer(GlSurface& surface, int width, int height);
    /// Reads the file and puts it on view in a fresh GL context. 1 on success; 0 when the file
    /// cannot be opened or read or holds no node, with openError() saying why: the graph on
    /// view then stays as it was. Ends the program when no GL context can be made.
    int openGraphFile(const std::string& path);

    void displayViewer();
    void reshapeViewer(int width, int height);
    void mouseButtonViewer(int button, int state, int x, int y, int shift, int ctrl);
    void mouseDragViewer(int x, int y, int shift, int ctrl);
    void mouseMoveViewer(int x, int y, int shift, int ctrl);
    int idleViewer();
    void keyViewer(int character);
    void onPicked(const std::string& id, int shift, int ctrl);

    Viewer* viewer() { return viewer_.get(); }
    bool viewerCreated() const { return viewerCreated_; }
    bool graphLoaded() const { return graphLoaded_; }
    int lastWidth() const { return lastWidth_; }
    int lastHeight() const { return lastHeight_; }
    const std::string& lastSelectedId() const { return lastSelectedId_; }
    KeyCommands& keys() { return keys_; }
    /// Why the last openGraphFile failed (empty after a success).
    const std::string& openError() const { return openError_; }

    /// Called now and then while a file is read: bytes read so far and the file's size (0 when
    /// unknown). The shell shows progress and lets the window repaint meanwhile.
    std::function<void(uint64_t bytesRead, uint64_t totalBytes)> loadProgress;

private:
    bool ready() const { return viewerCreated_ && graphLoaded_; }
    void applyLoadSettings();

    std::unique_ptr<Viewer> viewer_;
    bool viewerCreated_ = false;
    bool graphLoaded_ = false;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
    std::string lastSelectedId_;  // kept whole, however long
    KeyCommands keys_;
    std::string openError_;
};

/// The glue of the program's one view.
Glue& theGlue();

}  // namespace orvo

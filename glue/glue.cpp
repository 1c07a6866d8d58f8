// The window glue: global state of the one view, window initialisation, opening a graph file
// in a fresh GL context, the forwarding guards and what a click means.
#include "glue/glue.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "glue/window_settings.h"

namespace orvo {

namespace {

// Mouse event slots and the built-in actions bound to them.
constexpr int kSlotLeftButton = 0, kSlotLeftDrag = 3, kSlotRightDrag = 5, kSlotPassive = 6;
constexpr int kActionHover = 0, kActionClick = 1, kActionTranslate = 2, kActionRotate = 3;

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

Glue& theGlue() {
    static Glue glue;
    return glue;
}

void Glue::initViewer(GlSurface& surface, int /*width*/, int /*height*/) {
    viewer_ = std::make_unique<Viewer>(surface);
    Viewer& v = *viewer_;
    applyWindowInitialisation(v.settings());
    v.bindMouse(kSlotLeftButton, kActionClick);
    v.bindMouse(kSlotPassive, kActionHover);
    v.bindMouse(kSlotLeftDrag, kActionTranslate);
    v.bindMouse(kSlotRightDrag, kActionRotate);
    v.setPickCallback(
        [this](const std::string& id, int shift, int ctrl) { onPicked(id, shift, ctrl); });
    viewerCreated_ = true;
}

// The file is read completely into a fresh graph before anything on view changes; only then
// is the new GL context made and the graph handed over. A file that cannot be shown leaves the
// picture, the context and the graph as they were.
int Glue::openGraphFile(const std::string& path) {
    openError_.clear();
    if (!viewerCreated_) {
        openError_ = "Cannot open " + quoted(path) + ": the view is not ready.";
        std::fprintf(stderr, "%s\n", openError_.c_str());
        return 0;
    }
    struct stat info {};
    std::ifstream in;
    if (::stat(path.c_str(), &info) != 0) {
        openError_ = "Cannot open " + quoted(path) + ": " + std::strerror(errno) + ".";
    } else if (S_ISDIR(info.st_mode)) {
        openError_ = "Cannot open " + quoted(path) + ": it is a directory.";
    } else {
        in.open(path, std::ios::in);
        if (!in) openError_ = "Cannot open " + quoted(path) + ": " + std::strerror(errno) + ".";
    }
    if (!openError_.empty()) {
        std::fprintf(stderr, "%s\n", openError_.c_str());
        return 0;
    }

    const uint64_t totalBytes = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    if (loadProgress) {
        viewer_->setLoadProgress(
            [this, totalBytes](uint64_t bytesRead) { loadProgress(bytesRead, totalBytes); });
    } else {
        viewer_->setLoadProgress(nullptr);
    }
    std::unique_ptr<Graph> fresh = viewer_->readGraph(in);
    viewer_->setLoadProgress(nullptr);
    if (in.bad()) {
        openError_ = "Cannot read " + quoted(path) + ": " + std::strerror(errno) + ".";
    } else if (!fresh) {
        openError_ = "Cannot show " + quoted(path) + ": it holds no graph (no node record).";
    }
    if (!openError_.empty()) {
        std::fprintf(stderr, "%s\n", openError_.c_str());
        return 0;
    }

    // Every file gets a fresh context; the surface releases the one made before.
    GlContext* context = viewer_->deviceContext().createContext();
    if (context == nullptr) {
        std::printf("wglCreateContext Failed\n");
        std::fflush(stdout);
        std::exit(1);
    }
    viewer_->setContext(context, lastWidth_, lastHeight_);
    viewer_->showGraph(std::move(fresh));
    applyLoadSettings();
    graphLoaded_ = true;
    return 1;
}

void Glue::applyLoadSettings() {
    Viewer& v = *viewer_;
    orvo::applyLoadSettings(*v.graph(), v.settings());
    v.renderer().updateProjection();  // the window's aspect ratio is in use from now on
}

void Glue::displayViewer() {
    if (ready()) viewer_->display();
}

void Glue::reshapeViewer(int width, int height) {
    if (ready()) viewer_->reshape(width, height);
    lastWidth_ = width;
    lastHeight_ = height;
}

void Glue::mouseButtonViewer(int button, int state, int x, int y, int shift, int ctrl) {
    if (ready()) viewer_->mouseButton(button, state, x, y, shift, ctrl);
}

void Glue::mouseDragViewer(int x, int y, int shift, int ctrl) {
    if (ready()) viewer_->mouseDrag(x, y, shift, ctrl);
}

void Glue::mouseMoveViewer(int x, int y, int shift, int ctrl) {
    if (ready()) viewer_->mouseMove(x, y, shift, ctrl);
}

int Glue::idleViewer() { return ready() ? viewer_->idle() : 0; }

void Glue::keyViewer(int character) {
    if (!viewerCreated_) return;
    Viewer& v = *viewer_;
    v.setKeepRedrawing(0);
    keys_.apply(v, character, lastSelectedId_);
    v.redraw();
}

// The new node is selected before the last one is unselected, so clicking the selected node
// again leaves it unselected.
void Glue::onPicked(const std::string& id, int /*shift*/, int /*ctrl*/) {
    if (!viewerCreated_) return;
    Viewer& v = *viewer_;
    if (id.find('|') != std::string::npos) v.centrePoint(0);
    v.selectNode(id, 1);
    v.selectNode(lastSelectedId_, 0);
    v.gotoNode(id, 0);
    v.redraw();
    lastSelectedId_ = id;
}

}  // namespace orvo

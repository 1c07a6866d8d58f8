// The window glue: global state of the one view, window initialisation, opening a graph file
// in a fresh GL context, the forwarding guards and what a click means.
#include "glue/glue.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

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

int Glue::fail(std::string message) {
    openError_ = std::move(message);
    std::fprintf(stderr, "%s\n", openError_.c_str());
    return 0;
}

// The input as a stream of outline text: a graph file as it is; anything the converter accepts
// converted into a string first (never through a temporary file). nullptr when it cannot be
// opened, with openError_ (and openCancelled_) saying why.
std::unique_ptr<std::istream> Glue::openInput(const std::string& path, uint64_t& totalBytes) {
    totalBytes = 0;
    if (inputConverter && inputConverter.accepts(path)) {
        report(LoadStage::Import, 0, 0);
        std::ostringstream text;
        const ConversionResult result = inputConverter.convert(
            path, text,
            [this](uint64_t done, uint64_t total) { report(LoadStage::Import, done, total); },
            loadCancel);
        for (const std::string& warning : result.warnings) {
            std::fprintf(stderr, "%s\n", warning.c_str());
        }
        if (result.cancelled || cancelRequested()) {
            openCancelled_ = true;
            openError_ = "Opening " + quoted(path) + " was cancelled.";
            return nullptr;
        }
        if (!result.ok) {
            fail("Cannot open " + quoted(path) + ": " +
                 (result.error.empty() ? std::string("it cannot be imported.") : result.error));
            return nullptr;
        }
        std::string outline = std::move(text).str();
        totalBytes = outline.size();
        return std::make_unique<std::istringstream>(std::move(outline));
    }

    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        fail("Cannot open " + quoted(path) + ": " + std::strerror(errno) + ".");
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        fail("Cannot open " + quoted(path) + ": it is a directory.");
        return nullptr;
    }
    auto in = std::make_unique<std::ifstream>(path, std::ios::in);
    if (!*in) {
        fail("Cannot open " + quoted(path) + ": " + std::strerror(errno) + ".");
        return nullptr;
    }
    totalBytes = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    return in;
}

// Reads the stream into a fresh graph, reporting the bytes read and, once the last byte is in,
// the layout that follows. A cancel stops the reader at its next chunk.
std::unique_ptr<Graph> Glue::readInput(std::istream& in, uint64_t totalBytes) {
    report(LoadStage::Read, 0, totalBytes);
    viewer_->setLoadProgress([this, &in, totalBytes](uint64_t bytesRead) {
        if (cancelRequested()) {
            in.setstate(std::ios::failbit);
            return;
        }
        report(LoadStage::Read, bytesRead, totalBytes);
        if (totalBytes > 0 && bytesRead >= totalBytes) report(LoadStage::Layout, 0, 0);
    });
    std::unique_ptr<Graph> fresh = viewer_->readGraph(in);
    viewer_->setLoadProgress(nullptr);
    return fresh;
}

// The input is read completely into a fresh graph before anything on view changes; only then
// is the new GL context made and the graph handed over. An input that cannot be shown, or a
// load that is cancelled, leaves the picture, the context and the graph as they were.
int Glue::openGraphFile(const std::string& path) {
    openError_.clear();
    openCancelled_ = false;
    if (!viewerCreated_) return fail("Cannot open " + quoted(path) + ": the view is not ready.");

    uint64_t totalBytes = 0;
    std::unique_ptr<std::istream> in = openInput(path, totalBytes);
    if (!in) return 0;

    // A graph read aside and then dropped must not move the top node of the one on view.
    const int32_t topNode = viewer_->settings().topNodeIndex;
    std::unique_ptr<Graph> fresh = readInput(*in, totalBytes);
    if (cancelRequested()) {
        fresh.reset();
        viewer_->settings().topNodeIndex = topNode;
        openCancelled_ = true;
        openError_ = "Opening " + quoted(path) + " was cancelled.";
        return 0;
    }
    if (in->bad()) {
        return fail("Cannot read " + quoted(path) + ": " + std::strerror(errno) + ".");
    }
    if (!fresh) {
        return fail("Cannot show " + quoted(path) + ": it holds no graph (no node record).");
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

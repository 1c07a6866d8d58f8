// Renderer set-up and the drawing of single nodes and links: GL state, display lists, camera and
// projection, the size measurement and centre tracking done while a node is drawn.
#include "render/renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "graph/graph.h"
#include "render/cube_vertices.h"
#include "render/finite_check.h"
#include "render/fixed_function_gl.h"
#include "render/gles3_backend.h"
#include "render/node_links.h"
#include "render/projection_matrices.h"
#include "render/sphere_wireframe.h"
#include "render/view_orientation.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

#if ORVO_FIXED_FUNCTION_GL
// Display list names.
constexpr GLuint kSphereList = 1;
constexpr GLuint kCubeFacesList = 2;
constexpr GLuint kFilledCubeList = 3;
constexpr GLuint kOutlinedCubeList = 4;
constexpr GLuint kCubeAndOutlineList = 5;
#endif

// A half turn about y, then the home orientation (the identity: its two directions are
// opposite).
ProjTransform homeViewTransform() {
    ProjTransform view = ProjTransform::identity();
    view.at(0, 0) = -1.0;
    view.at(2, 2) = -1.0;
    return view * homeRotation();
}

#if ORVO_FIXED_FUNCTION_GL
ProjTransform readMatrix(GLenum which) {
    ProjTransform t;
    glGetDoublev(which, t.m);
    return t;
}
#endif

}  // namespace

Renderer::Renderer(ViewerSettings& settings, GlSurface& surface)
    : settings_(settings),
      surface_(surface),
      depthScale_(static_cast<float>(1.0 / (std::pow(2.0, 32.0) - 1.0))) {
    baseOrientation_.fromMatrix(homeRotation());
}

Renderer::~Renderer() = default;

bool Renderer::makeCurrent() { return context_ != nullptr && surface_.makeCurrent(context_); }

std::string Renderer::backendError() const {
    if (!kFixedFunctionGl && modern_ == nullptr)
        return "this build draws through shaders alone: the surface offers no OpenGL ES 3.0 or "
               "3.3 core context";
    if (modern_ == nullptr || modern_->ready()) return {};
    return modern_->error().empty() ? "the shader back end is not set up" : modern_->error();
}

void Renderer::initContext(GlContext* context, int width, int height) {
    context_ = context;
    if (!makeCurrent()) return;
    viewport_ = {0, 0, width, height};
    const GlApi api = surface_.api();
    if (api == GlApi::Compatibility) {
        modern_.reset();
    } else {
        modern_ = std::make_unique<ModernBackend>();
        modern_->allowWideLines(glWideLines_);
        modern_->init(api);  // on failure nothing is drawn; backendError() says why
    }
    batch_.setModernBackend(modern_.get());
    depthFunction_.set(GL_LESS);  // as a new context starts, whatever the last one was left at
    const Colour& bg = settings_.backgroundColor;
    glClearColor(bg[0], bg[1], bg[2], 1.0f);
    buildSphereList();
    if (modern_ != nullptr) {
        initModernContext();
        return;
    }
#if ORVO_FIXED_FUNCTION_GL

    glNewList(kCubeFacesList, GL_COMPILE);
    glBegin(GL_QUADS);
    for (const auto& v : kCubeVertices) glVertex3f(v[0], v[1], v[2]);
    glEnd();
    glEndList();

    glNewList(kFilledCubeList, GL_COMPILE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glCallList(kCubeFacesList);
    glEndList();

    glNewList(kOutlinedCubeList, GL_COMPILE);
    glColor3f(0.0f, 0.0f, 0.0f);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glCallList(kCubeFacesList);
    glEndList();

    glNewList(kCubeAndOutlineList, GL_COMPILE);
    glCallList(kFilledCubeList);
    glCallList(kOutlinedCubeList);
    glEndList();

    glEnable(GL_DEPTH_TEST);
    glCullFace(GL_BACK);  // culling itself stays off: the cube's winding does not matter
    glShadeModel(GL_SMOOTH);

    updateProjection();

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, kCameraDistance, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    cameraMatrix_ = readMatrix(GL_MODELVIEW_MATRIX);

    showFirstFrames();
#endif
}

void Renderer::showFirstFrames() {
    viewTransform_ = homeViewTransform();
    baseView_ = viewTransform_;

    const uint8_t wasContinuing = continuing_;
    continuing_ = 0;
    beginFrame();
    swap();
    continuing_ = wasContinuing;

    buildFont();
    setKeepRedrawing(1);

    beginFrame();
    // The sphere once more, now through the view transform.
    if (modern_ != nullptr) {
        modern_->drawSphere(viewTransform_ * cameraMatrix_ * projectionMatrix_,
                            settings_.sphereColor.data(), false);
    } else {
#if ORVO_FIXED_FUNCTION_GL
        glCallList(kSphereList);
#endif
    }
    swap();
}

void Renderer::initModernContext() {
    glEnable(GL_DEPTH_TEST);
    updateProjection();
    cameraMatrix_ = cameraAtDistance(kCameraDistance);
    showFirstFrames();
}

void Renderer::resetViewWith(const ProjTransform& m) {
    if (!commitView(baseView_ * m)) viewTransform_ = baseView_;
}

void Renderer::resetViewToNode(int32_t index) {
    viewTransform_ = baseView_;
    if (graph_ == nullptr || index < 0 || static_cast<size_t>(index) >= graph_->nodes.size()) {
        return;
    }
    const Node* n = graph_->nodes[index];
    if (n != nullptr) commitView(baseView_ * graph_->globalTransform(*n));
}

void Renderer::resize(int width, int height) {
    if (makeCurrent()) {
        glViewport(0, 0, width, height);
        glScissor(0, 0, width, height);
    }
    viewport_[2] = width;
    viewport_[3] = height;
}

void Renderer::updateProjection() {
    if (!makeCurrent()) return;
    const double aspect =
        settings_.useWindowAspect != 0 ? static_cast<double>(viewport_[2]) / viewport_[3] : 1.0;
    constexpr double kDegreesPerRadian = 57.297469361769856;  // 180 / 3.1415
    double fovy;
    if (aspect <= 1.0) {
        fovy = 2.0 * std::atan2(2.25 / (2.0 * aspect), 3.0) * kDegreesPerRadian;
        if (fovy > 180.0) fovy = 179.0;
    } else {
        fovy = 2.0 * std::atan2(1.125, 3.0) * kDegreesPerRadian;
    }
    if (modern_ != nullptr) {
        projectionMatrix_ = perspectiveMatrix(fovy, aspect, 1.5, 4.5);
    } else {
#if ORVO_FIXED_FUNCTION_GL
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(fovy, aspect, 1.5, 4.5);
        projectionMatrix_ = readMatrix(GL_PROJECTION_MATRIX);
#endif
    }
    updateLabelThreshold();
}

void Renderer::setClearColour() {
    if (!makeCurrent()) return;
    const Colour& bg = settings_.backgroundColor;
    glClearColor(bg[0], bg[1], bg[2], 1.0f);
}

void Renderer::buildSphereList() {
    if (!makeCurrent()) return;
    if (modern_ != nullptr) {
        modern_->setSphere(sphereWireframeLoops());
        return;
    }
#if ORVO_FIXED_FUNCTION_GL
    glNewList(kSphereList, GL_COMPILE);
    glDisable(GL_CULL_FACE);
    glLineWidth(1.0f);
    const Colour& c = settings_.sphereColor;
    glColor3f(c[0], c[1], c[2]);
    for (const SphereLoop& loop : sphereWireframeLoops()) {
        glBegin(GL_LINE_LOOP);
        for (const auto& v : loop) glVertex3f(v[0], v[1], v[2]);
        glEnd();
    }
    glEndList();
#endif
}

void Renderer::setCamera() {
    if (modern_ != nullptr) {
        modern_->setProjection(projectionMatrix_, viewport_[2] - viewport_[0],
                               viewport_[3] - viewport_[1]);
    } else {
        setFixedCamera();
    }
    ProjTransform toCorner, toPixels;
    toCorner.setEuclideanTranslation(1.0, 1.0, 0.0);
    toPixels.setEuclideanScale(0.5 * (viewport_[2] - viewport_[0] + 1),
                               0.5 * (viewport_[3] - viewport_[1] + 1), 1.0);
    screenMatrix_ = cameraMatrix_ * projectionMatrix_ * toCorner * toPixels;
}

void Renderer::setFixedCamera() {
#if ORVO_FIXED_FUNCTION_GL
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (picking_) {
        GLint vp[4] = {viewport_[0], viewport_[1], viewport_[2], viewport_[3]};
        if (pickingUnder_) {
            gluPickMatrix(pickX_ + 0.5, viewport_[3] - pickY_ - 0.5, kPickUnderSize, kPickUnderSize,
                          vp);
        } else {
            gluPickMatrix(pickX_, viewport_[3] - pickY_, 3.0, 3.0, vp);
        }
    }
    glMultMatrixd(projectionMatrix_.m);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMultMatrixd(cameraMatrix_.m);
#endif
}

void Renderer::beginFrame() {
    surface_.setDrawBuffer(DrawBuffer::Back);
    depthFunction_.set(GL_LESS);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setCamera();
    if (!picking_ && settings_.drawSphere != 0) {
        if (modern_ != nullptr) {
            modern_->drawSphere(cameraMatrix_ * projectionMatrix_, settings_.sphereColor.data(),
                                labelsOnTop());
        } else {
#if ORVO_FIXED_FUNCTION_GL
            const DepthBandScope band(labelsOnTop(), kLinkDepths);
            glCallList(kSphereList);
#endif
        }
    }
#if ORVO_FIXED_FUNCTION_GL
    if (modern_ == nullptr) glMultMatrixd(viewTransform_.m);
#endif
    batch_.setView(viewTransform_, cameraMatrix_);
    batch_.setCubesInFront(!picking_ && labelsOnTop());
}

void Renderer::resumeFrame() {
    surface_.setDrawBuffer(DrawBuffer::Front);
    depthFunction_.set(GL_LESS);
    setCamera();
#if ORVO_FIXED_FUNCTION_GL
    if (modern_ == nullptr) glMultMatrixd(viewTransform_.m);
#endif
    batch_.setView(viewTransform_, cameraMatrix_);
    batch_.setCubesInFront(labelsOnTop());
}

void Renderer::swap() {
    if (picking_ || continuing_) return;
    surface_.swapBuffers();
}

bool Renderer::commitView(const ProjTransform& v) {
    if (!isFinite(v)) return false;
    viewTransform_ = v;
    return true;
}

Renderer::ScreenMeasure Renderer::measureOnScreen(const Node& n) const {
    const ProjPoint w = graph_->globalTransform(n).apply(ProjPoint());
    const ProjPoint p = viewTransform_.apply(w);
    const ProjPoint q1(p.x + 0.04, p.y, p.z + 0.06, p.w);
    const ProjPoint q2(q1.x - 0.08, q1.y, q1.z, q1.w);
    return {w, dehomogenized(screenMatrix_.apply(q1)), dehomogenized(screenMatrix_.apply(q2))};
}

namespace {

// A veiled node's dot: a cube a third the size, in a grey that shows on every background.
constexpr float kVeiledDotColour[3] = {0.4f, 0.4f, 0.4f};

const ProjTransform& veiledDotScale() {
    static const ProjTransform scale = [] {
        ProjTransform t;
        t.setEuclideanScale(0.35, 0.35, 0.35);
        return t;
    }();
    return scale;
}

}  // namespace

void Renderer::drawNode(Node* n, DrawBatch* batch) {
    if (n == nullptr || !n->isShown()) return;
#if ORVO_FIXED_FUNCTION_GL
    if (batch == nullptr) glLoadName(static_cast<GLuint>(n->index));
#endif

    double s = 0.0;
    if (!picking_) {
        // Size: the width in pixels of the cube, measured across the node in front of its
        // centre. Overflowed positions are not sized and cannot take the centre role.
        const ScreenMeasure m = measureOnScreen(*n);
        const ProjPoint& w = m.world;
        const ProjPoint& r1 = m.right;
        const ProjPoint& r2 = m.left;
        s = std::fabs(r1.euclideanDistance(r2));
        const bool sized = isFinite(r1) && isFinite(r2) && std::isfinite(s);
        if (!sized) s = 0.0;
        const double h = w.distance(viewCentre_);
        const bool located = std::isfinite(h);

        if (sized && located && s > bestApparentSize_ && s < 100.0 &&
            (centreNode_ == nullptr || h <= centreNode_->centreDistance)) {
            if (settings_.autoRecentre != 0) centreNode_ = n;
            bestApparentSize_ = s;
        }
        n->apparentSize = s;
        n->centreDistance = located ? h : kUnreachedDistance;

        if (sized && n->generation < settings_.nodeGenerationLimit && settings_.labelChoice != 0 &&
            labelLimit() < s && (n->flags & Veiled) == 0) {
            const ProjPoint& r = labelRight_ ? r1 : r2;
            placeLabel(*n, labelAnchorFrom(*n, r), batch);
        }
    }

    if (!isDrawable(graph_->globalTransform(*n))) return;
    const bool veiled = (n->flags & Veiled) != 0;
    // A veiled node is passed through, never picked: its dot marks where the links meet.
    if (veiled && picking_) return;
    const float* colour = veiled ? kVeiledDotColour : cubeColour(*n);
    const ProjTransform placement =
        veiled ? veiledDotScale() * graph_->globalTransform(*n) : graph_->globalTransform(*n);
    // At or beyond the generation limit a node is traversed and sized but has no geometry.
    const bool geometry = n->generation < settings_.nodeGenerationLimit;
    const bool outlined = !picking_ && !veiled && settings_.outlineMinSize < s;
    if (batch != nullptr) {
        if (geometry) batch->addCube(placement, colour, outlined);
        return;
    }
#if ORVO_FIXED_FUNCTION_GL
    // The node's transform and the view are multiplied here in double precision: far from the
    // home view both hold entries in the thousands, too many digits for GL's single precision.
    glPushMatrix();
    glLoadMatrixd(cameraMatrix_.m);
    glMultMatrixd((placement * viewTransform_).m);
    glColor3f(colour[0], colour[1], colour[2]);
    glLineWidth(1.0f);
    const DepthBandScope band(!picking_ && labelsOnTop(), kCubeDepths);
    if (geometry) {
        glCallList(kFilledCubeList);
        if (outlined) {
            const OutlineDepthTest outlineTest(!picking_ && labelsOnTop(), depthFunction_);
            glCallList(kOutlinedCubeList);
        }
    }
    glPopMatrix();
#endif
}

const float* Renderer::cubeColour(const Node& n) const {
    if (settings_.redCentreNode != 0 && n.generation == 0) {
        static constexpr float kRed[3] = {1.0f, 0.0f, 0.0f};
        return kRed;
    }
    if (n.flags & Highlighted) return settings_.highlightColor.data();
    // With labels on top a selected node keeps its own colour (a status, a group) and is ringed.
    if ((n.flags & Selected) && !labelsOnTop()) return settings_.selectedColor.data();
    if (nodeColours_ != nullptr && graph_ != nullptr &&
        nodeColours_->size() == 3 * graph_->nodes.size())
        return nodeColours_->data() + 3 * static_cast<size_t>(n.index);
    const float* colour = graph_ != nullptr ? graph_->nodeColor(n) : nullptr;
    if (colour != nullptr) return colour;
    static constexpr float kGrey[3] = {0.7f, 0.7f, 0.7f};
    return graph_ != nullptr ? graph_->defaultColor : kGrey;
}

WindowBox Renderer::cubeBoxOnScreen(const Node& n) const {
    return cubeWindowBox(graph_->globalTransform(n), currentWindowMatrix());
}

namespace {

// While per-node calls draw links, GL holds only the camera: drawLink applies the view itself.
class CameraOnly {
public:
    CameraOnly(bool on, const ProjTransform& camera) : on_(on) {
        if (!on_) return;
#if ORVO_FIXED_FUNCTION_GL
        glPushMatrix();
        glLoadMatrixd(camera.m);
#else
        static_cast<void>(camera);
#endif
    }
    ~CameraOnly() {
#if ORVO_FIXED_FUNCTION_GL
        if (on_) glPopMatrix();
#endif
    }
    CameraOnly(const CameraOnly&) = delete;
    CameraOnly& operator=(const CameraOnly&) = delete;

private:
    bool on_;
};

}  // namespace

void Renderer::drawNodeLinks(Node* n, DrawBatch* batch) {
    if (!n->isShown()) return;
    const CameraOnly cameraOnly(batch == nullptr, cameraMatrix_);
    // Set outside the runs of lines (glDepthRange is refused between glBegin and glEnd).
    const DepthBandScope band(batch == nullptr && !picking_ && labelsOnTop(), kLinkDepths);
    forEachLinkDrawnWith(
        *n, settings_.linkGenerationLimit - 1, graph_, shownLinks_,
        [&](float width) {
#if ORVO_FIXED_FUNCTION_GL
            if (batch == nullptr) glLineWidth(width);
#endif
            linkWidth_ = width;
        },
        [&](Link* k) {
            drawLink(k, batch);
            return false;
        },
        [&] { endLinks(); });
}

void Renderer::drawLink(Link* k, DrawBatch* batch) {
    if (!k->isShown()) return;
    // A link drawn again (a pick pass, a node drawn twice) is listed once.
    if (!(k->flags & Drawn)) drawnLinks_.push_back(k);
    k->flags |= Drawn;
    const ProjPoint fromPoint = graph_->positionOf(*k->fromNode), toPoint = graph_->positionOf(*k->toNode);
    if (!isFinite(fromPoint) || !isFinite(toPoint)) return;
    if (batch != nullptr) {
        batch->addLink(fromPoint, toPoint, settings_.linkFromColor.data(),
                       settings_.linkToColor.data(), linkWidth_ > 1.0f);
        return;
    }
#if ORVO_FIXED_FUNCTION_GL
    if (picking_) {
        if (pickPrefilter_ && !linkMayTouchPick(*k, linkWidth_)) return;
        // Every link is its own named object.
        glLoadName(~static_cast<GLuint>(k->index));
        glBegin(GL_LINES);
    } else if (!linesOpen_) {
        // Names mean nothing outside selection: the links of a node share one run of lines,
        // which draws exactly what one run per link would.
        glBegin(GL_LINES);
        linesOpen_ = true;
    }
    const ProjPoint from = viewTransform_.apply(fromPoint), to = viewTransform_.apply(toPoint);
    glColor4fv(settings_.linkFromColor.data());
    glVertex4d(from.x, from.y, from.z, from.w);
    glColor4fv(settings_.linkToColor.data());
    glVertex4d(to.x, to.y, to.z, to.w);
    if (picking_) glEnd();
#endif
}

void Renderer::endLinks() {
    if (!linesOpen_) return;
#if ORVO_FIXED_FUNCTION_GL
    glEnd();
#endif

    linesOpen_ = false;
}

void Renderer::markSelected(Node& node, int on) {
    if (on != 0) {
        node.flags |= Selected;
        lastSelected_ = &node;
    } else {
        node.flags &= static_cast<uint8_t>(~Selected);
        if (lastSelected_ == &node) lastSelected_ = nullptr;
    }
    if (!node.isShown() || !node.isDrawn()) return;
    redrawNodeInFront(&node);
    const size_t from = drawnNodes_.size();
    if (pickBoundsValid_ && pickBounds_.size() == from) recordPickBounds(node);
    drawnNodes_.push_back(&node);
    mergeDrawnNodes(from);
}

void Renderer::redrawNodeInFront(Node* n) {
    if (!makeCurrent()) return;
    surface_.setDrawBuffer(DrawBuffer::Front);
    depthFunction_.set(GL_LEQUAL);
    setCamera();
#if ORVO_FIXED_FUNCTION_GL
    if (modern_ == nullptr) glMultMatrixd(viewTransform_.m);
#endif
    batch_.setView(viewTransform_, cameraMatrix_);
    // The same path as the frame's, so that the cube meets its own depths exactly.
    DrawBatch* batch = drawingBatch();
    batch_.setCubesInFront(labelsOnTop());
    drawNode(n, batch);
    if (batch != nullptr) batch->draw();
    if (labelsOnTop() && (n->flags & Selected) != 0) {
        depthFunction_.set(GL_LESS);
        drawMark(*n);
    }
    surface_.flushFront();
}

}  // namespace orvo

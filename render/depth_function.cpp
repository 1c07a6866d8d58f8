#include "render/depth_function.h"

#include <GL/gl.h>

namespace orvo {

static_assert(GL_LESS == 0x0201, "the depth function starts as GL's does");

void DepthFunction::set(unsigned function) {
    glDepthFunc(static_cast<GLenum>(function));
    current_ = function;
}

}  // namespace orvo

// Whether this build has the fixed-function GL: OpenGL 1.1's matrix stack, display lists,
// selection mode, bitmaps and GLU. The desktop's has; the browser's (WebGL 2, OpenGL ES 3.0) has
// not, and draws through the shader back end alone. The statements that need it stand under
// `if constexpr (kFixedFunctionGl)`, so that the browser's link, which allows no undefined
// symbol, proves none of them is left in.
#pragma once

#ifndef ORVO_FIXED_FUNCTION_GL
#define ORVO_FIXED_FUNCTION_GL 1
#endif

namespace orvo {

inline constexpr bool kFixedFunctionGl = ORVO_FIXED_FUNCTION_GL != 0;

}  // namespace orvo

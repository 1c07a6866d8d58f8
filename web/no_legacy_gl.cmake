# Fails the browser build when its module calls any fixed-function GL: the toolchain defines a few
# such functions (glBegin, glMatrixMode, glLoadIdentity, glVertexPointer) as stubs that throw when
# called, so the link alone would let them through. The module is removed, so that the next build
# makes it again.
#   cmake -DMODULE=orvo-web.js -P no_legacy_gl.cmake
file(READ "${MODULE}" script)
string(REGEX MATCHALL "Legacy GL function \\([A-Za-z0-9_]+\\)" calls "${script}")
if(calls)
  list(REMOVE_DUPLICATES calls)
  file(REMOVE "${MODULE}")
  message(FATAL_ERROR "the browser module calls fixed-function GL, which WebGL 2 lacks: ${calls}")
endif()

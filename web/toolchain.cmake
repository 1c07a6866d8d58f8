# What the browser build (emcmake) sets before the core's libraries are made.
#
# The reader reports a graph too big for memory by catching std::bad_alloc, and the layout
# falls back to one thread when none can start: exceptions stay on, as WebAssembly's own.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions)

# Boost's header-only parts. The cross toolchain looks for headers in its
# own system root only, and the build machine's /usr/include cannot be put on the include path
# (its C library headers would shadow the toolchain's): a folder holding nothing but a link to
# the Boost headers stands in for it.
set(ORVO_BOOST_ROOT "/usr/include" CACHE PATH "Folder holding the Boost headers (boost/...)")
if(NOT EXISTS "${ORVO_BOOST_ROOT}/boost/version.hpp")
  message(FATAL_ERROR "No Boost headers under ${ORVO_BOOST_ROOT} (install libboost1.81-dev, or "
                      "set ORVO_BOOST_ROOT)")
endif()
set(ORVO_BOOST_LINK_DIR "${CMAKE_BINARY_DIR}/boost-headers")
file(MAKE_DIRECTORY "${ORVO_BOOST_LINK_DIR}")
file(CREATE_LINK "${ORVO_BOOST_ROOT}/boost" "${ORVO_BOOST_LINK_DIR}/boost" SYMBOLIC)
add_library(Boost::headers INTERFACE IMPORTED)
target_include_directories(Boost::headers SYSTEM INTERFACE "${ORVO_BOOST_LINK_DIR}")

# What the browser build (emcmake) sets before the core's libraries are made.
#
# The reader reports a graph too big for memory by catching std::bad_alloc, and the layout
# falls back to one thread when none can start: exceptions stay on, as WebAssembly's own.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions)

# An imported target whose include folder (FOLDER, in the build directory) holds nothing but a
# link named LINK_NAME to SOURCE: the one header or header tree it stands for, and no other.
function(orvo_headers_through_link target folder source link_name)
  set(dir "${CMAKE_BINARY_DIR}/${folder}")
  file(MAKE_DIRECTORY "${dir}")
  file(CREATE_LINK "${source}" "${dir}/${link_name}" SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED)
  target_include_directories(${target} SYSTEM INTERFACE "${dir}")
endfunction()

# Boost's header-only parts. The cross toolchain looks for headers in its
# own system root only, and the build machine's /usr/include cannot be put on the include path
# (its C library headers would shadow the toolchain's): a folder holding nothing but a link to
# the Boost headers stands in for it.
set(ORVO_BOOST_ROOT "/usr/include" CACHE PATH "Folder holding the Boost headers (boost/...)")
if(NOT EXISTS "${ORVO_BOOST_ROOT}/boost/version.hpp")
  message(FATAL_ERROR "No Boost headers under ${ORVO_BOOST_ROOT} (install libboost1.81-dev, or "
                      "set ORVO_BOOST_ROOT)")
endif()
orvo_headers_through_link(Boost::headers boost-headers "${ORVO_BOOST_ROOT}/boost" boost)

# xxHash, which the map reader uses header-only, the same way: a folder holding only a link to
# its one header. (-idirafter /usr/include would find it too, but would also let any header the
# toolchain lacks be taken from the build machine's C library without a word.)
set(ORVO_XXHASH_HEADER "/usr/include/xxhash.h" CACHE FILEPATH "xxHash's header (xxhash.h)")
if(NOT EXISTS "${ORVO_XXHASH_HEADER}")
  message(FATAL_ERROR "No ${ORVO_XXHASH_HEADER} (install libxxhash-dev, or set ORVO_XXHASH_HEADER)")
endif()
orvo_headers_through_link(xxhash::headers xxhash-headers "${ORVO_XXHASH_HEADER}" xxhash.h)

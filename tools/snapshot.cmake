# orvo-snapshot: draws a graph file headless on the offscreen surface and writes a PNG.
add_executable(orvo-snapshot ${CMAKE_CURRENT_LIST_DIR}/orvo_snapshot.cpp)
target_link_libraries(orvo-snapshot PRIVATE orvo_glue orvo_picture_export orvo_tool_input
  orvo_platform_offscreen CLI11::CLI11)
target_compile_definitions(orvo-snapshot PRIVATE ORVO_VERSION="${PROJECT_VERSION}")
install(TARGETS orvo-snapshot RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The GL tests run the tool and read its picture back; they are defined later (tests/), so the
# hook-up waits until the whole project is configured.
function(orvo_snapshot_hook_gl_tests)
  if(TARGET orvo_gl_tests)
    add_dependencies(orvo_gl_tests orvo-snapshot)
    target_compile_definitions(orvo_gl_tests PRIVATE
      ORVO_SNAPSHOT_DIR="$<TARGET_FILE_DIR:orvo-snapshot>")
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL orvo_snapshot_hook_gl_tests)

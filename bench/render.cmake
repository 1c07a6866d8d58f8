# The renderer's benchmark: time slices, frame start and picking on the offscreen rasteriser.
add_executable(orvo_render_bench ${CMAKE_CURRENT_LIST_DIR}/render_bench.cpp)
target_link_libraries(orvo_render_bench PRIVATE
  orvo_render orvo_window_settings orvo_platform_offscreen orvo_sitegen benchmark::benchmark)

# The first slice after opening a graph against later fresh slices, each run a fresh process.
add_executable(orvo_first_slice_bench ${CMAKE_CURRENT_LIST_DIR}/first_slice_bench.cpp)
target_link_libraries(orvo_first_slice_bench PRIVATE
  orvo_glue orvo_platform_offscreen orvo_sitegen benchmark::benchmark)

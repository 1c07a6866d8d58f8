# The window glue and keyboard commands without any toolkit: used by the desktop application and
# by orvo-snapshot (whose --keys goes through the same commands).
include_guard(GLOBAL)
add_library(orvo_glue STATIC ${CMAKE_CURRENT_LIST_DIR}/glue.cpp ${CMAKE_CURRENT_LIST_DIR}/keys.cpp)
target_link_libraries(orvo_glue PUBLIC orvo_render)
target_include_directories(orvo_glue PUBLIC ${PROJECT_SOURCE_DIR})

# Read by ctest after the discovered tests: the tests that write the fixed debug-dump file
# "/tmp/corvane" take one lock, so that `ctest -j` never runs two of them at once.
set_tests_properties(
  Dump.ReloadWritesTheDebugOutputOnlyWhenAsked
  InspectTool.HonoursDebugEnvironmentLikeTheViewer
  PROPERTIES RESOURCE_LOCK orvo_debug_dump_file)

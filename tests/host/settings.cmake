# The CLI end to end: the command line, the inputs, dump through the module
# built here, the registry commands.
# The .reg tests read the platform editor's files, committed in every
# encoding it writes.
target_compile_definitions(host_tests PRIVATE TRELLAN_REG_FIXTURES="${CMAKE_CURRENT_SOURCE_DIR}/host/regfile/fixtures")
# The media sets that both bindings must read alike: the samples and the
# seeds of the editor's and the filter's fuzzers.
target_compile_definitions(host_tests PRIVATE TRELLAN_MEDIA_SETS="${CMAKE_SOURCE_DIR}/samples:${CMAKE_SOURCE_DIR}/fuzz/corpus/editor:${CMAKE_SOURCE_DIR}/fuzz/corpus/filter")
# dump and index filter in worker processes: the worker's program is built first.
if(TARGET trellan_filter_worker)
  add_dependencies(host_tests trellan_filter_worker)
endif()
# A filter module that crashes, hangs, eats memory or writes on the files
# named for it: the host must lose those files alone.
add_library(hostile_filter MODULE ${CMAKE_CURRENT_SOURCE_DIR}/hostile_filter/hostile_filter.cpp)
set_target_properties(hostile_filter PROPERTIES PREFIX "")
target_link_libraries(hostile_filter PRIVATE trellan_platform)
target_include_directories(hostile_filter PRIVATE ${CMAKE_SOURCE_DIR}/sdk)
add_dependencies(host_tests hostile_filter)
target_compile_definitions(host_tests PRIVATE TRELLAN_HOSTILE_MODULE_PATH="$<TARGET_FILE:hostile_filter>")

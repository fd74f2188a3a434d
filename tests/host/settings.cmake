# The CLI end to end: the command line, the inputs, dump through the module
# built here, the registry commands.
# The .reg tests read the platform editor's files, committed in every
# encoding it writes.
target_compile_definitions(host_tests PRIVATE TRELLAN_REG_FIXTURES="${CMAKE_CURRENT_SOURCE_DIR}/host/regfile/fixtures")
# The media sets that both bindings must read alike: the samples and the
# seeds of the editor's and the filter's fuzzers.
target_compile_definitions(host_tests PRIVATE TRELLAN_MEDIA_SETS="${CMAKE_SOURCE_DIR}/samples:${CMAKE_SOURCE_DIR}/fuzz/corpus/editor:${CMAKE_SOURCE_DIR}/fuzz/corpus/filter")

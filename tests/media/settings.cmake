# The media tests read the sample files and their README from the source tree.
target_compile_definitions(media_tests PRIVATE TRELLAN_SAMPLES_DIR="${CMAKE_SOURCE_DIR}/samples")

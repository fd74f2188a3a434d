# The media tests read the sample files and their README from the source tree.
target_compile_definitions(media_tests PRIVATE TRELLAN_SAMPLES_DIR="${CMAKE_SOURCE_DIR}/samples")
# Compressed ID3v2 frames are written with zlib.
find_package(ZLIB REQUIRED)
target_link_libraries(media_tests PRIVATE ZLIB::ZLIB)

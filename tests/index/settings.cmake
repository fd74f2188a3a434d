# The index tests open index databases directly, and drive the CLI.
target_link_libraries(index_tests PRIVATE trellan_host)

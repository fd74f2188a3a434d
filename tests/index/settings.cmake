# The index tests open index databases directly, and drive the CLI.
target_link_libraries(index_tests PRIVATE trellan_host)
add_dependencies(index_tests trellan trellan_module)
target_compile_definitions(index_tests PRIVATE TRELLAN_CLI_PATH="$<TARGET_FILE:trellan>")

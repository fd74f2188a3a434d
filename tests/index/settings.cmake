# The index tests open index databases directly, and drive the CLI through
# the module built here.
add_dependencies(index_tests trellan_module)
target_compile_definitions(index_tests PRIVATE TRELLAN_MODULE_PATH="$<TARGET_FILE:trellan_module>")

# The CLI end to end: the command line, the inputs, and dump through the
# module built here.
add_dependencies(host_tests trellan_module)
target_compile_definitions(host_tests PRIVATE TRELLAN_MODULE_PATH="$<TARGET_FILE:trellan_module>")

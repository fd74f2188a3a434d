# The interpreter, and the CLI's script command.
target_link_libraries(script_tests PRIVATE trellan_registration trellan_host)

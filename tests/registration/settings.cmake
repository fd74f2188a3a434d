if(TARGET registration_tests)
  target_link_libraries(registration_tests PRIVATE trellan_registration trellan_server)
  target_compile_definitions(registration_tests PRIVATE
    TRELLAN_TEST_TEMP_DIR="${CMAKE_CURRENT_BINARY_DIR}"
    TRELLAN_TYPELIB_FILE="${TRELLAN_TYPELIB_FILE}"
    TRELLAN_EXPECTED_REGISTRATION="${CMAKE_CURRENT_SOURCE_DIR}/registration/expected_registration.txt")
endif()

add_library(registration_empty_module MODULE ${CMAKE_CURRENT_SOURCE_DIR}/registration/empty_module/empty_module.cpp)
set_target_properties(registration_empty_module PROPERTIES PREFIX "" OUTPUT_NAME empty_module)
if(TARGET registration_tests)
  add_dependencies(registration_tests registration_empty_module)
  target_compile_definitions(registration_tests PRIVATE
    TRELLAN_EMPTY_MODULE_PATH="$<TARGET_FILE:registration_empty_module>")
endif()
# Scripted module paths (module_path_double.cpp): the module loaded in the
# tests binds to the program's GetModuleHandleExW.
if(TARGET registration_tests)
  target_link_libraries(registration_tests PRIVATE ${CMAKE_DL_LIBS})
  target_link_options(registration_tests PRIVATE -Wl,--export-dynamic-symbol=GetModuleHandleExW)
endif()
# The trellan command, run as separate processes against one registry file.
if(TARGET registration_tests AND TARGET trellan)
  add_dependencies(registration_tests trellan)
  target_compile_definitions(registration_tests PRIVATE
    TRELLAN_CLI_PATH="$<TARGET_FILE:trellan>" TRELLAN_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
endif()

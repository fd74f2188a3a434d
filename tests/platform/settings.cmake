# Test data of the module and type-library tests: the filter's compiled resources inside
# a small module of its own, the same module without resources, and a type
# library with automation interfaces compiled from automation.idl.
set(typelib_dir ${CMAKE_CURRENT_SOURCE_DIR}/platform)

add_library(typelib_resource_module SHARED ${typelib_dir}/kernel32/module/resource_module.cpp
  $<TARGET_OBJECTS:trellan_resources>)
add_library(typelib_bare_module SHARED ${typelib_dir}/kernel32/module/resource_module.cpp)
set_target_properties(typelib_resource_module typelib_bare_module PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/typelib)
add_dependencies(typelib_resource_module trellan_resources)

file(GLOB typelib_stdole2 /usr/lib/*/wine/*-windows/stdole2.tlb /usr/lib/wine/*-windows/stdole2.tlb)
list(GET typelib_stdole2 0 typelib_stdole2)
get_filename_component(typelib_stdole2_dir ${typelib_stdole2} DIRECTORY)
set(typelib_automation ${CMAKE_CURRENT_BINARY_DIR}/typelib/automation.tlb)
add_custom_command(
  OUTPUT ${typelib_automation}
  COMMAND ${TRELLAN_WIDL} -t -I ${TRELLAN_WINE_IDL_DIR} -L ${typelib_stdole2_dir}
          -o ${typelib_automation} ${typelib_dir}/oleaut32/automation.idl
  DEPENDS ${typelib_dir}/oleaut32/automation.idl
  COMMENT "Automation test type library")
add_custom_target(typelib_test_data DEPENDS ${typelib_automation})

add_dependencies(platform_tests typelib_resource_module typelib_bare_module typelib_test_data)
target_compile_definitions(platform_tests PRIVATE
  TYPELIB_TEST_TLB="${TRELLAN_TYPELIB_FILE}"
  TYPELIB_TEST_REGSCRIPT="${CMAKE_SOURCE_DIR}/registration/resources/trellan.regscript"
  TYPELIB_TEST_MODULE="$<TARGET_FILE:typelib_resource_module>"
  TYPELIB_TEST_BARE_MODULE="$<TARGET_FILE:typelib_bare_module>"
  TYPELIB_TEST_AUTOMATION_TLB="${typelib_automation}")

# The registry tests read the database file directly to check its integrity.
find_package(SQLite3 REQUIRED)
target_link_libraries(platform_tests PRIVATE SQLite::SQLite3)

# The metadata editor's tests read the sample files and their README from the source tree.
target_compile_definitions(platform_tests PRIVATE TRELLAN_SAMPLES_DIR="${CMAKE_SOURCE_DIR}/samples")
# Compressed ID3v2 frames are written with zlib.
find_package(ZLIB REQUIRED)
target_link_libraries(platform_tests PRIVATE ZLIB::ZLIB)

# The editor against an independent reader (python3-mutagen, from Debian) over
# thousands of generated files; it fails when mutagen is missing.
add_test(NAME wmvcore_differential
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/platform/wmvcore/differential_check.py --build ${CMAKE_BINARY_DIR})
set_tests_properties(wmvcore_differential PROPERTIES TIMEOUT 120)

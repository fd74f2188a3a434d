# The registry tests read the database file directly to check its integrity,
# and drive the CLI's export and import.
find_package(SQLite3 REQUIRED)
target_link_libraries(registry_tests PRIVATE SQLite::SQLite3 trellan_host)
target_compile_definitions(registry_tests PRIVATE TRELLAN_REG_FIXTURES="${CMAKE_CURRENT_SOURCE_DIR}/registry/fixtures")

# The Windows side of the switch header: the real SDK's import libraries.
# The media-format runtime (wmvcore.dll) is not among them: the filter loads
# it from the system folder when it first filters a file, so that the DLL
# loads and registers where the runtime is missing.

# The media-format runtime's interface ids, which no MinGW-w64 library holds.
add_library(trellan_sdk_guids STATIC ${CMAKE_SOURCE_DIR}/sdk/wmsdk_guids.cpp)
target_include_directories(trellan_sdk_guids PRIVATE ${CMAKE_SOURCE_DIR}/sdk)

target_link_libraries(trellan_sdk INTERFACE trellan_sdk_guids ole32 oleaut32 uuid advapi32 user32)
target_compile_definitions(trellan_sdk INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# The Windows side of the switch header: the real SDK's import libraries,
# and an import library for the media-format runtime, which MinGW-w64 lacks.
set(WMVCORE_DEF ${CMAKE_SOURCE_DIR}/cmake/wmvcore.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # 64-bit names carry no stdcall decoration.
  set(WMVCORE_DEF ${CMAKE_SOURCE_DIR}/cmake/wmvcore64.def)
endif()
set(WMVCORE_IMPLIB ${CMAKE_BINARY_DIR}/libwmvcore.a)
add_custom_command(
  OUTPUT ${WMVCORE_IMPLIB}
  COMMAND ${CMAKE_DLLTOOL} -k -d ${WMVCORE_DEF} -l ${WMVCORE_IMPLIB}
  DEPENDS ${WMVCORE_DEF}
  COMMENT "Import library for wmvcore.dll")
add_custom_target(wmvcore_implib DEPENDS ${WMVCORE_IMPLIB})

add_library(wmvcore STATIC IMPORTED GLOBAL)
set_target_properties(wmvcore PROPERTIES IMPORTED_LOCATION ${WMVCORE_IMPLIB})
add_dependencies(wmvcore wmvcore_implib)

# The media-format runtime's interface ids, which no MinGW-w64 library holds.
add_library(trellan_sdk_guids STATIC ${CMAKE_SOURCE_DIR}/sdk/wmsdk_guids.cpp)
target_include_directories(trellan_sdk_guids PRIVATE ${CMAKE_SOURCE_DIR}/sdk)

target_link_libraries(trellan_sdk INTERFACE trellan_sdk_guids wmvcore ole32 oleaut32 uuid advapi32 user32)
target_compile_definitions(trellan_sdk INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

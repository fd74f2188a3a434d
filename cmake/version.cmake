# The release version: four numbers, major.minor.patch.build, read from the
# file VERSION at the top of the sources. The version resource of the module
# (registration/resources) and the release archives (scripts/package.sh)
# both take it from there, so it is changed in that one file.
set(version_file ${CMAKE_CURRENT_LIST_DIR}/../VERSION)
file(STRINGS ${version_file} TRELLAN_VERSION LIMIT_COUNT 1)
string(STRIP "${TRELLAN_VERSION}" TRELLAN_VERSION)
# A version resource holds each number in 16 bits.
if(NOT TRELLAN_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION must hold four numbers such as 1.0.0.75, not '${TRELLAN_VERSION}'")
endif()
foreach(number ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
  if(number GREATER 65535)
    message(FATAL_ERROR "VERSION: each number must be at most 65535, not ${number}")
  endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${version_file})

# cmake --install (Linux): the program in bin/, and in lib/trellan/ the
# filter module, the platform library and the metadata editor beside it (the
# platform library's folder is the stand-in's system folder), all found
# through run paths relative to themselves, so the tree can go under any
# prefix and be moved whole. The program finds the module at
# ../lib/trellan/ (host/system/platform_differences.cpp). Also the manual
# page, made from docs/man/trellan.1.scd by scdoc, and the completions.
set(TRELLAN_LIB_DIR lib/trellan)

# The build tree has the same run paths, so that installing copies the files
# as they are. (Else CMake pads the build tree's run paths with empty
# entries, to edit them in place at install, and the loader reads an empty
# entry as the working folder: a program run from the build tree would load
# a library of that name from wherever it was started.) The program's own
# folder comes second for the build tree, where all lie in one folder.
set_target_properties(trellan PROPERTIES INSTALL_RPATH "$ORIGIN/../${TRELLAN_LIB_DIR}:$ORIGIN")
set_target_properties(trellan_module trellan_platform trellan_wmvcore trellan_filter_worker
  PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(trellan trellan_module trellan_platform trellan_wmvcore trellan_filter_worker
  PROPERTIES BUILD_WITH_INSTALL_RPATH ON)

install(TARGETS trellan RUNTIME DESTINATION bin)
# The filter workers' program and the index runs', beside the platform
# library they are found by.
install(TARGETS trellan_filter_worker RUNTIME DESTINATION ${TRELLAN_LIB_DIR})
if(TARGET trellan_index)
  set_target_properties(trellan_index PROPERTIES INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
  install(TARGETS trellan_index RUNTIME DESTINATION ${TRELLAN_LIB_DIR})
endif()
install(TARGETS trellan_module trellan_platform trellan_wmvcore
  LIBRARY DESTINATION ${TRELLAN_LIB_DIR} NAMELINK_SKIP)

find_program(SCDOC scdoc)
if(SCDOC)
  set(manual ${CMAKE_BINARY_DIR}/man/trellan.1)
  set(manual_source ${CMAKE_SOURCE_DIR}/docs/man/trellan.1.scd)
  add_custom_command(OUTPUT ${manual}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${SCDOC} < ${manual_source} > ${manual}
    DEPENDS ${manual_source}
    COMMENT "Making the manual page trellan(1)"
    VERBATIM)
  add_custom_target(trellan_manual ALL DEPENDS ${manual})
  install(FILES ${manual} DESTINATION share/man/man1)
else()
  message(WARNING "scdoc is missing (scripts/setup.sh installs it): no manual page")
endif()

install(FILES completions/trellan.bash DESTINATION share/bash-completion/completions RENAME trellan)
install(FILES completions/_trellan DESTINATION share/zsh/vendor-completions)
install(FILES completions/trellan.fish DESTINATION share/fish/vendor_completions.d)

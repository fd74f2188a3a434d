# The server tests load trellan.so the way a host does; the table tests link
# the server's static parts directly. The test program stands in its own
# HeapFree in front of the platform's (heap_watch.cpp), so that the tests
# can see which blocks the module gives back.
target_link_libraries(server_tests PRIVATE trellan_server Threads::Threads ${CMAKE_DL_LIBS})
target_link_options(server_tests PRIVATE -Wl,--export-dynamic-symbol=HeapFree)

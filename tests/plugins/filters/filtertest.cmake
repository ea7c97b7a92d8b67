# kv_filter_test(name plugin sources...): a test that loads a filter plugin from
# the installation root and drives it against real slot Buffers. The dialogs
# are answered through the frame's seam, so no screen is needed: on the
# offscreen platform no accessibility bridge starts Qt's D-Bus thread, whose
# one-time allocations LeakSanitizer reports now and then at exit.
function(kv_filter_test name plugin)
  kv_add_test(${name} TIMEOUT 300 SOURCES ${ARGN} LIBS kvsdk kvhostservices kvcore kvresources Qt6::Widgets)
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/plugins/filters/filterframe")
  add_dependencies(${name} ${plugin})
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

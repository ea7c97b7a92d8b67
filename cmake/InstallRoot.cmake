# The build lays out a runnable installation root: the program finds its
# plugins and utilities relative to the parent of its own folder.
set(KV_ROOT "${CMAKE_BINARY_DIR}/root" CACHE INTERNAL "installation root inside the build folder")
set(KV_BINDIR "${KV_ROOT}/bin")
foreach(dir bin Plugins/Files Plugins/Devices Plugins/Tools Plugins/Filters
            Resources/Util/sox Resources/Util/rubberband Resources/Samples Resources/Doc)
  file(MAKE_DIRECTORY "${KV_ROOT}/${dir}")
endforeach()

# External utilities live at fixed places below Resources/Util; link the system ones there.
find_program(KV_SOX sox PATHS /usr/bin REQUIRED)
find_program(KV_RUBBERBAND rubberband PATHS /usr/bin)
file(CREATE_LINK "${KV_SOX}" "${KV_ROOT}/Resources/Util/sox/sox" SYMBOLIC)
if(KV_RUBBERBAND)
  file(CREATE_LINK "${KV_RUBBERBAND}" "${KV_ROOT}/Resources/Util/rubberband/rubberband" SYMBOLIC)
endif()

# kv_plugin(target kind sources...): a Qt plugin built into Plugins/<kind> of the root.
function(kv_plugin target kind)
  add_library(${target} MODULE ${ARGN})
  target_link_libraries(${target} PRIVATE kvsdk)
  kv_precompile(${target})
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY "${KV_ROOT}/Plugins/${kind}"
    PREFIX "")
  install(TARGETS ${target} LIBRARY DESTINATION "Plugins/${kind}")
endfunction()

install(DIRECTORY "${KV_ROOT}/Resources" DESTINATION "." USE_SOURCE_PERMISSIONS)
install(DIRECTORY DESTINATION "Plugins/Files")
install(DIRECTORY DESTINATION "Plugins/Devices")
install(DIRECTORY DESTINATION "Plugins/Tools")
install(DIRECTORY DESTINATION "Plugins/Filters")
install(DIRECTORY DESTINATION "bin")

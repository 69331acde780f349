# Installs the varnolt.lv2 bundle; run by `cmake --install`, after lv2/CMakeLists.txt has set
# varnolt_lv2_dir (VARNOLT_LV2_DIR), varnolt_lv2_library and varnolt_lv2_turtle.
# CMAKE_INSTALL_PREFIX is the prefix of this install: --prefix when given.
if(varnolt_lv2_dir)
  set(folder "${varnolt_lv2_dir}")
else()
  execute_process(COMMAND id -u OUTPUT_VARIABLE user_id OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr/local" AND DEFINED ENV{HOME} AND NOT user_id STREQUAL "0")
    set(folder "$ENV{HOME}/.lv2")
  else()
    set(folder "${CMAKE_INSTALL_PREFIX}/lib/lv2")
  endif()
endif()
file(INSTALL DESTINATION "${folder}/varnolt.lv2" TYPE MODULE FILES "${varnolt_lv2_library}")
file(INSTALL DESTINATION "${folder}/varnolt.lv2" TYPE FILE FILES ${varnolt_lv2_turtle})

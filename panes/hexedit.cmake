# The window's wrapper around a hex view pane. Included from panes/CMakeLists.txt.
add_library(relvanto_hexedit STATIC
  ${CMAKE_CURRENT_LIST_DIR}/HexEditCtrl.cpp ${CMAKE_CURRENT_LIST_DIR}/HexEditCtrl.h)
target_link_libraries(relvanto_hexedit PUBLIC relvanto_hexview)

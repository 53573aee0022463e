# What a pane's context menu offers beyond Find, and the data files' error texts it explains
# failures with. Included from panes/CMakeLists.txt.
add_library(relvanto_panetools STATIC
  ${CMAKE_CURRENT_LIST_DIR}/PaneTextExport.cpp ${CMAKE_CURRENT_LIST_DIR}/PaneTextExport.h
  ${CMAKE_CURRENT_LIST_DIR}/DataFilesErrors.cpp ${CMAKE_CURRENT_LIST_DIR}/DataFilesErrors.h)
target_link_libraries(relvanto_panetools PUBLIC relvanto_hexview relvanto_toolkit)

# The folders of the settings store: the serial port's device links live there, and the settings
# store uses the same folders.
add_library(relvanto_storefolders STATIC ${CMAKE_SOURCE_DIR}/platform/registry/StoreFolders.cpp)

# The serial port device and its event thread (no Qt).
add_library(relvanto_serial STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SerialStatus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComName.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CustomBaud.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LineSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceOpen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialCompletion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortIo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialEventPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialReceiver.cpp)
target_link_libraries(relvanto_serial PUBLIC relvanto_receivesink relvanto_sync relvanto_storefolders Threads::Threads)

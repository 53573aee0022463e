# The serial port device and its event thread (no Qt). The device links of COM names live in the
# settings store's folders (relvanto_registry).
relvanto_library(relvanto_serial
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
target_link_libraries(relvanto_serial PUBLIC relvanto_receivesink relvanto_sync relvanto_registry Threads::Threads)

# The serial port device and its event thread (no Qt). The device links of COM names live in the
# settings store's folders (relvanto_registry).
relvanto_library(relvanto_serial
  ${CMAKE_CURRENT_LIST_DIR}/SerialStatus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComName.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComNameTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CustomBaud.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LineSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceOpen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialCompletion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortIo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialEventPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialReceiver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialDevices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialDeviceSource.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComAssignment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceHolders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OpenFailure.cpp)
# Serial devices are found and watched through libudev (Debian: libudev-dev).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBUDEV REQUIRED IMPORTED_TARGET libudev)
target_link_libraries(relvanto_serial PUBLIC relvanto_io relvanto_receivesink relvanto_sync relvanto_registry Threads::Threads
                      PRIVATE PkgConfig::LIBUDEV)

# The USB link: the HID device controller on its platform interface, the
# platform backend (on Linux hidapi on hidraw, and libudev for listing and
# hot-plug) and the USB side of the connection control. Qt Core only.
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)

qm320_library(hidcontrol
    hidevent.h
    hidbackend.h
    hidreportdescriptor.h hidreportdescriptor.cpp
    hidwakeup.h
    tjvhidpnpinfo.h
    tjvhiddevice.h tjvhiddevice.cpp
    tjvhiddevicereadthread.h tjvhiddevicereadthread.cpp
    tjvhiddevicecontroller.h tjvhiddevicecontroller.cpp
    usbconnection.h usbconnection.cpp
)
target_link_libraries(hidcontrol PUBLIC Qt6::Core meter Threads::Threads)
if(UNIX)
    target_sources(hidcontrol PRIVATE hidwakeup_posix.cpp)
endif()
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    pkg_check_modules(QM320_HIDAPI REQUIRED IMPORTED_TARGET GLOBAL hidapi-hidraw)
    pkg_check_modules(QM320_LIBUDEV REQUIRED IMPORTED_TARGET GLOBAL libudev)
    target_sources(hidcontrol PRIVATE hidbackend_linux.cpp)
    target_link_libraries(hidcontrol PRIVATE PkgConfig::QM320_HIDAPI PkgConfig::QM320_LIBUDEV)

    # Lets the user at the seat read the cable. udev reads rules from
    # lib/udev/rules.d under /usr and /usr/local; elsewhere copy the file to
    # /etc/udev/rules.d by hand (see README).
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/70-qm320.rules DESTINATION lib/udev/rules.d)
endif()

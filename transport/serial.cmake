# The serial port driver, its platform interface and the port names.
qm320_library(serialport
    serialbackend.h
    comportnames.h comportnames.cpp
    tcommportdriver.h tcommportdriver.cpp
)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_sources(serialport PRIVATE serialbackend_linux.cpp serialtermios_linux.h serialtermios_linux.cpp)
endif()
target_link_libraries(serialport PUBLIC Qt6::Core)

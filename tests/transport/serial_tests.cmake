# Tests of the serial link: the port driver against a fake, the Linux backend
# on pseudo-terminals, the meter simulator through the decoder, and qm320-cli
# playing and reading a meter.
qm320_add_test(tst_tcommportdriver SOURCES tst_tcommportdriver.cpp ../fakes/fakeserialbackend.h LIBS serialport)
qm320_add_test(tst_comportnames SOURCES tst_comportnames.cpp LIBS serialport)
qm320_add_test(tst_metersimulator SOURCES tst_metersimulator.cpp LIBS simulator clicore)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    qm320_add_test(tst_serialtermios_linux SOURCES tst_serialtermios_linux.cpp LIBS serialport)
    qm320_add_test(tst_serialbackend_linux SOURCES tst_serialbackend_linux.cpp LIBS serialport simulator clicore)
    qm320_add_test(tst_serialcli SOURCES tst_serialcli.cpp LIBS simulator)
    add_dependencies(tst_serialcli qm320-cli)
endif()

# Tests of the USB link: the HID controller and its read thread against a fake
# system, the report descriptor reader, the USB connection control, and the
# Linux backend end to end on a virtual device where /dev/uhid is at hand.
qm320_add_test(tst_hidcontroller SOURCES tst_hidcontroller.cpp ../fakes/fakehidbackend.h LIBS hidcontrol)
qm320_add_test(tst_hidreadthread SOURCES tst_hidreadthread.cpp ../fakes/fakehidbackend.h LIBS hidcontrol)
qm320_add_test(tst_hidreportdescriptor SOURCES tst_hidreportdescriptor.cpp LIBS hidcontrol)
qm320_add_test(tst_usbconnection SOURCES tst_usbconnection.cpp ../fakes/fakehidbackend.h ../meter/meterframes.h
               LIBS hidcontrol)
qm320_add_test(tst_hiduhid SOURCES tst_hiduhid.cpp ../meter/meterframes.h LIBS hidcontrol)

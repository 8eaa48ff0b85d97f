# Tests of the printed Data Report.
qm320_add_test(tst_reportbuilder SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_reportbuilder.cpp LIBS report)
qm320_add_test(tst_reportpreview SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_reportpreview.cpp LIBS report Qt6::PrintSupport)
# Runs the built qm320-cli.
qm320_add_test(tst_reportcli SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_reportcli.cpp LIBS Qt6::Core)
if(TARGET qm320-cli)
    add_dependencies(tst_reportcli qm320-cli)
endif()

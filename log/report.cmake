# The printed Data Report: the rows' snapshot, layout, painting, printing and
# PDF output. Gui and PrintSupport only (no widgets), so the command-line tool
# renders it offscreen.
qm320_library(report
    ${CMAKE_CURRENT_LIST_DIR}/reportrow.h ${CMAKE_CURRENT_LIST_DIR}/reportrow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reportlayout.h ${CMAKE_CURRENT_LIST_DIR}/reportlayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reportbuilder.h ${CMAKE_CURRENT_LIST_DIR}/reportbuilder.cpp
)
target_link_libraries(report PUBLIC logtable Qt6::Gui Qt6::PrintSupport)

# Shared build settings and helpers for our own targets.

if(QM320_FUZZ)
    # Every library the fuzzers reach is instrumented for coverage and the sanitizers.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(QM320_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -O1 -g)
    add_link_options(-fsanitize=thread)
endif()

if(QM320_ASAN)
    # Any finding ends the program, so a test that meets one fails.
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# The desktop and AppStream id of the window program: the name of its menu
# entry and metainfo files, and the application id a Wayland desktop matches
# its windows by.
set(QM320_APP_ID "io.github.qm320.qm320" CACHE STRING "The program's desktop id (reverse domain name)")

# Hardening as Debian builds its packages: checked buffer functions where
# the optimiser can see the sizes, and relocations read-only after start-up.
# The sanitizer builds bring their own checks; Windows has neither (see
# cmake/windows.cmake).
if(NOT QM320_FUZZ AND NOT QM320_TSAN AND NOT QM320_ASAN AND NOT WIN32)
    add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

# Warnings for the targets we write ourselves.
function(qm320_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-unused-parameter)
    if(QM320_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# A static library for one folder; includes are written with the folder in the
# path ("meter/reading.h"), so the project root is the include directory.
function(qm320_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    qm320_warnings(${name})
endfunction()

# One Qt Test executable per class under test, registered with CTest.
# Widget tests run on the offscreen platform so they need no display.
function(qm320_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE QM320_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
                                               QM320_BINARY_DIR="${PROJECT_BINARY_DIR}")
    qm320_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

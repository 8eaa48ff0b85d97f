# Settings for the Windows build, cross-compiled with mingw-w64 (see
# scripts/windows-build.sh). The platform files (*_win.cpp) call the Win32
# functions by their wide-character names.

# Windows 7 and later: GetLocaleInfoEx and the Vista thread-pool era calls.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)

# The DLLs a cross-built program loads: Qt's and the compiler's runtime. Tests
# and build steps that run one under Wine find them through WINEPATH.
set(QM320_MINGW_RUNTIME_DIRS "" CACHE STRING "Folders of libstdc++-6.dll, libgcc_s_seh-1.dll and libwinpthread-1.dll")
if(NOT QM320_MINGW_RUNTIME_DIRS)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                    OUTPUT_VARIABLE stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                    OUTPUT_VARIABLE winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(stdcxx_dir "${stdcxx}" DIRECTORY)
    get_filename_component(winpthread_dir "${winpthread}" DIRECTORY)
    set(QM320_MINGW_RUNTIME_DIRS "${stdcxx_dir};${winpthread_dir};/usr/x86_64-w64-mingw32/lib" CACHE STRING
        "Folders of libstdc++-6.dll, libgcc_s_seh-1.dll and libwinpthread-1.dll" FORCE)
endif()

# On Linux every test and build step that runs a Windows program goes through
# wine-run.sh: a Wine prefix of the build's own, the DLL folders on WINEPATH,
# and Qt's plugins.
if(CMAKE_CROSSCOMPILING)
    get_filename_component(qm320_qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
    if(NOT EXISTS "${qm320_qt_prefix}/bin/Qt6Core.dll")
        set(qm320_qt_prefix "${QM320_MINGW_PREFIX}")
    endif()
    set(QM320_QT_PREFIX "${qm320_qt_prefix}" CACHE PATH "The cross-built Qt" FORCE)
    string(REPLACE ";" " " QM320_WINE_DLL_DIRS "${QM320_QT_PREFIX}/bin;${QM320_MINGW_RUNTIME_DIRS}")
    set(QM320_WINEPREFIX "${PROJECT_BINARY_DIR}/wineprefix" CACHE PATH "The Wine prefix of the tests")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run.sh
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                    WORLD_EXECUTE @ONLY)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run.sh)
endif()
enable_language(RC)

# The design's font files, which meter/designfontfiles_win.cpp looks for in a
# "fonts" folder beside the program: the very files the Linux program loads,
# Liberation Sans 1.07 from fonts-liberation and DejaVu Sans Mono from
# fonts-dejavu-core. Every program and test of this build lands in the build
# folder (qt_standard_project_setup), so one "fonts" folder there serves them
# all; the zip and the installer ship it as it is (scripts/windows-build.sh).
set(QM320_DESIGN_FONT_FILES
    /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
    /usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
    /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf)
set(qm320_font_copies "")
foreach(font IN LISTS QM320_DESIGN_FONT_FILES)
    get_filename_component(name "${font}" NAME)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/fonts/${name}
        COMMAND ${CMAKE_COMMAND} -E copy ${font} ${PROJECT_BINARY_DIR}/fonts/${name}
        DEPENDS ${font})
    list(APPEND qm320_font_copies ${PROJECT_BINARY_DIR}/fonts/${name})
endforeach()
add_custom_target(qm320-design-fonts ALL DEPENDS ${qm320_font_copies})
# For a program or test that draws text with the design's fonts.
function(qm320_design_fonts_beside target)
    add_dependencies(${target} qm320-design-fonts)
endfunction()

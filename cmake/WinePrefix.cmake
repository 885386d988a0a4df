# Makes the Wine prefix the Windows tests run in, once: headless, and with the Windows font names
# mapped to an installed Japanese font, so that a window shows what a Windows user sees. Wine's
# own fonts (fonts-wine) must be there first: without Marlett the caption buttons show "0 1 r".
#   cmake -DWINE=<wine64> -DPREFIX=<folder> -P WinePrefix.cmake
# A prefix made before Wine's fonts were required is made again.
if(EXISTS "${PREFIX}/.velt-ready-with-wine-fonts")
    return()
endif()
if(NOT EXISTS /usr/share/wine/fonts/marlett.ttf)
    message(FATAL_ERROR "Wine's own fonts are missing (/usr/share/wine/fonts/marlett.ttf): "
        "apt-get install fonts-wine")
endif()
get_filename_component(wine_dir "${WINE}" DIRECTORY)
find_program(WINESERVER NAMES wineserver64 wineserver PATHS "${wine_dir}" /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINESERVER NAMES wineserver)

set(ENV{WINEPREFIX} "${PREFIX}")
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
set(ENV{LC_ALL} C.UTF-8)
unset(ENV{DISPLAY})

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "Wine prefix ${PREFIX}: '${ARGN}' failed (${rc}): ${err}")
    endif()
endfunction()

file(REMOVE_RECURSE "${PREFIX}")
run("${WINE}" wineboot -u)
# Wine looks for Marlett, which draws the caption buttons, in the prefix's own Fonts folder. Only
# Marlett: Wine's Tahoma would take the place of the Japanese font in the dialogs' text.
file(COPY /usr/share/wine/fonts/marlett.ttf DESTINATION "${PREFIX}/drive_c/windows/Fonts")
set(key "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes")
foreach(font "MS UI Gothic" "ＭＳ Ｐゴシック" "MS PGothic" "ＭＳ ゴシック" "MS Gothic" "Meiryo"
             "Yu Gothic UI")
    run("${WINE}" reg add "${key}" /v "${font}" /t REG_SZ /d "Noto Sans CJK JP" /f)
endforeach()
run("${WINESERVER}" -w)
file(TOUCH "${PREFIX}/.velt-ready-with-wine-fonts")

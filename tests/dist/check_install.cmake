# Installs BUILD_DIR under PREFIX and fails unless the tree holds exactly the EXPECTED files
# ("|"-separated), the installed program answers --version without a display, and the menu
# entry and the metainfo pass their validators without a remark, pedantic ones included.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(result)
    message(FATAL_ERROR "cmake --install failed: ${errors}")
endif()

file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)
string(REPLACE "|" ";" expected "${EXPECTED}")
list(SORT expected)
if(NOT installed STREQUAL expected)
    string(REPLACE ";" "\n  " installed "${installed}")
    string(REPLACE ";" "\n  " expected "${expected}")
    message(FATAL_ERROR "installed:\n  ${installed}\nexpected:\n  ${expected}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                        --unset=QT_QPA_PLATFORM ${PREFIX}/bin/tvrsetup --version
                OUTPUT_VARIABLE version RESULT_VARIABLE result)
if(result OR NOT version STREQUAL "tvrsetup ${VERSION}\n")
    message(FATAL_ERROR "installed tvrsetup --version: status ${result}, '${version}'")
endif()

file(STRINGS ${PREFIX}/share/applications/${APP_ID}.desktop entry)
foreach(line "Exec=tvrsetup" "Icon=${APP_ID}")
    if(NOT line IN_LIST entry)
        message(FATAL_ERROR "the menu entry lacks ${line}")
    endif()
endforeach()

if(NOT DESKTOP_FILE_VALIDATE OR NOT APPSTREAMCLI)
    message(FATAL_ERROR "desktop-file-validate and appstreamcli are missing: run scripts/deps")
endif()
foreach(check "${DESKTOP_FILE_VALIDATE};${PREFIX}/share/applications/${APP_ID}.desktop"
        "${APPSTREAMCLI};validate;--pedantic;--no-net;${PREFIX}/share/metainfo/${APP_ID}.metainfo.xml")
    execute_process(COMMAND ${check} RESULT_VARIABLE result OUTPUT_VARIABLE out
                    ERROR_VARIABLE out)
    # appstreamcli ends well on pedantic and informational remarks too; each is one line
    # that starts with its letter.
    if(result OR out MATCHES "(^|\n)[EWIP]: ")
        message(FATAL_ERROR "${check}: ${out}")
    endif()
endforeach()

cmake_minimum_required(VERSION 3.25)

# Installs the build into a scratch prefix and checks that a Linux desktop finds the program,
# its data, its menu entry and its icon there.
file(REMOVE_RECURSE "${DEST}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${DEST}"
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(file
        bin/brevnor
        share/quillory/skins/frmmain.skn
        share/quillory/help/index.html
        share/quillory/help/help.css
        share/bash-completion/completions/brevnor-cli
        share/applications/quillory.desktop
        share/icons/hicolor/scalable/apps/quillory.svg
        share/icons/hicolor/256x256/apps/quillory.png)
    if(NOT EXISTS "${DEST}/${file}")
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()

file(STRINGS "${DEST}/share/applications/quillory.desktop" entry)
foreach(line "Exec=brevnor" "Icon=quillory" "Type=Application")
    if(NOT line IN_LIST entry)
        message(FATAL_ERROR "quillory.desktop lacks ${line}")
    endif()
endforeach()
file(REMOVE_RECURSE "${DEST}")

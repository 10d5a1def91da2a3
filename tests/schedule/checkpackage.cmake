cmake_minimum_required(VERSION 3.25)

# Builds the Debian package, unpacks it into a scratch root with dpkg -x, and checks its control
# fields, its files and that brevnor-cli runs from there; lintian finds no error or warning in it
# and appstreamcli takes its metadata.
file(REMOVE_RECURSE "${DEST}")
execute_process(COMMAND "${CPACK}" -G DEB -B "${DEST}/out" --config "${BUILD_DIR}/CPackConfig.cmake"
    WORKING_DIRECTORY "${BUILD_DIR}" RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cpack failed: ${result}\n${output}")
endif()
file(GLOB packages "${DEST}/out/*.deb")
list(LENGTH packages count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one package, found: ${packages}")
endif()

foreach(field Package Depends Recommends)
    execute_process(COMMAND dpkg-deb -f "${packages}" ${field} OUTPUT_VARIABLE value
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(control_${field} "${value}")
endforeach()
if(NOT control_Package STREQUAL "quillory" OR NOT control_Recommends STREQUAL "cron")
    message(FATAL_ERROR "wrong control fields: ${control_Package}, ${control_Recommends}")
endif()
foreach(library libqt6widgets6 libzip4 libc6)
    if(NOT control_Depends MATCHES "${library}")
        message(FATAL_ERROR "Depends lacks ${library}: ${control_Depends}")
    endif()
endforeach()

execute_process(COMMAND dpkg -x "${packages}" "${DEST}/root" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "dpkg -x failed: ${result}")
endif()
foreach(file
        bin/brevnor
        bin/brevnor-cli
        share/man/man1/brevnor.1.gz
        share/man/man1/brevnor-cli.1.gz
        share/bash-completion/completions/brevnor-cli
        share/quillory/skins/frmmain.skn
        share/quillory/help/index.html
        share/applications/quillory.desktop
        share/icons/hicolor/scalable/apps/quillory.svg
        share/icons/hicolor/256x256/apps/quillory.png
        share/doc/quillory/copyright
        share/doc/quillory/changelog.gz)
    if(NOT EXISTS "${DEST}/root/usr/${file}")
        message(FATAL_ERROR "not in the package: /usr/${file}")
    endif()
endforeach()

execute_process(COMMAND "${DEST}/root/usr/bin/brevnor-cli" --help RESULT_VARIABLE result
    OUTPUT_VARIABLE help)
if(NOT result EQUAL 0 OR NOT help MATCHES "^Usage: brevnor-cli COMMAND")
    message(FATAL_ERROR "brevnor-cli --help from the package failed: ${result}\n${help}")
endif()
execute_process(COMMAND lintian --no-cfg "${packages}" RESULT_VARIABLE result
    OUTPUT_VARIABLE tags ERROR_VARIABLE lintian_errors)
if(NOT result EQUAL 0 OR tags MATCHES "(^|\n)[EW]: ")
    message(FATAL_ERROR "lintian: ${result}\n${tags}${lintian_errors}")
endif()

file(GLOB metainfo "${DEST}/root/usr/share/metainfo/*.metainfo.xml")
if(NOT metainfo)
    message(FATAL_ERROR "not in the package: /usr/share/metainfo/*.metainfo.xml")
endif()
execute_process(COMMAND appstreamcli validate --no-net ${metainfo} RESULT_VARIABLE result
    OUTPUT_VARIABLE report ERROR_VARIABLE report)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate: ${result}\n${report}")
endif()
file(REMOVE_RECURSE "${DEST}")

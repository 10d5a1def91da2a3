# The Debian package, made from what `cmake --install` installs: `cpack -G DEB` in the build
# folder. Its library dependencies are found by dpkg-shlibdeps; cron, which starts scheduled
# backups, is recommended.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillory)
set(CPACK_PACKAGE_VENDOR Quillory)
set(CPACK_PACKAGE_CONTACT "${QUILLORY_MAINTAINER}")
if(QUILLORY_WEB_ADDRESS)
    set(CPACK_PACKAGE_HOMEPAGE_URL "${QUILLORY_WEB_ADDRESS}")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "back up and restore the data of Windows Live Mail running under Wine")
# Debian keeps description lines under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Quillory saves everything Windows Live Mail keeps in a Wine prefix (accounts
and messages, rules, contacts, the mail database, signatures, stationery and
settings) into one .wlm archive, optionally encrypted, restores it, schedules
unattended backups through cron and burns archives to disc. brevnor is the
program's window, brevnor-cli its companion for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS cron)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
include(CPack)

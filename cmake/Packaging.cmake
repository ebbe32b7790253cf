# The Debian package of the installed program (scripts/package runs cpack on a release
# build). The libraries come from dpkg-shlibdeps; what the program loads at run time
# without linking it (the SQLite driver, Qt's Japanese texts, a Japanese font) is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME chakushin)
set(CPACK_PACKAGE_VENDOR chakushin)
set(CPACK_PACKAGE_CONTACT "chakushin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "caller ID adapter to customer web page and call history")
set(CPACK_PACKAGE_DESCRIPTION
    "chakushin listens to a caller-ID / CTI adapter on a serial port. For each incoming call it
opens the browser at the office's customer web application with the caller's number and
adds the number with date and time to a call history database. Includes an adapter
simulator for trying it without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk")
# The browser is found through xdg-mime when it is there; a history shared on a PostgreSQL
# server needs Qt's driver for it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, libqt6sql6-psql")
include(CPack)

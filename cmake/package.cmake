# The Debian package: cpack in the build folder writes qubopost_VERSION_ARCH.deb, installing
# under /usr. Runtime dependencies come from dpkg-shlibdeps (Qt 6 Widgets, libcurl, ICU, GMime,
# the C++ library) plus the Japanese font the dialog is drawn with, which no library asks for.
# Debian 12's libqt6gui6 carries the X11 platform plugin and the IBus input method plugin
# itself (qt6-qpa-plugins holds only VNC and touch-tracking plugins), so no plugin package is
# needed. Qt's own Japanese texts (the edit menu of text fields, the standard buttons) come
# from qt6-translations-l10n: recommended, as without it those texts are only English.

set(QUBOPOST_PACKAGE_MAINTAINER "Qubopost developers <dev@qubopost.org>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qubopost)
set(CPACK_PACKAGE_VENDOR Qubopost)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QUBOPOST_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "affiliate articles posted to blogs by e-mail")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUBOPOST_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary above is its first line; CPack indents these lines and marks the blank one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Qubopost is a desktop tool for Japanese bloggers who post to their blogs by
e-mail. It builds affiliate articles from a ranking page of an affiliate
ranking service and mails them, three articles a message, to every blog
posting address listed, through the user's own SMTP server, one message a
minute.

The package holds the dialog program qubopost, the command-line program
qubopost-cli and the mail library libbsmtp.so they use.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-noto-cjk")

include(CPack)

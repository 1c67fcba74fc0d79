# Installing Velocast: the program and the demo database tool, the desktop entry, the
# autostart entry for the tray program, the icon, the systemd units for a server, and a
# Debian package (cpack -G DEB) holding all of it. DESTDIR is honoured throughout.
include(GNUInstallDirs)

set(velocast_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(VELOCAST_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/velocast)
# systemd looks in lib/systemd/system and lib/sysusers.d under /usr and /usr/local alike;
# the multiarch library folder would be the wrong place.
set(VELOCAST_UNIT_DIR lib/systemd/system)
set(VELOCAST_SYSUSERS_DIR lib/sysusers.d)
# Desktops read autostart entries from /etc/xdg only (XDG_CONFIG_DIRS); below another
# prefix, a staging tree for instance, the entry stays inside the prefix.
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr(/local)?/?$")
  set(velocast_autostart_default /etc/xdg/autostart)
else()
  set(velocast_autostart_default ${CMAKE_INSTALL_SYSCONFDIR}/xdg/autostart)
endif()
set(VELOCAST_AUTOSTART_DIR ${velocast_autostart_default} CACHE PATH "Where the tray program's autostart entry goes")

install(TARGETS velocast velocast-seed RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${velocast_packaging}/desktop/velocast.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${velocast_packaging}/desktop/velocast-autostart.desktop DESTINATION ${VELOCAST_AUTOSTART_DIR}
        RENAME velocast.desktop)
install(FILES ${velocast_packaging}/icons/velocast.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
  install(FILES ${velocast_packaging}/icons/velocast-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME velocast.png)
endforeach()

install(FILES ${velocast_packaging}/systemd/velocast.sysusers DESTINATION ${VELOCAST_SYSUSERS_DIR} RENAME velocast.conf)
# The units name the program by its installed path, which is known only when installing:
# `cmake --install --prefix` and CPack may choose another prefix than the configured one.
install(CODE "
  set(VELOCAST_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(VELOCAST_DOCDIR \"\${CMAKE_INSTALL_PREFIX}/${VELOCAST_DOC_DIR}\")
  foreach(unit velocast.service velocast.timer velocast@.service velocast@.timer)
    set(target \"\${CMAKE_INSTALL_PREFIX}/${VELOCAST_UNIT_DIR}/\${unit}\")
    message(STATUS \"Installing: \$ENV{DESTDIR}\${target}\")
    configure_file(\"${velocast_packaging}/systemd/\${unit}.in\" \"\$ENV{DESTDIR}\${target}\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${target}\")
  endforeach()
")

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${velocast_packaging}/debian/copyright DESTINATION ${VELOCAST_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/velocast.1 ${PROJECT_SOURCE_DIR}/docs/man/velocast-seed.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${velocast_packaging}/examples/Korvana.udl ${velocast_packaging}/examples/velocast.conf
        DESTINATION ${VELOCAST_DOC_DIR}/examples)

# The Debian package. Built from the install rules above, under /usr.
set(CPACK_PACKAGE_NAME velocast)
set(CPACK_PACKAGE_VENDOR "Velocast")
set(CPACK_PACKAGE_CONTACT "Velocast developers <velocast@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "daily e-mail campaigns for fitness clubs, with a tray window and a service")
set(CPACK_PACKAGE_DESCRIPTION "Velocast works beside the club's management system and shares its SQL database
(SQL Server through FreeTDS, or SQLite): every day it selects the members for the club's
e-mail campaigns, writes them into an outbox and sends the outbox through the club's SMTP
account. It runs as a tray program on a desktop, or as a systemd service on a server.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Absolute destinations (the autostart entry) must land in the package, not on this machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not show: the Qt SQL drivers and the ODBC drivers are loaded at run
# time, the window needs a platform plugin, content types come from /etc/mime.types.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6sql6-odbc, unixodbc, odbcinst, tdsodbc, qt6-qpa-plugins, media-types")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd")
set(VELOCAST_SYSUSERS_FILE /usr/${VELOCAST_SYSUSERS_DIR}/velocast.conf)
configure_file(${velocast_packaging}/debian/postinst.in ${PROJECT_BINARY_DIR}/packaging/postinst @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/packaging/postinst ${velocast_packaging}/debian/prerm ${velocast_packaging}/debian/postrm
    ${velocast_packaging}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)

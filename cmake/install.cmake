# Where `cmake --install` puts Corvex, and the .deb that `make package` makes
# from the same rules (CPack). Included once the program's target exists.
include(GNUInstallDirs)

install(TARGETS corvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The units name the installed program and their documentation (the
# administrator's guide, then the README) wherever the prefix put them, and
# the prefix is known only when installing (`--prefix`, CPack's /usr).
install(CODE "
  set(CORVEX_BINARY \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/corvex\")
  set(CORVEX_ADMIN_GUIDE \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}/docs/administrator.md\")
  set(CORVEX_README \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}/README.md\")
  foreach(unit corvex.service corvex@.service)
    configure_file(\"${CMAKE_SOURCE_DIR}/src/service/systemd/\${unit}.in\" \"${CMAKE_BINARY_DIR}/systemd/\${unit}\" @ONLY)
  endforeach()")
install(FILES ${CMAKE_BINARY_DIR}/systemd/corvex.service ${CMAKE_BINARY_DIR}/systemd/corvex@.service
        DESTINATION lib/systemd/system)

# The layouts are built in; the files are the starting point for a company's own.
install(FILES resources/layouts/arSVDTEFactura.json resources/layouts/arSVDTECreditoFiscal.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/corvex/layouts)
install(FILES resources/demo/schema.sql DESTINATION ${CMAKE_INSTALL_DATADIR}/corvex/examples)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvex maintainers <corvex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Mails El Salvador electronic tax documents (DTE) to their buyers")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries the program links are found by dpkg-shlibdeps; these are the
# parts it loads at run time: Qt's SQLite driver and platform plugins, the ODBC
# driver manager and the FreeTDS driver for SQL Server, the report fonts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, qt6-qpa-plugins, unixodbc, tdsodbc, odbcinst, fonts-liberation, ca-certificates, passwd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/postinst)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)

# What `make install` (or `cmake --install`) puts in place besides the programs, whose own
# folders install them: the DB2 stand-in library and its tool, the samples and the man page.
include(GNUInstallDirs)

install(TARGETS db2standin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS db2standin_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/samples/shop.sql ${PROJECT_SOURCE_DIR}/samples/make_shop_sql.py
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dunmere/samples)
# The man page's header line takes the project version.
configure_file(${PROJECT_SOURCE_DIR}/docs/VORDAXEN.1 ${PROJECT_BINARY_DIR}/docs/VORDAXEN.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/docs/VORDAXEN.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

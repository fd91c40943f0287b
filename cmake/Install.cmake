# cmake --install: both programs, their manual pages and the READMEs.
include(GNUInstallDirs)
install(TARGETS KorvaCatalogDB KorvaCatalogTool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES doc/KorvaCatalogDB.1 doc/KorvaCatalogTool.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES tools/cattool/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME KorvaCatalogTool.md)

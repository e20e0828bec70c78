# Installation and the Debian package. Included at the end of the top CMakeLists.txt;
# it knows the programs only by their target names.
include(GNUInstallDirs)

set(VORN_APP_ID example.velto.qkvorn)
set(VORN_DATA_DIR ${CMAKE_CURRENT_LIST_DIR}/../data)

install(TARGETS qkvorn-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The page names the maker's servers this build points at.
configure_file(${VORN_DATA_DIR}/man/qkvorn-cli.1.in ${CMAKE_BINARY_DIR}/generated/qkvorn-cli.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/qkvorn-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET qkvorn)
    install(TARGETS qkvorn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${VORN_DATA_DIR}/man/qkvorn.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${VORN_DATA_DIR}/${VORN_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${VORN_DATA_DIR}/${VORN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # The SVG is the one drawn source; the fixed sizes are rendered from it so they
    # never drift apart.
    set(VORN_ICON_SVG ${VORN_DATA_DIR}/icons/${VORN_APP_ID}.svg)
    install(FILES ${VORN_ICON_SVG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    find_program(VORN_RSVG_CONVERT rsvg-convert REQUIRED)
    set(VORN_ICON_PNGS)
    foreach(size 48 64 128 256)
        set(png ${CMAKE_BINARY_DIR}/icons/${size}/${VORN_APP_ID}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}
            COMMAND ${VORN_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${VORN_ICON_SVG}
            DEPENDS ${VORN_ICON_SVG} VERBATIM)
        list(APPEND VORN_ICON_PNGS ${png})
        install(FILES ${png}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(vorn_icons ALL DEPENDS ${VORN_ICON_PNGS})
endif()

set(CPACK_PACKAGE_NAME qkvorn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velto")
set(CPACK_PACKAGE_CONTACT "QK Vorn developers <qkvorn@velto.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "benchmark for USB keys and memory cards")
set(CPACK_PACKAGE_DESCRIPTION
    "QK Vorn measures removable flash media on their raw sectors: sequential read and\n"
    "write speeds for block sizes from 2 KB to 64 KB, random and sequential access\n"
    "times and a flash check. It has a window program (qkvorn) and a terminal front\n"
    "end (qkvorn-cli). Both run as the logged-in user: drives open through udisks2,\n"
    "with polkit asking for the right to open them; image files need no privilege.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# udisks2 opens the drives for a normal user (polkit deciding) and unmounts the media
# under test.
set(CPACK_DEBIAN_PACKAGE_DEPENDS udisks2)
set(CPACK_STRIP_FILES ON)
include(CPack)

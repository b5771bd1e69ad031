# Installation: the programs, the shipped data, the desktop integration (desktop entry, icons,
# AppStream metainfo), the manual pages and the bash completion, and the Debian package.
include(GNUInstallDirs)

find_program(HELP2MAN help2man)
find_program(RSVG_CONVERT rsvg-convert)
find_program(GZIP gzip)
if(NOT HELP2MAN OR NOT RSVG_CONVERT OR NOT GZIP)
  message(FATAL_ERROR "help2man, rsvg-convert and gzip make the manual pages and icons: "
                      "run scripts/install-deps (packages help2man, librsvg2-bin, gzip)")
endif()

set(VISTALOOM_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/data/desktop)
set(VISTALOOM_GEN_DIR ${PROJECT_BINARY_DIR}/install-files)
set(VISTALOOM_APP_ID io.github.vistaloom.vistaloom)
file(MAKE_DIRECTORY ${VISTALOOM_GEN_DIR})

# The writer of the files made from the program's tables (run at build time, not installed).
add_executable(vistaloom-gen src/main/vistaloom_gen_main.cpp)
target_link_libraries(vistaloom-gen PRIVATE vistaloom_core)

add_custom_command(OUTPUT ${VISTALOOM_GEN_DIR}/vistaloom.desktop
  COMMAND vistaloom-gen desktop ${VISTALOOM_DESKTOP_DIR}/vistaloom.desktop.in ${VISTALOOM_GEN_DIR}/vistaloom.desktop
  DEPENDS vistaloom-gen ${VISTALOOM_DESKTOP_DIR}/vistaloom.desktop.in
  COMMENT "Writing the desktop entry with the decoders' MIME types"
  VERBATIM)
add_custom_command(OUTPUT ${VISTALOOM_GEN_DIR}/completion/vistaloom
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VISTALOOM_GEN_DIR}/completion
  COMMAND vistaloom-gen completion ${VISTALOOM_GEN_DIR}/completion/vistaloom
  DEPENDS vistaloom-gen
  COMMENT "Writing the bash completion"
  VERBATIM)

# The manual pages, from the programs' own --help (the title line names the program, not
# "Vistaloom" as --version does).
set(VISTALOOM_MAN_PAGES)
foreach(prog vistaloom vistaloom-cmd)
  if(prog STREQUAL "vistaloom")
    set(man_name "view, browse and edit pictures")
  else()
    set(man_name "send commands to a running Vistaloom")
  endif()
  add_custom_command(OUTPUT ${VISTALOOM_GEN_DIR}/man/${prog}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VISTALOOM_GEN_DIR}/man
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${man_name}
            "--version-string=${prog} ${PROJECT_VERSION} (${VISTALOOM_VERSION_DATE})"
            --output=${VISTALOOM_GEN_DIR}/man/${prog}.1 $<TARGET_FILE:${prog}>
    COMMAND ${GZIP} -9nf ${VISTALOOM_GEN_DIR}/man/${prog}.1
    DEPENDS ${prog}
    COMMENT "Writing the manual page of ${prog}"
    VERBATIM)
  list(APPEND VISTALOOM_MAN_PAGES ${VISTALOOM_GEN_DIR}/man/${prog}.1.gz)
endforeach()

# The program icon, drawn as SVG and rendered at the sizes of the hicolor theme.
set(VISTALOOM_ICON_SIZES 16 32 48 64 128 256)
set(VISTALOOM_ICONS)
foreach(size ${VISTALOOM_ICON_SIZES})
  set(png ${VISTALOOM_GEN_DIR}/icons/${size}/vistaloom.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VISTALOOM_GEN_DIR}/icons/${size}
    COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${VISTALOOM_DESKTOP_DIR}/vistaloom.svg
    DEPENDS ${VISTALOOM_DESKTOP_DIR}/vistaloom.svg
    COMMENT "Rendering the ${size}x${size} icon"
    VERBATIM)
  list(APPEND VISTALOOM_ICONS ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The metainfo's release date from the program's version date (YY.MM.DD).
string(REPLACE "." ";" date_parts ${VISTALOOM_VERSION_DATE})
list(GET date_parts 0 date_year)
list(GET date_parts 1 date_month)
list(GET date_parts 2 date_day)
set(VISTALOOM_RELEASE_DATE "20${date_year}-${date_month}-${date_day}")
configure_file(${VISTALOOM_DESKTOP_DIR}/${VISTALOOM_APP_ID}.metainfo.xml.in
  ${VISTALOOM_GEN_DIR}/${VISTALOOM_APP_ID}.metainfo.xml @ONLY)

add_custom_target(vistaloom_install_files ALL DEPENDS ${VISTALOOM_GEN_DIR}/vistaloom.desktop
  ${VISTALOOM_GEN_DIR}/completion/vistaloom ${VISTALOOM_MAN_PAGES} ${VISTALOOM_ICONS})

install(TARGETS vistaloom vistaloom-cmd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/icons ${PROJECT_SOURCE_DIR}/data/samples
  DESTINATION ${CMAKE_INSTALL_DATADIR}/vistaloom)
install(FILES ${VISTALOOM_GEN_DIR}/vistaloom.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VISTALOOM_DESKTOP_DIR}/vistaloom.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${VISTALOOM_GEN_DIR}/${VISTALOOM_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VISTALOOM_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VISTALOOM_GEN_DIR}/completion/vistaloom DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${VISTALOOM_GEN_DIR}/completion/vistaloom DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME vistaloom-cmd)

# The Debian package (make package): dependencies from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vistaloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vistaloom developers <vistaloom@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image viewer and editor with a directory browser")
set(CPACK_PACKAGE_DESCRIPTION "Vistaloom shows a picture beside a directory browser with thumbnails and edits it
from menus and tool windows. It reads PNG, JPEG, GIF, TIFF, WebP, BMP, PNM, Sun Raster
and IFF ILBM, saves JPEG, PNG and IFF ILBM, has batch tools and a scripting port.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

# Installation layout and the Debian package (cpack -G DEB), native or cross-built.
include(GNUInstallDirs)

install(TARGETS kelgame fontbake RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The bundled game, found by an installed kelgame run without -mod.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kelgame)
# The lint standard and the editor annotations, beside the game (kelgame --luacheckrc and
# --lua-defs print the same texts).
install(FILES ${PROJECT_SOURCE_DIR}/share/luacheckrc ${PROJECT_SOURCE_DIR}/share/kelgame-defs.lua
  DESTINATION ${CMAKE_INSTALL_DATADIR}/kelgame)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/running.md
  ${PROJECT_SOURCE_DIR}/docs/scripting.md ${PROJECT_SOURCE_DIR}/packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian wants the changelog and manual pages compressed, reproducibly (no name, no time).
set(KEL_PKG_DIR ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${KEL_PKG_DIR})
foreach(f changelog kelgame.1 kelgame-fontbake.1)
  add_custom_command(OUTPUT ${KEL_PKG_DIR}/${f}.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/${f} > ${KEL_PKG_DIR}/${f}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${f} VERBATIM)
  list(APPEND KEL_PKG_FILES ${KEL_PKG_DIR}/${f}.gz)
endforeach()
add_custom_target(package_files ALL DEPENDS ${KEL_PKG_FILES})
install(FILES ${KEL_PKG_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
  RENAME changelog.Debian.gz)
install(FILES ${KEL_PKG_DIR}/kelgame.1.gz ${KEL_PKG_DIR}/kelgame-fontbake.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelgame)
set(CPACK_PACKAGE_VENDOR "kelgame developers")
set(CPACK_PACKAGE_CONTACT "kelgame developers <maintainers@users.noreply.c-seed-07f304dc.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small runtime for games written in Lua 5.2")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kelgame opens one SDL2 window with an OpenGL ES 1.1 context and runs a game
written in Lua 5.2: batched sprites, bitmap-font text, keyboard, mouse and
game-controller input, samples and streamed Ogg music through its own mixer,
files in a per-user area and extension calls. It runs on desktops and on
32- and 64-bit ARM handheld consoles, and headless for a game's automated
tests.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION interpreters)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
# Linked libraries are found by dpkg-shlibdeps; SDL2 is opened at run time (headless
# games never load it), so it is named by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0 (>= 2.0.12)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri")
if(KEL_DEB_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${KEL_DEB_ARCH})
endif()
include(CPack)

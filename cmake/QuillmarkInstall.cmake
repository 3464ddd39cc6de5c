# Installing and packaging. `cmake --install build --prefix P` gives
# P/bin/corvel-quillmark, P/bin/corvel-quillmark-export and their files in
# P/share (src/resources/CMakeLists.txt). Nothing of P is compiled in: the
# programs find ../share/corvel-quillmark from their own folder, so the tree
# can be moved. `cpack -G DEB` in the build folder makes the Debian package.
include(GNUInstallDirs)
# Installing and packing take what the build made; they do not build every
# target (the tests and the benchmark) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(WARNING "The programs look for ../share/corvel-quillmark beside their folder; "
                  "CMAKE_INSTALL_BINDIR and CMAKE_INSTALL_DATADIR must stay bin and share.")
endif()
install(TARGETS corvel-quillmark corvel-quillmark-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvel-quillmark)
set(CPACK_PACKAGE_VENDOR "Corvel")
set(CPACK_PACKAGE_CONTACT "Corvel Quillmark developers <corvel-quillmark@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for mathematical expressions as pictures")
# The long description; CPack puts the summary line before it. It names the
# faces the package ships (the package test holds it to the installed fonts).
set(CPACK_PACKAGE_DESCRIPTION
    "Corvel Quillmark composes mathematical expressions out of text items and
lines on a canvas, keeps them in .exp files and exports them as 16-grey
bitmaps, PNG or SVG pictures. The text is set in faces that come with the
program, so a picture looks the same on every machine: Corvel Sans in four
styles (the list's Arial, with Arial's metrics), the symbol face
MathSymbols in plain and bold with an on-screen keyboard, and Zidezir, a
face for typeset mathematics. Formula lines in TeX notation are typeset as
a maths book sets them, in Corvel Serif (four styles) and Corvel Mono,
made from Liberation Serif and Mono, and in the maths faces Corvel Math,
Corvel Math Relations, Corvel Math Extra, Corvel Math Greek,
Corvel Math Large, Corvel Math Delimiters, Corvel Math Pieces and
Corvel Math Alphabets, made from TeX Gyre Termes Math.
corvel-quillmark-export writes pictures of expression files or formula
lines from the command line, with no display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUILLMARK_HOMEPAGE})
# Stripped as Debian strips programs: the symbols, and the .comment and
# .note sections the programs do not need (QuillmarkStrip.cmake runs on
# what CPack is about to pack).
set(CPACK_STRIP_FILES OFF)
set(QUILLMARK_STRIP_SCRIPT ${CMAKE_BINARY_DIR}/QuillmarkStrip.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/QuillmarkStrip.cmake.in ${QUILLMARK_STRIP_SCRIPT} @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${QUILLMARK_STRIP_SCRIPT})
# The libraries the programs link come from the binaries; what Qt loads as
# plugins, and the fonts the expressions are drawn in, are named here: the
# window-system plugins (and the offscreen one the exporter uses), the
# SQLite driver the help file is read with, and the Liberation fonts the
# window's labels are set in (the canvas's fonts are the program's own).
# On a Wayland desktop Qt's Wayland plugin draws the windows natively.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, shared-mime-info, qt6-wayland")
include(CPack)

# What `cmake --install` puts in place, and the Debian package that CPack makes of it:
#
#   bin/mbrkd2flat                     the converter
#   lib/libmbrk.a                      the toolkit library
#   include/mbrk/<Module>/<Header>.h   its public headers
#   lib/cmake/mbrk/                    find_package(mbrk) -> mbrk::mbrk, mbrk::mbrkd2flat
#   lib/pkgconfig/mbrk.pc              pkg-config --cflags --libs mbrk
#   share/man/man1/mbrkd2flat.1.gz     the manual page
#   share/doc/mbrk/copyright           the licence (changelog.gz beside it)
#   <python>/mbrk/                     the Python package, when it is built
#
# (lib stands for CMAKE_INSTALL_LIBDIR, lib/<multiarch> where there is one;
# <python> for MBRK_PYTHON_INSTALL_DIR, see python/CMakeLists.txt.) Every file
# finds the others relative to its own place, so a tree installed with
# --prefix, or unpacked from the package into another folder, works where it
# lands.

include(CMakePackageConfigHelpers)
find_program(MBRK_GZIP gzip REQUIRED)

set(MBRK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mbrk)
set(MBRK_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS mbrk EXPORT mbrkTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Headers keep their module folder: include/mbrk/FileHandler/Filer.h.
foreach(header IN LISTS MBRK_PUBLIC_HEADERS)
  file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${header})
  get_filename_component(folder ${relative} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mbrk/${folder})
endforeach()

if(TARGET mbrkd2flat)
  install(TARGETS mbrkd2flat EXPORT mbrkTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Compressed as manual pages are installed; -n leaves out the name and time,
  # so every build makes the same bytes.
  set(MBRK_MANPAGE_GZ ${PROJECT_BINARY_DIR}/mbrkd2flat.1.gz)
  add_custom_command(OUTPUT ${MBRK_MANPAGE_GZ}
    COMMAND ${MBRK_GZIP} -9nc ${PROJECT_SOURCE_DIR}/doc/mbrkd2flat.1 > ${MBRK_MANPAGE_GZ}
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/mbrkd2flat.1)
  add_custom_target(mbrk_manpage ALL DEPENDS ${MBRK_MANPAGE_GZ})
  install(FILES ${MBRK_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# The licence and the release history, as a Debian package carries them.
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
set(MBRK_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${MBRK_CHANGELOG_GZ}
  COMMAND ${MBRK_GZIP} -9nc ${PROJECT_BINARY_DIR}/changelog > ${MBRK_CHANGELOG_GZ}
  DEPENDS ${PROJECT_BINARY_DIR}/changelog)
add_custom_target(mbrk_changelog ALL DEPENDS ${MBRK_CHANGELOG_GZ})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${MBRK_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(EXPORT mbrkTargets NAMESPACE mbrk:: DESTINATION ${MBRK_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/mbrkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/mbrkConfig.cmake INSTALL_DESTINATION ${MBRK_CMAKE_DIR})
# Before 1.0 a new minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mbrkConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mbrkConfig.cmake ${PROJECT_BINARY_DIR}/mbrkConfigVersion.cmake
  DESTINATION ${MBRK_CMAKE_DIR})

# pkg-config: the prefix is found from the .pc file's own folder.
if(IS_ABSOLUTE "${MBRK_PKGCONFIG_DIR}")
  set(MBRK_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH MBRK_PC_PREFIX /prefix/${MBRK_PKGCONFIG_DIR} /prefix)
  string(REGEX REPLACE "/$" "" MBRK_PC_PREFIX "${MBRK_PC_PREFIX}")
  set(MBRK_PC_PREFIX "\${pcfiledir}/${MBRK_PC_PREFIX}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(MBRK_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(MBRK_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/mbrk.pc.in ${PROJECT_BINARY_DIR}/mbrk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/mbrk.pc DESTINATION ${MBRK_PKGCONFIG_DIR})

# ---- Debian package: cpack -G DEB in the build folder ------------------------------
set(CPACK_PACKAGE_NAME mbrk)
set(CPACK_PACKAGE_VENDOR "mbrk developers")
set(CPACK_PACKAGE_CONTACT "mbrk developers <mbrk-dev@mbrk.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dataset converter and C++ toolkit for the bracketed text format")
# The summary is the package's one-line description; CPack indents the rest.
set(CPACK_PACKAGE_DESCRIPTION "mbrkd2flat converts a numeric dataset written in the bracketed text
format into a flat text file: one line per row holding the row's inputs
and expected outputs, nine significant digits each.

The package also holds the mbrk C++17 library (static) with its headers,
a CMake package (find_package(mbrk), target mbrk::mbrk) and a pkg-config
file: the dataset reader and writer, the windowed loader, the flat reader
and writer, the in-memory dataset table and the KQML message structure.")
if(TARGET _mbrk)
  string(APPEND CPACK_PACKAGE_DESCRIPTION "

With the Python 3 package mbrk, which loads datasets as NumPy arrays.")
  # The extension module is built for one version of Python.
  string(REPLACE "." ";" MBRK_PYTHON_VERSION_PARTS "${MBRK_PYTHON_VERSION}")
  list(GET MBRK_PYTHON_VERSION_PARTS 1 MBRK_PYTHON_MINOR)
  math(EXPR MBRK_PYTHON_NEXT_MINOR "${MBRK_PYTHON_MINOR} + 1")
  string(REGEX REPLACE "\\.[0-9]+$" ".${MBRK_PYTHON_NEXT_MINOR}" MBRK_PYTHON_NEXT "${MBRK_PYTHON_VERSION}")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "python3 (>= ${MBRK_PYTHON_VERSION}), python3 (<< ${MBRK_PYTHON_NEXT}), python3-numpy")
  # Debian keeps Python modules in /usr/lib/python3/dist-packages, whatever
  # folder the build's own prefix called for.
  set(MBRK_PYTHON_STAGED_DIR ${MBRK_PYTHON_INSTALL_DIR})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/DebianPython.cmake.in
                 ${PROJECT_BINARY_DIR}/DebianPython.cmake @ONLY)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_BINARY_DIR}/DebianPython.cmake)
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The command's library needs (libc6, libstdc++6, libgcc-s1) are read off the binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

# What `cmake --install` puts in place, and the Debian packages that CPack makes of it,
# one per install component:
#
#   component mbrk (package mbrk)
#   bin/mbrkd2flat                     the converter
#   bin/mbrk                           the command for the shell (info, check, ...)
#   lib/libmbrk.a                      the toolkit library
#   include/mbrk/<Module>/<Header>.h   its public headers
#   lib/cmake/mbrk/                    find_package(mbrk) -> mbrk::mbrk, mbrk::mbrkd2flat
#   lib/pkgconfig/mbrk.pc              pkg-config --cflags --libs mbrk
#   share/man/man1/mbrkd2flat.1.gz     the manual pages
#   share/man/man1/mbrk.1.gz
#   share/bash-completion/completions/mbrk   its bash completion
#   share/doc/mbrk/copyright           the licence (changelog.gz beside it)
#
#   component python (package python3-mbrk), when the Python package is built
#   <python>/mbrk/                     the Python package
#   <python>/mbrk-VERSION.dist-info/   its metadata, for pip and importlib.metadata
#   share/doc/python3-mbrk/copyright   the licence (changelog.gz beside it)
#
# A C++ user takes the first alone: nothing of it needs Python.
# (lib stands for CMAKE_INSTALL_LIBDIR, lib/<multiarch> where there is one;
# <python> for the folder below the prefix that the Python searches, see
# python/CMakeLists.txt.) Every file
# finds the others relative to its own place, so a tree installed with
# --prefix, or unpacked from the package into another folder, works where it
# lands.

include(CMakePackageConfigHelpers)
find_program(MBRK_GZIP gzip REQUIRED)

set(MBRK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mbrk)
set(MBRK_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS mbrk EXPORT mbrkTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT mbrk
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT mbrk
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT mbrk)

# Headers keep their module folder: include/mbrk/FileHandler/Filer.h.
foreach(header IN LISTS MBRK_PUBLIC_HEADERS)
  file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${header})
  get_filename_component(folder ${relative} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mbrk/${folder} COMPONENT mbrk)
endforeach()

if(TARGET mbrkd2flat)
  install(TARGETS mbrkd2flat EXPORT mbrkTargets
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT mbrk)
  # Compressed as manual pages are installed; -n leaves out the name and time,
  # so every build makes the same bytes.
  set(MBRK_MANPAGE_GZ ${PROJECT_BINARY_DIR}/mbrkd2flat.1.gz)
  add_custom_command(OUTPUT ${MBRK_MANPAGE_GZ}
    COMMAND ${MBRK_GZIP} -9nc ${PROJECT_SOURCE_DIR}/doc/mbrkd2flat.1 > ${MBRK_MANPAGE_GZ}
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/mbrkd2flat.1)
  add_custom_target(mbrk_manpage ALL DEPENDS ${MBRK_MANPAGE_GZ})
  install(FILES ${MBRK_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT mbrk)
endif()
if(TARGET mbrk_cli)
  install(TARGETS mbrk_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT mbrk)
  set(MBRK_CLI_MANPAGE_GZ ${PROJECT_BINARY_DIR}/mbrk.1.gz)
  add_custom_command(OUTPUT ${MBRK_CLI_MANPAGE_GZ}
    COMMAND ${MBRK_GZIP} -9nc ${PROJECT_SOURCE_DIR}/doc/mbrk.1 > ${MBRK_CLI_MANPAGE_GZ}
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/mbrk.1)
  add_custom_target(mbrk_cli_manpage ALL DEPENDS ${MBRK_CLI_MANPAGE_GZ})
  install(FILES ${MBRK_CLI_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT mbrk)
  install(FILES ${PROJECT_SOURCE_DIR}/doc/bash-completion/mbrk
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions COMPONENT mbrk)
endif()
# The licence and the release history, as a Debian package carries them.
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
set(MBRK_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${MBRK_CHANGELOG_GZ}
  COMMAND ${MBRK_GZIP} -9nc ${PROJECT_BINARY_DIR}/changelog > ${MBRK_CHANGELOG_GZ}
  DEPENDS ${PROJECT_BINARY_DIR}/changelog)
add_custom_target(mbrk_changelog ALL DEPENDS ${MBRK_CHANGELOG_GZ})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${MBRK_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT mbrk)
if(TARGET _mbrk)
  # Each Debian package carries its own copy, in the folder named after it.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${MBRK_CHANGELOG_GZ}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/python3-mbrk COMPONENT python)
endif()

install(EXPORT mbrkTargets NAMESPACE mbrk:: DESTINATION ${MBRK_CMAKE_DIR} COMPONENT mbrk)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/mbrkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/mbrkConfig.cmake INSTALL_DESTINATION ${MBRK_CMAKE_DIR})
# Before 1.0 a new minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mbrkConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mbrkConfig.cmake ${PROJECT_BINARY_DIR}/mbrkConfigVersion.cmake
  DESTINATION ${MBRK_CMAKE_DIR} COMPONENT mbrk)

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
install(FILES ${PROJECT_BINARY_DIR}/mbrk.pc DESTINATION ${MBRK_PKGCONFIG_DIR} COMPONENT mbrk)

# ---- Debian packages: cpack -G DEB in the build folder -----------------------------
# One package per component: mbrk (the command and the C++ toolkit) and, when the
# Python package is built, python3-mbrk.
set(CPACK_PACKAGE_NAME mbrk)
set(CPACK_PACKAGE_VENDOR "mbrk developers")
set(CPACK_PACKAGE_CONTACT "mbrk developers <mbrk-dev@mbrk.invalid>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL mbrk)
set(CPACK_DEBIAN_MBRK_PACKAGE_NAME mbrk)
set(CPACK_DEBIAN_MBRK_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_MBRK_PACKAGE_SECTION science)
# The first line of a description is the package's one-line summary (CPack's
# summary, which it would put before it, is left at its default for that);
# CPack indents the rest.
set(CPACK_DEBIAN_MBRK_DESCRIPTION "dataset converter and C++ toolkit for the bracketed text format
mbrkd2flat converts a numeric dataset written in the bracketed text
format into a flat text file: one line per row holding the row's inputs
and expected outputs, nine significant digits each. mbrk looks into,
checks and converts such datasets from the shell: info, check, head,
stats, and convert to CSV, TSV, NumPy .npy, flat or dataset files.

The package also holds the mbrk C++17 library (static) with its headers,
a CMake package (find_package(mbrk), target mbrk::mbrk) and a pkg-config
file: the dataset reader and writer, the windowed loader, the flat reader
and writer, the in-memory dataset table, the value-type interface and the
KQML message structure.")
if(TARGET _mbrk)
  list(APPEND CPACK_COMPONENTS_ALL python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-mbrk)
  set(CPACK_DEBIAN_PYTHON_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SOURCE mbrk)
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python 3 package loading datasets of the bracketed text format as NumPy arrays
The Python 3 package mbrk reads and writes datasets in the bracketed text
format: mbrk.load gives the inputs, expected outputs, generated outputs
and errors as float64 NumPy arrays and the label lists as dicts;
mbrk.save, mbrk.windows, mbrk.index, mbrk.probe, mbrk.to_flat and
mbrk.read_flat do the rest, and mbrk.dask reads shards as Dask arrays and
frames on a cluster. The C++ toolkit is built into its extension module.")
  # The extension module is built for one version of Python, and it takes
  # NumPy's arrays through NumPy's C interface: the versions that share it
  # are those Debian's NumPy names (as dh_numpy3 would read them).
  string(REPLACE "." ";" MBRK_PYTHON_VERSION_PARTS "${MBRK_PYTHON_VERSION}")
  list(GET MBRK_PYTHON_VERSION_PARTS 1 MBRK_PYTHON_MINOR)
  math(EXPR MBRK_PYTHON_NEXT_MINOR "${MBRK_PYTHON_MINOR} + 1")
  string(REGEX REPLACE "\\.[0-9]+$" ".${MBRK_PYTHON_NEXT_MINOR}" MBRK_PYTHON_NEXT "${MBRK_PYTHON_VERSION}")
  set(MBRK_NUMPY_DEPENDS "python3-numpy")
  if(EXISTS /usr/share/numpy3/versions)
    file(STRINGS /usr/share/numpy3/versions MBRK_NUMPY_ABI REGEX "^abi ")
    file(STRINGS /usr/share/numpy3/versions MBRK_NUMPY_MIN REGEX "^api-min-version ")
    string(REGEX REPLACE "^abi +" "" MBRK_NUMPY_ABI "${MBRK_NUMPY_ABI}")
    string(REGEX REPLACE "^api-min-version +" "" MBRK_NUMPY_MIN "${MBRK_NUMPY_MIN}")
    if(MBRK_NUMPY_ABI AND MBRK_NUMPY_MIN)
      set(MBRK_NUMPY_DEPENDS "python3-numpy (>= ${MBRK_NUMPY_MIN}), python3-numpy-abi${MBRK_NUMPY_ABI}")
    endif()
  endif()
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${MBRK_PYTHON_VERSION}), python3 (<< ${MBRK_PYTHON_NEXT}), ${MBRK_NUMPY_DEPENDS}")
  # mbrk.dask alone needs them, and says so when they are missing.
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-dask, python3-distributed")
  # Debian keeps Python modules in /usr/lib/python3/dist-packages, whatever
  # folder the staged prefix called for.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/DebianPython.cmake.in
                 ${PROJECT_BINARY_DIR}/DebianPython.cmake @ONLY)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_BINARY_DIR}/DebianPython.cmake)
endif()
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Each package's library needs (libc6, libstdc++6, libgcc-s1) are read off its
# binaries. The command has the C++ runtime linked in (a faster start), but the
# static library beside it is linked by C++ programs that run on the shared one.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Likewise the compression libraries: the command's shared ones are read off
# it, while linking the static library needs their development files.
set(CPACK_DEBIAN_MBRK_PACKAGE_DEPENDS "libstdc++6, zlib1g-dev, liblzma-dev, libzstd-dev")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

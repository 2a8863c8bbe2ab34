# The packages made of an install: .debs on Debian, a zip on Windows.

# Packages: `cpack -G DEB` in a release build makes one .deb per component,
# vantrel, libvantrel1 and libvantrel-dev; `cpack -G ZIP` in the Windows one
# a zip of the tools.
set(CPACK_PACKAGE_NAME vantrel)
# Each .deb's description is its summary line, then the extended text. The
# DEB generator would open every package's description with
# CPACK_PACKAGE_DESCRIPTION_SUMMARY, which is therefore left unset.
set(CPACK_DEBIAN_TOOLS_DESCRIPTION [[
Precomputes line-of-sight tables for a square cell grid
vantrel writes, for sight distances up to a given number of pixels, one
table per 32 pixels to LOS.TDF: each table lists straight lines from the
origin cell to the cells around it, each line as the cells it steps through,
so that a map engine can test sight by looking cells up instead of tracing
lines. The file is the same, byte for byte, on every system.

vantrel-inspect checks a table file against freshly computed tables, or
draws one of its tables as an SVG picture.]])
set(CPACK_DEBIAN_LIB_DESCRIPTION [[
Line-of-sight tables and field of view for game engines (shared library)
libvantrel makes in memory the line-of-sight tables that vantrel writes to
LOS.TDF, or reads them from a table file, and computes from a table the
field of view of a viewer on a map of opaque and clear cells, without
allocating. It has a C++20 API and a C API.

This package holds the shared library.]])
set(CPACK_DEBIAN_DEV_DESCRIPTION [[
Line-of-sight tables and field of view for game engines (development files)
libvantrel makes in memory the line-of-sight tables that vantrel writes to
LOS.TDF, or reads them from a table file, and computes from a table the
field of view of a viewer on a map of opaque and clear cells, without
allocating. It has a C++20 API and a C API.

This package holds the headers, the link to the shared library, the static
library, the CMake package (find_package(vantrel) gives the targets
vantrel::vantrel and vantrel::vantrel_static) and the pkg-config file
vantrel.pc.]])
set(CPACK_PACKAGE_CONTACT "${VANTREL_MAINTAINER}")
set(CPACK_RESOURCE_FILE_README ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
# Packaged programs carry no symbol tables (the cross builds' strip for the
# Windows zip).
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME vantrel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# The C++ runtime is linked in; the C library is the system's.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libc6")
set(CPACK_DEBIAN_LIB_PACKAGE_NAME libvantrel1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_PACKAGE_SOURCE vantrel)
# The shared library's dependencies, read off it by dpkg-shlibdeps, and the
# shlibs file and ldconfig trigger that Debian wants of a library package.
set(CPACK_DEBIAN_LIB_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
# The dynamic linker's cache is refreshed by dpkg's ldconfig trigger, once
# for all the libraries of an installation, as Debian asks; not by a
# postinst and postrm that call ldconfig, which CPack writes for a library
# under /usr/lib unless the package brings scripts of those names. Naming
# them here without making them leaves the package without either (CPack
# warns that it misses them).
set(vantrel_lib_control ${CMAKE_CURRENT_BINARY_DIR}/packaging/libvantrel1)
file(WRITE ${vantrel_lib_control}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA
  ${vantrel_lib_control}/triggers ${vantrel_lib_control}/postinst ${vantrel_lib_control}/postrm)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvantrel-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SOURCE vantrel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libvantrel1 (= ${PROJECT_VERSION})")
# libvantrel-dev takes the place of the vantrel-dev of 1.0.0,
# which held the static library and headers alone: an upgrade replaces it.
set(CPACK_DEBIAN_DEV_PACKAGE_REPLACES "vantrel-dev (<< 1.1.0~)")
set(CPACK_DEBIAN_DEV_PACKAGE_BREAKS "vantrel-dev (<< 1.1.0~)")
set(CPACK_DEBIAN_DEV_PACKAGE_PROVIDES "vantrel-dev (= ${PROJECT_VERSION})")
# python3-vantrel: the Python module, for the one Python it is built for.
set(CPACK_DEBIAN_PYTHON_DESCRIPTION [[
Line-of-sight tables and field of view for game engines (Python 3)
The Python module vantrel makes the line-of-sight tables that vantrel
writes to LOS.TDF, or reads them from a table file, and computes from them
the field of view of a viewer on a map given as a numpy array of opaque or
clear cells, read in place, or the fog of war of many viewers on several
threads, releasing the GIL while it computes.

This package holds the module for Python 3, with libvantrel linked in.]])
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vantrel)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SOURCE vantrel)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
  "python3 (>= ${VANTREL_PYTHON_VERSION}), python3 (<< ${VANTREL_PYTHON_NEXT_VERSION}), python3-numpy")
if(WIN32)
  # The zip holds the tools alone, as one archive of the chosen components:
  # unpacked anywhere, it has no prefix that vantrel.pc could name.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_COMPONENTS_ALL tools)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_COMPONENTS_ALL tools lib dev)
  if(VANTREL_PYTHON_BUILT AND VANTREL_INSTALL)
    list(APPEND CPACK_COMPONENTS_ALL python)
  endif()
endif()
include(CPack)


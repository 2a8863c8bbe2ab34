# What `cmake --install` puts where: the tools and their documentation
# (component tools), the shared library (lib) and what building against the
# library takes (dev). A vendored build installs the library's files alone.

if(VANTREL_BUILD_TOOLS)
  # The pictures the README shows.
  set(vantrel_readme_pictures docs/table12.svg docs/coverage12.svg docs/view.svg
    docs/view-symmetric.svg)
  foreach(place room corridor)
    foreach(walls seen facing unseen)
      list(APPEND vantrel_readme_pictures docs/${place}-walls-${walls}.svg)
    endforeach()
  endforeach()
  # Installed as usual on POSIX systems; on Windows the programs, the README
  # and the licence stand side by side, as a zip file unpacks them.
  if(WIN32)
    install(TARGETS vantrel vantrel-inspect RUNTIME DESTINATION . COMPONENT tools)
    install(FILES README.md LICENSE DESTINATION . COMPONENT tools)
    install(FILES ${vantrel_readme_pictures} DESTINATION docs COMPONENT tools)
  else()
    install(TARGETS vantrel vantrel-inspect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
      COMPONENT tools)
    # The man pages and the changelog take the project's version and are
    # installed compressed; gzip -n stores no name or time, so the same
    # sources give the same bytes.
    find_program(VANTREL_GZIP gzip REQUIRED)
    set(compressed_docs)
    configure_file(packaging/changelog.in changelog @ONLY)
    configure_file(man/vantrel.1 man/vantrel.1 @ONLY)
    configure_file(man/vantrel-inspect.1 man/vantrel-inspect.1 @ONLY)
    foreach(doc changelog man/vantrel.1 man/vantrel-inspect.1)
      add_custom_command(OUTPUT ${doc}.gz
        COMMAND ${VANTREL_GZIP} -9nkf ${doc}
        DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${doc}
        VERBATIM)
      list(APPEND compressed_docs ${CMAKE_CURRENT_BINARY_DIR}/${doc}.gz)
    endforeach()
    add_custom_target(vantrel_docs ALL DEPENDS ${compressed_docs})
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/vantrel.1.gz
      ${CMAKE_CURRENT_BINARY_DIR}/man/vantrel-inspect.1.gz
      DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
    install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tools)
    # The licence in Debian's machine-readable form and the changelog, where
    # Debian looks for them: in every package's own doc directory.
    set(vantrel_packages vantrel:tools libvantrel1:lib libvantrel-dev:dev)
    if(VANTREL_PYTHON_BUILT)
      list(APPEND vantrel_packages python3-vantrel:python)
    endif()
    foreach(package ${vantrel_packages})
      string(REPLACE ":" ";" package "${package}")
      list(GET package 0 name)
      list(GET package 1 component)
      install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${name} COMPONENT ${component})
    endforeach()
    install(FILES ${vantrel_readme_pictures} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
      COMPONENT tools)
  endif()
endif()

# The library for building against: its public headers, libvantrel.so and
# libvantrel.a, the CMake package that find_package(vantrel) reads (the
# imported targets vantrel::vantrel, the shared library where there is one,
# and vantrel::vantrel_static) and vantrel.pc for pkg-config. What the
# library links privately (warnings, floating-point rules) stays out of the
# exported targets; what they carry is the include directory and C++20.
set(vantrel_installed)
if(TARGET vantrel_shared)
  list(APPEND vantrel_installed vantrel_shared)
endif()
if(TARGET vantrel_static)
  list(APPEND vantrel_installed vantrel_static)
endif()
install(TARGETS ${vantrel_installed} EXPORT vantrelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib)
install(DIRECTORY include/vantrel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
  FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/include/vantrel/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vantrel COMPONENT dev)
set(vantrel_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vantrel)
install(EXPORT vantrelTargets NAMESPACE vantrel:: DESTINATION ${vantrel_cmake_dir}
  COMPONENT dev)
include(CMakePackageConfigHelpers)
configure_package_config_file(cmake/vantrelConfig.cmake.in vantrelConfig.cmake
  INSTALL_DESTINATION ${vantrel_cmake_dir})
write_basic_package_version_file(vantrelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vantrelConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/vantrelConfigVersion.cmake
  DESTINATION ${vantrel_cmake_dir} COMPONENT dev)
# vantrel.pc finds the prefix from where it lies, so that an installed tree
# may be moved: its directory is <prefix>/<libdir>/pkgconfig. A libdir or
# includedir given as an absolute path is written as it stands, and with an
# absolute libdir the file no longer lies within the prefix: it then names
# the prefix too.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(vantrel_pc_prefix "${CMAKE_INSTALL_PREFIX}")
  set(vantrel_pc_libdir "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH vantrel_pc_to_prefix
    "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  # ../../../ as CMake gives it, without the last slash that would double
  # the one before includedir and libdir.
  string(REGEX REPLACE "/$" "" vantrel_pc_to_prefix "${vantrel_pc_to_prefix}")
  set(vantrel_pc_prefix "\${pcfiledir}/${vantrel_pc_to_prefix}")
  file(RELATIVE_PATH vantrel_pc_libdir "/prefix" "/prefix/${CMAKE_INSTALL_LIBDIR}")
  set(vantrel_pc_libdir "\${prefix}/${vantrel_pc_libdir}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(vantrel_pc_includedir "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH vantrel_pc_includedir "/prefix" "/prefix/${CMAKE_INSTALL_INCLUDEDIR}")
  set(vantrel_pc_includedir "\${prefix}/${vantrel_pc_includedir}")
endif()
configure_file(packaging/vantrel.pc.in pkgconfig/vantrel.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/vantrel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

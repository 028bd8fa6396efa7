# What `cmake --install` puts into a prefix: the programs, the driver library
# and the simulator library (shared, C interface only) with its rig files
# when it is built, the C headers under include/vorn, a CMake package,
# pkg-config files and the man pages.
include(CMakePackageConfigHelpers)

set(VORN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vorn)
set(VORN_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/vorn)

# Programs that exist in this build.
set(vorn_programs vorndiag)
foreach(program vorndiag-sim vorntrace vornsim-lpt)
  if(TARGET ${program})
    list(APPEND vorn_programs ${program})
  endif()
endforeach()
install(TARGETS ${vorn_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Installed files find the libraries from where they are themselves, so the
# tree runs from any prefix and needs no LD_LIBRARY_PATH, which sudo drops.
file(RELATIVE_PATH VORN_BIN_TO_LIB /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
set_target_properties(${vorn_programs} PROPERTIES INSTALL_RPATH "$ORIGIN/${VORN_BIN_TO_LIB}")

# Libraries, exported for find_package(vorn) as vorn::vorn and vorn::sim,
# and vorn::compat for #include <extintf.h>.
set(vorn_libraries vorn vorn_compat)
set_target_properties(vorn_compat PROPERTIES EXPORT_NAME compat)
# The C headers; every one lives in include/vorn.
install(FILES include/vorn/vorn.h include/vorn/vorn_export.h include/vorn/extintf.h
        DESTINATION ${VORN_HEADER_DIR})
if(TARGET vorn_sim)
  install(FILES include/vorn/vornsim.h include/vorn/vornsim_export.h DESTINATION ${VORN_HEADER_DIR})
  set_target_properties(vorn_sim PROPERTIES EXPORT_NAME sim INSTALL_RPATH "$ORIGIN")
  list(APPEND vorn_libraries vorn_sim)
  # The sample rig files, for VORNSIM_RIG.
  install(DIRECTORY sim/rigs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vorn/rigs
          FILES_MATCHING PATTERN "*.toml")
endif()
install(TARGETS ${vorn_libraries} EXPORT vornTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT vornTargets NAMESPACE vorn:: DESTINATION ${VORN_CMAKE_DIR})

configure_package_config_file(cmake/vornConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vornConfig.cmake INSTALL_DESTINATION ${VORN_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vornConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vornConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/vornConfigVersion.cmake
        DESTINATION ${VORN_CMAKE_DIR})

# pkg-config files find their prefix from where they are installed, so the
# tree can be installed with --prefix or moved afterwards.
set(VORN_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH VORN_PC_TO_PREFIX /prefix/${VORN_PC_DIR} /prefix)
string(REGEX REPLACE "/$" "" VORN_PC_TO_PREFIX "${VORN_PC_TO_PREFIX}")
set(vorn_pc_files vorn vorn-compat)
if(TARGET vorn_sim)
  list(APPEND vorn_pc_files vornsim)
endif()
foreach(pc ${vorn_pc_files})
  configure_file(cmake/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${VORN_PC_DIR})
endforeach()

# Man pages; vorndiag-sim shares the page of vorndiag.
set(VORN_MAN_DIR ${CMAKE_INSTALL_MANDIR}/man1)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/vorndiag-sim.1 ".so man1/vorndiag.1\n")
set(vorn_man_pages docs/vorndiag.1 docs/vorntrace.1 ${CMAKE_CURRENT_BINARY_DIR}/vorndiag-sim.1)
if(TARGET vornsim-lpt)
  list(APPEND vorn_man_pages docs/vornsim-lpt.1)
endif()
install(FILES ${vorn_man_pages} DESTINATION ${VORN_MAN_DIR})

# What `cmake --install` puts under the prefix:
#   bin/sfxkit                          the tool
#   libexec/sfxkit/launcher             the POSIX launcher stub
#   libexec/sfxkit/launcher.exe         the Windows launcher stub (from a win32 build
#                                       installed into the same prefix)
#   lib/libsfx.a, include/sfxkit/...    the service library and its public headers
#   lib/cmake/sfxkit/, lib/pkgconfig/   find_package(sfxkit) and pkg-config files
#   share/man/man1/sfxkit.1, share/bash-completion/completions/sfxkit
# The tool finds its stubs relative to its own location, so the prefix can move.
include(GNUInstallDirs)
set(SFX_STUB_DIR ${CMAKE_INSTALL_LIBEXECDIR}/sfxkit)

if(WIN32)
  # A Windows build contributes only its launcher stub; the tool that packs it
  # runs on Linux.
  if(TARGET launcher)
    install(TARGETS launcher RUNTIME DESTINATION ${SFX_STUB_DIR} COMPONENT stub)
  endif()
  return()
endif()

install(TARGETS sfxkit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
if(TARGET launcher)
  install(TARGETS launcher RUNTIME DESTINATION ${SFX_STUB_DIR} COMPONENT tool)
endif()

# The library and the headers a caller needs: every header of services/ and
# the platform front they include, never a private (_p.h) one.
install(TARGETS sfx EXPORT sfxkitTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
foreach(dir services platform)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sfxkit/${dir} COMPONENT dev
          FILES_MATCHING PATTERN "*.h" PATTERN "*_p.h" EXCLUDE PATTERN "posix" EXCLUDE PATTERN "win32" EXCLUDE)
endforeach()

include(CMakePackageConfigHelpers)
set(SFX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/sfxkit)
install(EXPORT sfxkitTargets NAMESPACE sfxkit:: DESTINATION ${SFX_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/install/sfxkitConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/sfxkitConfig.cmake INSTALL_DESTINATION ${SFX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sfxkitConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sfxkitConfig.cmake ${PROJECT_BINARY_DIR}/sfxkitConfigVersion.cmake
        DESTINATION ${SFX_CMAKE_DIR} COMPONENT dev)
file(RELATIVE_PATH SFX_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(${PROJECT_SOURCE_DIR}/cmake/install/sfxkit.pc.in ${PROJECT_BINARY_DIR}/sfxkit.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sfxkit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The manual page is made from the tool's own help texts, so the two never
# disagree; the completion script is checked against them by a test.
set(SFX_MAN_PAGE ${PROJECT_BINARY_DIR}/sfxkit.1)
add_custom_command(OUTPUT ${SFX_MAN_PAGE}
                   COMMAND ${CMAKE_COMMAND} -DSFXKIT=$<TARGET_FILE:sfxkit> -DOUT=${SFX_MAN_PAGE}
                           -DVERSION=${PROJECT_VERSION} -P ${PROJECT_SOURCE_DIR}/cmake/install/man_page.cmake
                   DEPENDS sfxkit ${PROJECT_SOURCE_DIR}/cmake/install/man_page.cmake VERBATIM)
add_custom_target(sfxkit_man_page ALL DEPENDS ${SFX_MAN_PAGE})
install(FILES ${SFX_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
install(FILES ${PROJECT_SOURCE_DIR}/tools/sfxkit/sfxkit.bash-completion DESTINATION
              ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME sfxkit COMPONENT tool)

# Launchers run from folders holding other downloads, on systems that harden
# their temporary folders: what they load, how they are signed, where their
# setup program may run.
if(WIN32 AND TARGET launcher)
  # A library planted beside the launcher, and a control program that imports
  # the common controls statically as the launcher once did.
  add_library(planted_comctl32 SHARED ${CMAKE_CURRENT_LIST_DIR}/planted_comctl32.c)
  set_target_properties(planted_comctl32 PROPERTIES PREFIX "" OUTPUT_NAME comctl32 RUNTIME_OUTPUT_DIRECTORY
                                                    ${CMAKE_CURRENT_BINARY_DIR}/planted)
  target_link_options(planted_comctl32 PRIVATE -Wl,--kill-at -static-libgcc)
  target_link_libraries(planted_comctl32 PRIVATE sfx_warnings)
  add_executable(static_comctl32_importer WIN32 ${CMAKE_CURRENT_LIST_DIR}/static_comctl32_importer.c)
  target_link_libraries(static_comctl32_importer PRIVATE comctl32 sfx_warnings)
  add_custom_target(planted_library_parts ALL DEPENDS planted_comctl32 static_comctl32_importer launcher
                                                      sfxkit_setup_probe)
  add_test(NAME launcher_planted_library
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/planted_library.sh ${PROJECT_SOURCE_DIR}
                   ${CMAKE_CURRENT_BINARY_DIR}/planted_library ${CMAKE_OBJDUMP} $<TARGET_FILE:launcher>
                   $<TARGET_FILE:planted_comctl32> $<TARGET_FILE:static_comctl32_importer>
                   $<TARGET_FILE:sfxkit_setup_probe>)
  set_tests_properties(launcher_planted_library PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()

# Signing after packing. Natively: the Linux tool packs the win32 build's
# launcher (skipped until there is one), and the signature and the payload are
# checked. In the win32 build: the same with this build's launcher, which then
# runs under Wine.
if(WIN32 AND TARGET launcher)
  add_test(NAME launcher_signed
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/signed_launcher.sh ${CMAKE_CURRENT_BINARY_DIR}/signed_launcher
                   root:${PROJECT_SOURCE_DIR} $<TARGET_FILE:launcher> $<TARGET_FILE:sfxkit_setup_probe>)
elseif(NOT WIN32)
  add_test(NAME launcher_signed COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/signed_launcher.sh
                                        ${CMAKE_CURRENT_BINARY_DIR}/signed_launcher $<TARGET_FILE:sfxkit> -)
endif()
if(TEST launcher_signed)
  set_tests_properties(launcher_signed PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

# The POSIX launcher on a temporary folder where programs may not run.
if(NOT WIN32)
  add_test(NAME launcher_noexec_temp COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/noexec_temp.sh $<TARGET_FILE:launcher>
                                             $<TARGET_FILE:sfxkit> ${CMAKE_CURRENT_BINARY_DIR}/noexec_temp)
  set_tests_properties(launcher_noexec_temp PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

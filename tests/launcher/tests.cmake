# The launcher's tests link its logic; on Windows also the dialog resources,
# so the real dialog runs under Wine.
target_link_libraries(test_launcher PRIVATE sfx_launcher)
if(WIN32)
  target_sources(test_launcher PRIVATE $<TARGET_OBJECTS:sfx_launcher_resources>)
endif()

# End-to-end: real launchers with payloads, run as a user would run them.
add_executable(launcher_payload_maker ${CMAKE_CURRENT_LIST_DIR}/e2e/payload_maker.cpp)
target_link_libraries(launcher_payload_maker PRIVATE sfx_payload sfx_test_zlib sfx_warnings)
add_executable(launcher_setup_probe ${CMAKE_CURRENT_LIST_DIR}/e2e/setup_probe.cpp)
add_executable(launcher_pack_tree ${CMAKE_CURRENT_LIST_DIR}/e2e/pack_tree.cpp)
target_link_libraries(launcher_pack_tree PRIVATE sfx_payload sfx_test_zlib sfx_warnings)
target_link_libraries(launcher_setup_probe PRIVATE sfx_warnings)
if(NOT WIN32)
  add_test(NAME launcher_e2e
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e/run_posix.sh $<TARGET_FILE:launcher>
                   $<TARGET_FILE:launcher_payload_maker> $<TARGET_FILE:launcher_setup_probe>
                   ${CMAKE_CURRENT_BINARY_DIR}/launcher_e2e)
  set_tests_properties(launcher_e2e PROPERTIES TIMEOUT 300)
endif()
if(WIN32)
  # The launcher's parts, linked with each payload at test time.
  add_library(launcher_e2e_entries OBJECT ${PROJECT_SOURCE_DIR}/launcher/entry.cpp
              ${CMAKE_CURRENT_LIST_DIR}/e2e/recording_entry.cpp)
  target_link_libraries(launcher_e2e_entries PRIVATE sfx_launcher)
  add_custom_target(launcher_e2e_parts ALL DEPENDS launcher_e2e_entries sfx_launcher_resources sfx_launcher
                    launcher_payload_maker launcher_setup_probe)
  set(e2e_objects $<TARGET_OBJECTS:launcher_e2e_entries>)
  add_test(NAME launcher_e2e
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e/run_win32.sh ${CMAKE_CURRENT_BINARY_DIR}/launcher_e2e
                   ${CMAKE_CXX_COMPILER} ${CMAKE_RC_COMPILER} $<TARGET_FILE:launcher_payload_maker>
                   $<TARGET_FILE:launcher_setup_probe> "$<FILTER:${e2e_objects},INCLUDE,/entry\\.cpp>"
                   "$<FILTER:${e2e_objects},INCLUDE,recording_entry>" $<TARGET_OBJECTS:sfx_launcher_resources>
                   $<TARGET_FILE:sfx_launcher> $<TARGET_FILE:sfx_payload> $<TARGET_FILE:sfx> ${SFX_PCRE_ROOT}/lib/libpcre.a)
  set_tests_properties(launcher_e2e PROPERTIES TIMEOUT 300)
endif()
if(WIN32)
  # The compiled dialog template and icon, byte for byte what the dialog needs.
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  add_test(NAME launcher_resources
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_resources.py ${CMAKE_RC_COMPILER}
                   ${PROJECT_SOURCE_DIR}/launcher/launcher.rc ${CMAKE_CURRENT_BINARY_DIR}/launcher_resources)
endif()

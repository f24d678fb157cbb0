# The launcher's tests link its logic; on Windows also the dialog resources,
# so the real dialog runs under Wine.
target_link_libraries(test_launcher PRIVATE sfx_launcher)
if(WIN32)
  target_sources(test_launcher PRIVATE $<TARGET_OBJECTS:sfx_launcher_resources>)
  target_link_libraries(test_launcher PRIVATE comctl32)
endif()

# End-to-end: real launchers with payloads, run as a user would run them.
add_executable(launcher_payload_maker ${CMAKE_CURRENT_LIST_DIR}/e2e/payload_maker.cpp)
target_link_libraries(launcher_payload_maker PRIVATE sfx_payload sfx_test_zlib sfx_warnings)
add_executable(launcher_setup_probe ${CMAKE_CURRENT_LIST_DIR}/e2e/setup_probe.cpp)
target_link_libraries(launcher_setup_probe PRIVATE sfx_warnings)
if(NOT WIN32)
  add_test(NAME launcher_e2e
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e/run_posix.sh $<TARGET_FILE:launcher>
                   $<TARGET_FILE:launcher_payload_maker> $<TARGET_FILE:launcher_setup_probe>
                   ${CMAKE_CURRENT_BINARY_DIR}/launcher_e2e)
  set_tests_properties(launcher_e2e PROPERTIES TIMEOUT 300)
endif()

# The launcher's tests link its logic; on Windows also the dialog resources,
# so the real dialog runs under Wine.
target_link_libraries(test_launcher PRIVATE sfx_launcher)
if(WIN32)
  target_sources(test_launcher PRIVATE $<TARGET_OBJECTS:sfx_launcher_resources>)
  target_link_libraries(test_launcher PRIVATE comctl32)
endif()

# The POSIX launcher is copied to machines its author never saw: older
# distributions, bare containers, systems with another C library. Linked
# statically it needs nothing from them. The sanitizers' run-time cannot be
# linked statically, so the sanitized build keeps a dynamic launcher.
option(SFX_STATIC_LAUNCHER "Link the POSIX launcher statically (not with the sanitizers)" ON)
if(NOT WIN32 AND SFX_STATIC_LAUNCHER AND NOT SFX_SANITIZE)
  set(SFX_LAUNCHER_IS_STATIC ON)
  # Every function and variable in a section of its own, so the linker can
  # drop what the launcher never reaches even inside objects it needs.
  add_compile_options(-ffunction-sections -fdata-sections)
else()
  set(SFX_LAUNCHER_IS_STATIC OFF)
endif()

# Links `target` as the static launcher: no shared libraries, unreferenced
# sections dropped, no regular-expression engine on the link line (a reference
# to it would fail the link instead of growing the stub), symbols stripped in
# optimised builds, and a linker map beside it that says what each part costs.
function(sfx_link_static_launcher target)
  if(NOT SFX_LAUNCHER_IS_STATIC)
    return()
  endif()
  set_target_properties(${target} PROPERTIES SFX_NO_REGEX_ENGINE ON)
  # The C++ run-time pieces the launcher reaches (terminate, new and delete,
  # static-object guards) in forms that do not link the exception machinery.
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/launcher/static/terminate_handler.cpp
                                   ${PROJECT_SOURCE_DIR}/launcher/static/allocation.cpp
                                   ${PROJECT_SOURCE_DIR}/launcher/static/static_init_guard.cpp)
  # The product's code neither throws nor catches: without exception support
  # its objects carry no cleanup code and no references to the run-time's.
  foreach(part sfx sfx_payload sfx_launcher ${target})
    target_compile_options(${part} PRIVATE -fno-exceptions)
  endforeach()
  target_link_options(${target} PRIVATE -static -Wl,--gc-sections -Wl,-Map=$<TARGET_FILE:${target}>.map
                      $<$<CONFIG:Release,MinSizeRel>:-s>)
endfunction()

# The sfxkit tool's tests reach its readers and writers through sfxkit_lib.
target_link_libraries(test_tools_sfxkit PRIVATE sfxkit_lib)

# Resource probes: small Windows programs with a dialog, an icon group and a
# raw-data resource, built with the mingw tools on either target. One is linked
# as usual (relocations, symbol table and debugging sections after the
# resources); one is stripped and has no relocations, so its resource section
# is the last one; one has so many sections that its headers are full.
# The 64-bit Windows test build makes them 64-bit too, so that Wine can run them.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(probe_arch x86_64)
else()
  set(probe_arch i686)
endif()
find_program(SFX_MINGW_CC_${probe_arch} NAMES ${probe_arch}-w64-mingw32-gcc-posix ${probe_arch}-w64-mingw32-gcc)
find_program(SFX_MINGW_WINDRES_${probe_arch} NAMES ${probe_arch}-w64-mingw32-windres)
set(SFX_MINGW_CC ${SFX_MINGW_CC_${probe_arch}})
set(SFX_MINGW_WINDRES ${SFX_MINGW_WINDRES_${probe_arch}})
if(SFX_MINGW_CC AND SFX_MINGW_WINDRES)
  set(fixtures ${CMAKE_CURRENT_LIST_DIR}/fixtures)
  set(out ${CMAKE_BINARY_DIR}/tests/sfxkit_fixtures)
  add_custom_command(
    OUTPUT ${out}/resource_probe.exe ${out}/resource_probe_small.exe ${out}/resource_probe_full.exe
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
    COMMAND ${SFX_MINGW_WINDRES} -I ${fixtures} ${fixtures}/resource_probe.rc -O coff -o ${out}/resource_probe.res.o
    COMMAND ${SFX_MINGW_CC} -O2 -Wall -Werror -o ${out}/resource_probe.exe ${fixtures}/resource_probe.c
            ${out}/resource_probe.res.o
    COMMAND ${SFX_MINGW_CC} -O2 -Wall -Werror -s -Wl,--disable-reloc-section -o ${out}/resource_probe_small.exe
            ${fixtures}/resource_probe.c ${out}/resource_probe.res.o
    COMMAND ${SFX_MINGW_CC} -O2 -Wall -Werror -s -DPROBE_FULL_HEADERS -o ${out}/resource_probe_full.exe
            ${fixtures}/resource_probe.c ${fixtures}/full_headers.c ${out}/resource_probe.res.o
    DEPENDS ${fixtures}/resource_probe.c ${fixtures}/resource_probe.rc ${fixtures}/probe.ico
            ${fixtures}/full_headers.c
    VERBATIM)
  add_custom_target(sfxkit_resource_probes DEPENDS ${out}/resource_probe.exe ${out}/resource_probe_small.exe
                                                   ${out}/resource_probe_full.exe)
  add_dependencies(test_tools_sfxkit sfxkit_resource_probes)
  set_property(TEST tools_sfxkit APPEND PROPERTY ENVIRONMENT "SFX_PE_FIXTURES=${out}")
endif()
# Windows programs can be started only where the tests themselves run on Windows (or Wine).
if(WIN32)
  set_property(TEST tools_sfxkit APPEND PROPERTY ENVIRONMENT "SFX_CAN_RUN_WINDOWS_PROGRAMS=1")
endif()

# A real launcher to pack, and a setup program that reports what it finds, for
# the tests that run packed launchers (on Windows under Wine, with a display).
add_executable(sfxkit_setup_probe ${CMAKE_CURRENT_LIST_DIR}/fixtures/setup_probe.cpp)
target_link_libraries(sfxkit_setup_probe PRIVATE sfx_warnings)
add_dependencies(test_tools_sfxkit sfxkit_setup_probe)
set_property(TEST tools_sfxkit APPEND PROPERTY ENVIRONMENT "SFX_SETUP_PROBE=$<TARGET_FILE:sfxkit_setup_probe>")
if(TARGET launcher)
  add_dependencies(test_tools_sfxkit launcher)
  set_property(TEST tools_sfxkit APPEND PROPERTY ENVIRONMENT "SFX_LAUNCHER_STUB=$<TARGET_FILE:launcher>")
endif()
if(WIN32 AND TARGET launcher)
  # The Linux tool packs the Windows launcher; Wine runs it.
  add_test(NAME tools_sfxkit_packed_on_linux
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/packed_on_linux.sh ${PROJECT_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/tests/packed_on_linux $<TARGET_FILE:launcher> $<TARGET_FILE:sfxkit_setup_probe>)
  set_tests_properties(tools_sfxkit_packed_on_linux PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

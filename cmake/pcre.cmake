# PCRE, 8-bit. Natively from Debian's libpcre3-dev; for the Windows target the
# static library that scripts/build-pcre-win32 cross-builds into .deps.
add_library(sfx_pcre INTERFACE)
add_library(sfx::pcre ALIAS sfx_pcre)
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(SFX_PCRE_ROOT "${PROJECT_SOURCE_DIR}/.deps/pcre-win64" CACHE PATH "cross-built PCRE")
  else()
    set(SFX_PCRE_ROOT "${PROJECT_SOURCE_DIR}/.deps/pcre-win32" CACHE PATH "cross-built PCRE")
  endif()
  if(NOT EXISTS "${SFX_PCRE_ROOT}/lib/libpcre.a")
    message(FATAL_ERROR "PCRE for the Windows target is missing; run scripts/bootstrap")
  endif()
  target_include_directories(sfx_pcre INTERFACE "${SFX_PCRE_ROOT}/include")
  target_link_libraries(sfx_pcre INTERFACE "${SFX_PCRE_ROOT}/lib/libpcre.a")
  target_compile_definitions(sfx_pcre INTERFACE PCRE_STATIC)
elseif(CMAKE_CROSSCOMPILING)
  # A cross build for another POSIX architecture makes the launcher only,
  # which never reaches the regex engine: PCRE's declarations (the same on
  # every architecture) let the library compile, and nothing links PCRE.
  find_file(SFX_PCRE_HOST_HEADER pcre.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
  file(COPY "${SFX_PCRE_HOST_HEADER}" DESTINATION "${CMAKE_BINARY_DIR}/pcre-declarations")
  target_include_directories(sfx_pcre INTERFACE "${CMAKE_BINARY_DIR}/pcre-declarations")
else()
  find_path(SFX_PCRE_INCLUDE pcre.h REQUIRED)
  find_library(SFX_PCRE_LIBRARY pcre REQUIRED)
  target_include_directories(sfx_pcre INTERFACE "${SFX_PCRE_INCLUDE}")
  # Programs that must not carry the engine (the static launcher) say so with
  # the target property SFX_NO_REGEX_ENGINE.
  target_link_libraries(sfx_pcre INTERFACE "$<$<NOT:$<BOOL:$<TARGET_PROPERTY:SFX_NO_REGEX_ENGINE>>>:${SFX_PCRE_LIBRARY}>")
endif()

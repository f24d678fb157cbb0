if(SFX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(SFX_BUILD_FUZZ)
  # Coverage for everything the fuzzers reach, not only their own files.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

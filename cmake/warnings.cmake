add_library(sfx_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(sfx_warnings INTERFACE -Wall -Wextra -Werror)
endif()
if(WIN32)
  # One executable, no runtime DLLs: it then imports only system libraries.
  target_link_options(sfx_warnings INTERFACE -static -static-libgcc -static-libstdc++)
endif()

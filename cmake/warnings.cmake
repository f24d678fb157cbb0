add_library(sfx_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(sfx_warnings INTERFACE -Wall -Wextra -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # Instances are destroyed through their exact type (DeleteInstance<T>) and
  # have no virtual destructor by design: their virtual table is the
  # operation table, whose slots are fixed.
  target_compile_options(sfx_warnings INTERFACE -Wno-delete-non-abstract-non-virtual-dtor)
endif()
if(WIN32)
  # One executable, no runtime DLLs: it then imports only system libraries.
  # No link time in the headers: the same sources give the same executable.
  target_link_options(sfx_warnings INTERFACE -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
endif()

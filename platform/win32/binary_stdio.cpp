#include "platform/binary_stdio.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace sfx::platform {

bool SetStandardStreamsBinary() {
  return _setmode(_fileno(stdin), _O_BINARY) != -1 && _setmode(_fileno(stdout), _O_BINARY) != -1;
}

}  // namespace sfx::platform

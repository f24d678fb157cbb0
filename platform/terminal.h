// Whether the standard error stream is an interactive terminal, so that a
// tool may redraw a progress line on it instead of writing plain lines.
#pragma once

namespace sfx::platform {

bool StandardErrorIsTerminal();

}  // namespace sfx::platform

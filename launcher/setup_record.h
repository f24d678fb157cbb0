// Reading the setup record.
#pragma once

#include "launcher/launch_state.h"
#include "payload/records.h"

namespace sfx::launcher {

// Reads the setup record "F00000000" from `records` into its header and three
// zero-terminated buffers: `title` (kTitleBytes; a longer title is cut to 31
// bytes), `programName` (kProgramNameBytes) and `arguments`
// (kArgumentsBytes). False when the record is missing, its size is not
// exactly the header plus its three texts, or its program name could reach
// outside the temporary folder; the buffers are then not to be used.
bool ReadSetupRecord(const payload::RecordSource& records, payload::SetupHeader* header, char* title, char* programName,
                     char* arguments);

}  // namespace sfx::launcher

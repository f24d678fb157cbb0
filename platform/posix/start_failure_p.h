// What RunProgramAndWait leaves for ReportMendableStartFailure.
#pragma once

namespace sfx::platform {

// Called when `application` could not be started with the system's `error`;
// looks at once at the file system holding it, before its folder goes.
void NoteStartFailure(const char* application, int error);

}  // namespace sfx::platform

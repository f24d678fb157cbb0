// The running launcher's own payload: the raw-data resources of a Windows
// executable, or the payload image appended to a POSIX one.
#pragma once

#include "payload/record_source.h"

namespace sfx::launcher {

// Found once, on first use; a launcher without a payload gives a source in
// which no record exists.
const payload::RecordSource& OwnRecords();

}  // namespace sfx::launcher

// Private to the POSIX time backend: the machine's local time zone, read as
// the C library reads it, so that the launcher links none of the C library's
// own zone code. That code parses its rules with the formatted-input engine,
// which brings every floating-point conversion along: about a ninth of a
// static launcher.
//
// Where the zone comes from, in order: TZ unset, the file /etc/localtime;
// TZ empty, UTC; otherwise TZ (a leading ':' dropped) names a compiled zone
// file, absolute or under TZDIR (default /usr/share/zoneinfo), and when no
// such file can be read it is a rule string such as "CET-1CEST,M3.5.0,M10.5.0/3".
// A zone that cannot be read or parsed is UTC. Times past a file's last
// transition follow the rule string at the file's end.
#pragma once

#include <cstdint>

namespace sfx::platform::detail {

// The offset in seconds (local = UTC + offset) in effect at `utcSeconds`.
bool ZoneOffsetAt(std::int64_t utcSeconds, std::int32_t* offset);

// The instant (seconds since 1970-01-01 00:00 UTC) at which local clocks read
// `localSeconds` (the local reading counted the same way). A reading that
// occurs twice (clocks set back) or never (clocks set forward) is resolved by
// the same probing from the previous call's offset that the C library's
// mktime uses with tm_isdst -1, so files get the times they always got.
bool ZoneLocalToUtc(std::int64_t localSeconds, std::int64_t* utcSeconds);

}  // namespace sfx::platform::detail

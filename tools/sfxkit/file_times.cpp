#include "tools/sfxkit/file_times.h"

#include <chrono>
#include <ctime>

namespace sfx::cli {

namespace fs = std::filesystem;
using std::chrono::duration_cast;

bool LocalModificationTime(const fs::path& path, DateTimeRecord* time) {
  std::error_code ec;
  const fs::file_time_type stamp = fs::last_write_time(path, ec);
  if (ec) return false;
  const auto system = std::chrono::file_clock::to_sys(stamp);
  const auto seconds = std::chrono::floor<std::chrono::seconds>(system);
  const std::time_t t = std::chrono::system_clock::to_time_t(seconds);
  const std::tm* local = std::localtime(&t);
  if (local == nullptr || local->tm_year + 1900 < 1601 || local->tm_year + 1900 > 30827) return false;
  const auto fraction = duration_cast<std::chrono::milliseconds>(system - seconds).count();
  time->year = static_cast<std::uint16_t>(local->tm_year + 1900);
  time->month = static_cast<std::uint8_t>(local->tm_mon + 1);
  time->day = static_cast<std::uint8_t>(local->tm_mday);
  time->hour = static_cast<std::uint8_t>(local->tm_hour);
  time->minute = static_cast<std::uint8_t>(local->tm_min);
  // A leap second shows as 60; the payload's times stop at 59.
  time->second = static_cast<std::uint8_t>(local->tm_sec > 59 ? 59 : local->tm_sec);
  time->hundredths = static_cast<std::uint8_t>(fraction / 10);
  return true;
}

bool SetLocalModificationTime(const fs::path& path, const FileHeader& h) {
  std::tm local{};
  local.tm_year = h.year - 1900;
  local.tm_mon = h.month - 1;
  local.tm_mday = h.day;
  local.tm_hour = h.hour;
  local.tm_min = h.minute;
  local.tm_sec = h.second;
  local.tm_isdst = -1;  // let the time zone rules decide
  const std::time_t t = std::mktime(&local);
  if (t == static_cast<std::time_t>(-1)) return false;
  const auto system = std::chrono::system_clock::from_time_t(t) + std::chrono::milliseconds(h.hundredths * 10);
  std::error_code ec;
  fs::last_write_time(path, std::chrono::file_clock::from_sys(system), ec);
  return !ec;
}

}  // namespace sfx::cli

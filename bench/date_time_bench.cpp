// Date texts and calendar arithmetic against the C library and std::chrono:
// reading a header date (strptime), breaking a second count down (gmtime_r),
// and day moves and day counts (chrono's day-number arithmetic).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "services/text/date_time.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

const std::vector<std::string>& HeaderDates() {
  static const std::vector<std::string> dates = [] {
    std::vector<std::string> v;
    std::mt19937 rng(1);
    for (int i = 0; i < 1024; ++i) {
      sfx::DateTimeRecord r{};
      (void)sfx::DateTimes()->FromUnixTime(rng(), &r);
      char text[sfx::kHeaderDateLength];
      (void)sfx::DateTimes()->FormatHeaderDate(&r, text);
      v.emplace_back(text, sizeof text);
    }
    return v;
  }();
  return dates;
}

void BM_ParseHeaderDate(benchmark::State& state) {
  const auto& dates = HeaderDates();
  std::size_t i = 0;
  for (auto _ : state) {
    sfx::DateTimeRecord r{};
    const std::string& d = dates[i++ & 1023];
    benchmark::DoNotOptimize(sfx::DateTimes()->ParseHeaderDate(d.data(), static_cast<std::uint32_t>(d.size()), &r));
    benchmark::DoNotOptimize(r);
  }
}
void BM_Strptime(benchmark::State& state) {
  const auto& dates = HeaderDates();
  std::size_t i = 0;
  for (auto _ : state) {
    std::tm t{};
    benchmark::DoNotOptimize(strptime(dates[i++ & 1023].c_str(), "%a, %d %b %Y %H:%M:%S GMT", &t));
    benchmark::DoNotOptimize(t);
  }
}

void BM_FromUnixTime(benchmark::State& state) {
  std::uint32_t s = 12345;
  for (auto _ : state) {
    sfx::DateTimeRecord r{};
    benchmark::DoNotOptimize(sfx::DateTimes()->FromUnixTime(s, &r));
    benchmark::DoNotOptimize(r);
    s = s * 1664525u + 1013904223u;
  }
}
void BM_GmtimeR(benchmark::State& state) {
  std::uint32_t s = 12345;
  for (auto _ : state) {
    const time_t t = s;
    std::tm out{};
    benchmark::DoNotOptimize(gmtime_r(&t, &out));
    benchmark::DoNotOptimize(out);
    s = s * 1664525u + 1013904223u;
  }
}

void BM_AddDays(benchmark::State& state) {
  std::uint32_t n = 1;
  for (auto _ : state) {
    sfx::DateTimeRecord r{2000, 1, 1, 0, 0, 0, 0};
    benchmark::DoNotOptimize(sfx::DateTimes()->AddDays(&r, n % 3000000));
    benchmark::DoNotOptimize(r);
    n = n * 1664525u + 1013904223u;
  }
}
void BM_ChronoAddDays(benchmark::State& state) {
  using namespace std::chrono;
  std::uint32_t n = 1;
  for (auto _ : state) {
    const year_month_day d{sys_days{year{2000} / January / 1} + days{n % 3000000}};
    benchmark::DoNotOptimize(d);
    n = n * 1664525u + 1013904223u;
  }
}

void BM_DaysBetween(benchmark::State& state) {
  std::uint32_t n = 1;
  for (auto _ : state) {
    const sfx::DateTimeRecord a{static_cast<std::uint16_t>(n % 9000 + 1), 3, 14, 0, 0, 0, 0};
    const sfx::DateTimeRecord b{static_cast<std::uint16_t>((n >> 16) % 9000 + 1), 11, 2, 0, 0, 0, 0};
    std::uint32_t days = 0;
    benchmark::DoNotOptimize(sfx::DateTimes()->DaysBetween(&a, &b, &days));
    benchmark::DoNotOptimize(days);
    n = n * 1664525u + 1013904223u;
  }
}
void BM_ChronoDaysBetween(benchmark::State& state) {
  using namespace std::chrono;
  std::uint32_t n = 1;
  for (auto _ : state) {
    const sys_days a{year{static_cast<int>(n % 9000 + 1)} / March / 14};
    const sys_days b{year{static_cast<int>((n >> 16) % 9000 + 1)} / November / 2};
    benchmark::DoNotOptimize((a - b).count());
    n = n * 1664525u + 1013904223u;
  }
}

BENCHMARK(BM_ParseHeaderDate);
BENCHMARK(BM_Strptime);
BENCHMARK(BM_FromUnixTime);
BENCHMARK(BM_GmtimeR);
BENCHMARK(BM_AddDays);
BENCHMARK(BM_ChronoAddDays);
BENCHMARK(BM_DaysBetween);
BENCHMARK(BM_ChronoDaysBetween);

}  // namespace

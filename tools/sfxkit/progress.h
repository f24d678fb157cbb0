// A progress bar for long work, redrawn in place on standard error when that
// is a terminal (at most ten times a second) and silent otherwise, so that
// logs and pipes get no control characters.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace sfx::cli {

class ProgressBar {
 public:
  // `total` is in whatever unit Advance counts (bytes, entries); 0 shows a
  // bar that is full at once.
  ProgressBar(std::string label, std::uint64_t total);
  ~ProgressBar() { Finish(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Advance(std::uint64_t amount, const std::string& item = {});
  // Draws the final state and ends the line; later calls do nothing.
  void Finish();

 private:
  void Draw();

  std::string label_;
  std::string item_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  bool enabled_;
  bool finished_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace sfx::cli

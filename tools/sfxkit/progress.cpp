#include "tools/sfxkit/progress.h"

#include <cstdio>

#include "platform/terminal.h"

namespace sfx::cli {

namespace {
constexpr int kBarWidth = 30;
constexpr std::size_t kItemWidth = 32;
}  // namespace

ProgressBar::ProgressBar(std::string label, std::uint64_t total)
    : label_(std::move(label)), total_(total), enabled_(platform::StandardErrorIsTerminal()) {}

void ProgressBar::Advance(std::uint64_t amount, const std::string& item) {
  done_ += amount;
  if (!item.empty()) item_ = item;
  if (!enabled_ || finished_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  Draw();
}

void ProgressBar::Finish() {
  if (!enabled_ || finished_) return;
  finished_ = true;
  item_.clear();
  done_ = total_;
  Draw();
  std::fputc('\n', stderr);
}

void ProgressBar::Draw() {
  const std::uint64_t done = done_ > total_ ? total_ : done_;
  const int percent = total_ ? static_cast<int>(done * 100 / total_) : 100;
  const int filled = total_ ? static_cast<int>(done * kBarWidth / total_) : kBarWidth;
  char bar[kBarWidth + 1];
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kBarWidth] = '\0';
  // Long names keep their end, which tells files apart best.
  std::string item = item_;
  if (item.size() > kItemWidth) item = "..." + item.substr(item.size() - (kItemWidth - 3));
  std::fprintf(stderr, "\r%s [%s] %3d%% %-*s", label_.c_str(), bar, percent, static_cast<int>(kItemWidth),
               item.c_str());
  std::fflush(stderr);
}

}  // namespace sfx::cli

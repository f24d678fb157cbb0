// A stand-in setup program for the end-to-end tests. It writes what it was
// given and what it sees into the file named by its first argument (which
// lies outside the temporary folder): its arguments, its working folder, the
// folder it was started from, and every file beside it with size and
// modification time (universal time, to the millisecond where the C++
// library has it). SFX_PROBE_EXIT names its exit status, SFX_PROBE_SIGNAL a
// signal it raises against itself at the end, SFX_PROBE_SLEEP seconds it
// waits first (after writing REPORT.done), SFX_PROBE_IGNORE a signal it
// ignores.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string UniversalTime(fs::file_time_type when) {
  const auto system = std::chrono::file_clock::to_sys(when);
  const std::time_t seconds = std::chrono::system_clock::to_time_t(system);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(system.time_since_epoch()).count() % 1000;
  const std::tm fields = *std::gmtime(&seconds);  // one thread only
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", fields.tm_year + 1900, fields.tm_mon + 1,
                fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec,
                static_cast<int>(ms < 0 ? ms + 1000 : ms));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ofstream report(argv[1], std::ios::binary);
  for (int i = 0; i < argc; ++i) report << "arg " << i << " [" << argv[i] << "]\n";
  report << "cwd [" << fs::current_path().string() << "]\n";
  const fs::path self = fs::absolute(fs::path(argv[0]));
  const fs::path folder = self.parent_path();
  report << "folder [" << folder.string() << "]\n";
  std::set<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    std::string relative = fs::relative(it->path(), folder).generic_string();
    if (it->is_directory()) {
      lines.insert("dir " + relative);
    } else {
      lines.insert("file " + relative + " " + std::to_string(it->file_size()) + " " +
                   UniversalTime(it->last_write_time()));
    }
  }
  for (const std::string& line : lines) report << line << "\n";
  report.close();
  if (const char* ignored = std::getenv("SFX_PROBE_IGNORE")) std::signal(std::atoi(ignored), SIG_IGN);
  // The report is complete before the wait: a test waits for it, then signals.
  std::ofstream(std::string(argv[1]) + ".done") << "done\n";
  if (const char* seconds = std::getenv("SFX_PROBE_SLEEP"))
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(seconds)));
  if (const char* signal = std::getenv("SFX_PROBE_SIGNAL")) std::raise(std::atoi(signal));
  if (const char* status = std::getenv("SFX_PROBE_EXIT")) return std::atoi(status);
  return 0;
}

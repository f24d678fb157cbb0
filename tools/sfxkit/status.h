// The tool's one error type: success, or a failure with a sentence for the
// user ("record F00000003 ('a.txt'): unknown method 7"). Readers and writers
// return it; the subcommands print its message.
#pragma once

#include <string>
#include <utility>

namespace sfx::cli {

class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  static Status Error(std::string message) {
    Status s;
    s.failed_ = true;
    s.message_ = std::move(message);
    return s;
  }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

 private:
  bool failed_ = false;
  std::string message_;
};

// For a caller that keeps the message apart: true on success, else the
// message goes to `message`.
inline bool IsOk(const Status& status, std::string* message) {
  if (!status.ok() && message != nullptr) *message = status.message();
  return status.ok();
}

// Returns a failed Status from the enclosing function.
#define SFXKIT_TRY(expression)                      \
  do {                                              \
    ::sfx::cli::Status sfxkitStatus = (expression); \
    if (!sfxkitStatus.ok()) return sfxkitStatus;    \
  } while (0)

}  // namespace sfx::cli

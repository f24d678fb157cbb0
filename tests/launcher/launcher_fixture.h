// Shared pieces of the launcher tests: payloads built in memory and read in
// place of the program's own, recorded message boxes, a scratch folder, and
// the progress queue's contents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "payload/image.h"
#include "payload/records.h"
#include "payload/writer.h"
#include "platform/ui.h"
#include "services/core/stream.h"

namespace sfx::test {

struct RecordedMessage {
  std::string text;
  std::string caption;  // "(null)" for the platform's default caption
  std::uint32_t style;
};

// Records message boxes (from any thread) for its lifetime.
class RecordingMessages : public platform::MessageRecorder {
 public:
  RecordingMessages() { platform::SetMessageRecorder(this); }
  ~RecordingMessages() { platform::SetMessageRecorder(nullptr); }
  void Record(const char* text, const char* caption, std::uint32_t style) override;
  std::vector<RecordedMessage> Take();
  // Captions only, in order.
  std::vector<std::string> Captions();

 private:
  std::mutex lock_;
  std::vector<RecordedMessage> messages_;
};

// Makes one of the launcher's system steps fail for its lifetime, the steps a
// real system cannot be made to refuse on request: a service that refuses it
// stands in its registry slot.
class RefusedStep {
 public:
  enum Step { kSetFileTimes, kMakeLock, kStartThread };
  explicit RefusedStep(Step step);
  ~RefusedStep();
  RefusedStep(const RefusedStep&) = delete;
  RefusedStep& operator=(const RefusedStep&) = delete;

 private:
  std::unique_ptr<ScopedServiceOverride> override_;
};

// 2024-03-05 06:07:08.09, a local time.
DateTimeRecord SampleTime();

// Raw DEFLATE of `content` (zlib as the peer compressor).
std::vector<std::uint8_t> Deflate(const std::string& content, int level = 6);
std::uint32_t Crc32(const std::string& content);

// A file record exactly as the layout has it, for hand-made faults.
std::vector<std::uint8_t> MakeRecord(const payload::FileHeader& header, const std::string& name,
                                     const std::vector<std::uint8_t>& data);
payload::FileHeader StoredHeader(const std::string& name, const std::string& content);

// A payload image built with the writer in memory; after Install its records
// are what the launcher reads.
class TestPayload {
 public:
  TestPayload();
  ~TestPayload();
  payload::PayloadWriter& writer() { return writer_; }
  void Setup(const char* title, const char* program, const char* arguments);
  void Folder(const std::string& name);
  void Stored(const std::string& name, const std::string& content);
  void Deflated(const std::string& name, const std::string& content);
  void Raw(const std::vector<std::uint8_t>& bytes);
  void SetupRaw(const std::vector<std::uint8_t>& bytes);
  // Finishes the image and opens it as records().
  void Install();
  const payload::RecordSource& records() const { return image_; }
  std::vector<std::uint8_t> Bytes() const;

 private:
  Stream* stream_ = nullptr;
  payload::PayloadWriter writer_;
  payload::PayloadImage image_;
};

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// Pops every queued progress text.
std::vector<std::string> DrainProgressTexts();

std::string ReadFile(const std::filesystem::path& path);

}  // namespace sfx::test

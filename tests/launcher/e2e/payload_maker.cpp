// Builds the payloads of the end-to-end tests with the payload writer:
//
//   payload_maker SCENARIO FORMAT OUTPUT PROBE PROGRAM REPORT
//
// FORMAT is "image" (appended to a POSIX launcher) or "res" (a Win32
// resource file for the Windows launcher). PROBE is the setup program to
// embed under the name PROGRAM; REPORT is where it writes what it saw. Next to
// OUTPUT, OUTPUT.expected lists the folders and files the probe must see.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "payload/records.h"
#include "payload/writer.h"
#include "services/core/memory_stream.h"
#include "services/core/service.h"

namespace {

using sfx::payload::FileHeader;
using sfx::payload::PayloadWriter;
using Bytes = std::vector<std::uint8_t>;

// 2024-03-05 06:07:08.09 local time. The runs happen in Europe/Berlin
// (UTC+1 in March), and the probe prints universal time.
const sfx::DateTimeRecord kTime{2024, 3, 5, 6, 7, 8, 9};
const char kTimeText[] = "2024-03-05 05:07:08.090";

Bytes Deflate(const Bytes& in, int level = 6) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, static_cast<uLong>(in.size())) + 16);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::uint32_t Crc(const Bytes& in) {
  return static_cast<std::uint32_t>(crc32(0, in.data(), static_cast<uInt>(in.size())));
}

Bytes Text(std::size_t size, unsigned seed) {
  static const char* kWords[] = {"setup", "payload", "folder", "record", "stream", "window", "the", "a", "of"};
  std::mt19937 random(seed);
  Bytes out;
  while (out.size() < size) {
    const char* w = kWords[random() % 9];
    out.insert(out.end(), w, w + std::strlen(w));
    out.push_back(random() % 12 == 0 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

Bytes Noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(random());
  return out;
}

Bytes ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FileHeader HeaderFor(const std::string& name, const Bytes& content, std::uint8_t method, std::uint32_t storedSize) {
  FileHeader h{};
  h.year = kTime.year;
  h.month = kTime.month;
  h.day = kTime.day;
  h.hour = kTime.hour;
  h.minute = kTime.minute;
  h.second = kTime.second;
  h.hundredths = kTime.hundredths;
  h.size = static_cast<std::uint32_t>(content.size());
  h.crc = Crc(content);
  h.storedSize = storedSize;
  h.method = method;
  h.nameLength = static_cast<std::uint8_t>(name.size());
  return h;
}

Bytes Record(const FileHeader& h, const std::string& name, const Bytes& data) {
  Bytes out(sfx::payload::kFileHeaderSize);
  sfx::payload::EncodeFileHeader(h, out.data());
  out.insert(out.end(), name.begin(), name.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::string Slashes(std::string name) {
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

class Maker {
 public:
  explicit Maker(PayloadWriter* writer) : writer_(writer) {}

  bool Folder(const std::string& name) {
    expected_.insert("dir " + Slashes(name.substr(0, name.size() - 1)));
    return writer_->AddFolder(name.c_str(), kTime) == sfx::kOk;
  }
  bool File(const std::string& name, const Bytes& content, bool deflate) {
    expected_.insert("file " + Slashes(name) + " " + std::to_string(content.size()) + " " + kTimeText);
    if (!deflate) {
      return writer_->AddFile(name.c_str(), kTime, 1, static_cast<std::uint32_t>(content.size()), Crc(content),
                              content.data(), static_cast<std::uint32_t>(content.size())) == sfx::kOk;
    }
    const Bytes packed = Deflate(content);
    return writer_->AddFile(name.c_str(), kTime, 0, static_cast<std::uint32_t>(content.size()), Crc(content),
                            packed.data(), static_cast<std::uint32_t>(packed.size())) == sfx::kOk;
  }
  bool Raw(const Bytes& record) {
    return writer_->AddRecord(record.data(), static_cast<std::uint32_t>(record.size())) == sfx::kOk;
  }
  const std::set<std::string>& expected() const { return expected_; }

 private:
  PayloadWriter* writer_;
  std::set<std::string> expected_;
};

// The probe, in a folder of its own, as the setup program.
bool AddProgram(Maker& m, const Bytes& probe, const std::string& program) {
  const std::size_t slash = program.find('/');
  if (slash != std::string::npos && !m.Folder(program.substr(0, slash + 1))) return false;
  return m.File(program, probe, true);
}

bool Build(const std::string& scenario, Maker& m, const Bytes& probe, const std::string& program) {
  if (scenario == "good") {
    return AddProgram(m, probe, program) && m.Folder("docs/") && m.File("docs/readme.txt", Text(1000, 1), false) &&
           m.File("docs/big.txt", Text(300000, 2), true) && m.Folder("docs\\sub\\") &&
           m.File("docs\\sub\\nested.txt", Text(5000, 3), true) && m.File("empty.dat", Bytes(), false) &&
           m.File("noise.bin", Noise(70000, 4), true) && m.File("zeros.bin", Bytes(200000, 0), true);
  }
  if (scenario == "slow") {
    // Enough output that the dialog stays up for a while, even on a fast disk.
    if (!AddProgram(m, probe, program) || !m.Folder("data/")) return false;
    for (int i = 0; i < 300; ++i) {
      if (!m.File("data/part" + std::to_string(i) + ".bin", Bytes(1 << 20, static_cast<std::uint8_t>(i)), true)) {
        return false;
      }
    }
    return true;
  }
  if (!AddProgram(m, probe, program)) return false;
  const Bytes content = Text(100, 5);
  if (scenario == "traversal") {
    const std::string name = "../escape.txt";
    return m.Raw(Record(HeaderFor(name, content, 1, 100), name, content));
  }
  if (scenario == "absolute") {
    const std::string name = "/tmp/sfx-e2e-absolute.txt";
    return m.Raw(Record(HeaderFor(name, content, 1, 100), name, content));
  }
  if (scenario == "drive") {
    const std::string name = "C:\\sfx-e2e-drive.txt";
    return m.Raw(Record(HeaderFor(name, content, 1, 100), name, content));
  }
  if (scenario == "wrapsize") {
    // 24 + 10 + 0xFFFFFFFF wraps to 33, this record's size.
    const std::string name = "abcdefghij";
    FileHeader h = HeaderFor(name, content, 1, 0xFFFFFFFFu);
    return m.Raw(Record(h, name.substr(0, 9), Bytes()));
  }
  if (scenario == "truncated") {
    const std::string name = "cut.txt";
    const Bytes half(content.begin(), content.begin() + 50);
    return m.Raw(Record(HeaderFor(name, content, 1, 100), name, half));
  }
  if (scenario == "badcrc") {
    const std::string name = "crc.txt";
    FileHeader h = HeaderFor(name, content, 1, 100);
    h.crc ^= 1;
    return m.Raw(Record(h, name, content));
  }
  if (scenario == "baddeflate") {
    const std::string name = "bad.bin";
    Bytes packed = Deflate(Text(5000, 6));
    packed[0] |= 0x06;  // BTYPE 3 in the first block header
    return m.Raw(Record(HeaderFor(name, Text(5000, 6), 0, static_cast<std::uint32_t>(packed.size())), name, packed));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: payload_maker SCENARIO image|res OUTPUT PROBE PROGRAM REPORT\n");
    return 2;
  }
  (void)sfx::RegisterCoreServices();
  (void)sfx::RegisterCodecServices();
  const std::string scenario = argv[1];
  const bool res = std::strcmp(argv[2], "res") == 0;
  const Bytes probe = ReadAll(argv[4]);
  const std::string program = argv[5];
  const std::string arguments = std::string("\"") + argv[6] + "\" second \"third arg\"";

  sfx::Stream* stream = nullptr;
  if (sfx::MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, sfx::kMemoryStreamWritable, &stream) != sfx::kOk)
    return 1;
  PayloadWriter writer;
  Maker maker(&writer);
  bool ok = probe.size() > 0 && writer.Start(stream, res ? sfx::payload::PayloadFormat::kResourceFile
                                                         : sfx::payload::PayloadFormat::kAppendedImage) == sfx::kOk;
  if (ok && scenario == "badprogram") {
    ok = writer.SetSetup("sfxkit end-to-end", "../../setup", arguments.c_str()) == sfx::kOk &&
         AddProgram(maker, probe, program);
  } else if (ok) {
    ok = writer.SetSetup("sfxkit end-to-end", program.c_str(), arguments.c_str()) == sfx::kOk &&
         Build(scenario, maker, probe, program);
  }
  ok = ok && writer.Finish() == sfx::kOk;
  void* data = nullptr;
  std::uint32_t size = 0;
  ok = ok && sfx::MemoryStreams()->GetMemoryBlock(stream, &data, &size, nullptr) == sfx::kOk;
  if (!ok) {
    std::fprintf(stderr, "payload_maker: cannot build scenario %s\n", argv[1]);
    (void)stream->Close();
    return 1;
  }
  std::ofstream(argv[3], std::ios::binary).write(static_cast<const char*>(data), size);
  std::ofstream expected(std::string(argv[3]) + ".expected", std::ios::binary);
  for (const std::string& line : maker.expected()) expected << line << "\n";
  (void)stream->Close();
  return 0;
}

// The PE reader and writer on real mingw-built programs: resources merged into
// both layouts (resource section last, and followed by other sections and a
// symbol table), read back by our reader and, where Windows programs can run,
// by the system's own resource look-up; and damaged images refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "services/codec/crc.h"
#include "tests/tools/sfxkit/sfxkit_test_util.h"
#include "tools/sfxkit/pe_format.h"
#include "tools/sfxkit/pe_image.h"
#include "tools/sfxkit/pe_writer.h"

namespace sfx::pe {
namespace {

using cli::test::Fixture;
using cli::test::ReadBytes;

std::uint32_t Crc32(std::span<const std::uint8_t> data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  (void)Crc()->UpdateCrc32(data.data(), static_cast<std::uint32_t>(data.size()), &crc);
  return ~crc;
}

std::string RecordName(std::uint32_t i) {
  char name[16];
  std::snprintf(name, sizeof name, "F%08X", i);
  return name;
}

// Payload-like records of assorted sizes, including an empty one and one that
// spans many file-alignment units.
std::vector<std::vector<std::uint8_t>> MakeRecords(std::uint32_t count) {
  std::vector<std::vector<std::uint8_t>> records;
  std::uint32_t seed = 12345;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t size = i == 3 ? 0 : i == 5 ? 100000 : 17 * i + 1;
    std::vector<std::uint8_t> r(size);
    for (auto& b : r) b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    records.push_back(std::move(r));
  }
  return records;
}

std::vector<Resource> AsResources(const std::vector<std::vector<std::uint8_t>>& records) {
  std::vector<Resource> out;
  for (std::uint32_t i = 0; i < records.size(); ++i)
    out.push_back(Resource{ResourceKey::Id(kRtRcData), ResourceKey::Name(RecordName(i).c_str()), 0, 0, records[i]});
  return out;
}

const Resource* FindIn(const std::vector<Resource>& list, const ResourceKey& type, const ResourceKey& name) {
  for (const Resource& r : list)
    if (r.type == type && r.name == name) return &r;
  return nullptr;
}

class PeFixtureTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string path = Fixture(GetParam());
    if (path.empty()) GTEST_SKIP() << "no mingw tools: resource probes were not built";
    stubBytes_ = ReadBytes(path);
    ASSERT_FALSE(stubBytes_.empty()) << path;
    std::string error;
    ASSERT_TRUE(sfx::cli::IsOk(stub_.Parse(stubBytes_), &error)) << error;
    ASSERT_TRUE(sfx::cli::IsOk(stub_.ReadResources(&stubResources_), &error)) << error;
  }

  std::vector<std::uint8_t> stubBytes_;
  PeImage stub_;
  std::vector<Resource> stubResources_;
};

TEST_P(PeFixtureTest, MergedRecordsReadBackAndStubResourcesStay) {
  const auto records = MakeRecords(12);
  std::vector<std::uint8_t> packed;
  std::string error;
  ASSERT_TRUE(sfx::cli::IsOk(WriteWithResources(stub_, AsResources(records), &packed), &error)) << error;

  PeImage image;
  ASSERT_TRUE(sfx::cli::IsOk(image.Parse(packed), &error)) << error;
  std::vector<Resource> resources;
  ASSERT_TRUE(sfx::cli::IsOk(image.ReadResources(&resources), &error)) << error;
  EXPECT_EQ(resources.size(), stubResources_.size() + records.size());
  for (const Resource& old : stubResources_) {
    const Resource* now = FindIn(resources, old.type, old.name);
    ASSERT_NE(now, nullptr) << old.type.Describe() << "/" << old.name.Describe();
    EXPECT_TRUE(std::equal(old.data.begin(), old.data.end(), now->data.begin(), now->data.end()));
    EXPECT_EQ(old.language, now->language);
  }
  ASSERT_NE(FindIn(resources, ResourceKey::Id(kRtDialog), ResourceKey::Id(102)), nullptr);
  ASSERT_NE(FindIn(resources, ResourceKey::Id(kRtGroupIcon), ResourceKey::Id(101)), nullptr);
  for (std::uint32_t i = 0; i < records.size(); ++i) {
    const Resource* r = FindIn(resources, ResourceKey::Id(kRtRcData), ResourceKey::Name(RecordName(i).c_str()));
    ASSERT_NE(r, nullptr) << RecordName(i);
    EXPECT_TRUE(std::equal(records[i].begin(), records[i].end(), r->data.begin(), r->data.end())) << RecordName(i);
    EXPECT_EQ(r->language, 0);
  }

  // The headers agree with the new layout.
  const Section& last = image.sections().back();
  EXPECT_EQ(image.Directory(kDirResource).rva, last.virtualAddress);
  EXPECT_EQ(image.sizeOfImage(),
            AlignUp(std::uint64_t{last.virtualAddress} + last.MappedSize(), image.sectionAlignment()));
  EXPECT_EQ(last.rawOffset % image.fileAlignment(), 0u);
  EXPECT_EQ(last.rawSize % image.fileAlignment(), 0u);
  EXPECT_EQ(image.checkSum(), ComputeCheckSum(packed, image.optionalHeaderOffset() + kOhCheckSum));
  const bool wasLast = stub_.ResourceSectionIndex() == static_cast<int>(stub_.sections().size()) - 1;
  EXPECT_EQ(image.sections().size(), stub_.sections().size() + (wasLast ? 0 : 1));
  // Sections keep their addresses; they move down the file only by what the
  // headers grew.
  const std::uint32_t grow = image.sizeOfHeaders() - stub_.sizeOfHeaders();
  EXPECT_EQ(grow != 0, std::string(GetParam()).find("full") != std::string::npos);
  for (std::size_t i = 0; i + 1 < stub_.sections().size(); ++i) {
    EXPECT_EQ(image.sections()[i].virtualAddress, stub_.sections()[i].virtualAddress);
    if (stub_.sections()[i].rawSize != 0) {
      EXPECT_EQ(image.sections()[i].rawOffset, stub_.sections()[i].rawOffset + grow);
    }
  }
  // A symbol table behind the sections moved along intact.
  if (stub_.symbolTableOffset() != 0) {
    ASSERT_NE(image.symbolTableOffset(), 0u);
    const std::size_t tail = stubBytes_.size() - stub_.symbolTableOffset();
    ASSERT_EQ(packed.size() - image.symbolTableOffset(), tail);
    EXPECT_TRUE(std::equal(packed.end() - static_cast<std::ptrdiff_t>(tail), packed.end(),
                           stubBytes_.end() - static_cast<std::ptrdiff_t>(tail)));
  }

  // Packing a packed launcher again is refused, naming the resource.
  std::vector<std::uint8_t> twice;
  EXPECT_FALSE(sfx::cli::IsOk(WriteWithResources(image, AsResources(records), &twice), &error));
  EXPECT_NE(error.find("F00000000"), std::string::npos) << error;
}

// The system's own look-up (FindResourceA, LoadResource) sees every record and
// the stub's dialog and icons in the packed program.
TEST_P(PeFixtureTest, SystemLookUpSeesTheRecords) {
  if (!std::getenv("SFX_CAN_RUN_WINDOWS_PROGRAMS")) GTEST_SKIP() << "Windows programs cannot run here";
  const auto records = MakeRecords(20);
  std::vector<std::uint8_t> packed;
  std::string error;
  ASSERT_TRUE(sfx::cli::IsOk(WriteWithResources(stub_, AsResources(records), &packed), &error)) << error;
  const std::string exe = std::string("packed_") + GetParam();
  const std::string report = exe + ".txt";
  cli::test::WriteBytes(exe, packed);
  ASSERT_EQ(std::system((exe + " > " + report).c_str()), 0);

  std::string expected;
  if (std::string(GetParam()).find("full") != std::string::npos) expected = "section 1|section 19\n";
  char line[128];
  auto add = [&](const char* label, const Resource* r) {
    if (r)
      std::snprintf(line, sizeof line, "%s %u %08X\n", label, static_cast<unsigned>(r->data.size()), Crc32(r->data));
    else
      std::snprintf(line, sizeof line, "%s missing\n", label);
    expected += line;
  };
  add("dialog", FindIn(stubResources_, ResourceKey::Id(kRtDialog), ResourceKey::Id(102)));
  add("icons", FindIn(stubResources_, ResourceKey::Id(kRtGroupIcon), ResourceKey::Id(101)));
  add("KEEPME", FindIn(stubResources_, ResourceKey::Id(kRtRcData), ResourceKey::Name("KEEPME")));
  for (std::uint32_t i = 0; i < records.size(); ++i) {
    std::snprintf(line, sizeof line, "%s %u %08X\n", RecordName(i).c_str(), static_cast<unsigned>(records[i].size()),
                  Crc32(records[i]));
    expected += line;
  }
  const auto got = ReadBytes(report);
  std::string text(got.begin(), got.end());
  std::erase(text, '\r');
  EXPECT_EQ(text, expected);
  std::remove(exe.c_str());
  std::remove(report.c_str());
}

INSTANTIATE_TEST_SUITE_P(Probes, PeFixtureTest,
                         ::testing::Values("resource_probe.exe", "resource_probe_small.exe", "resource_probe_full.exe"),
                         [](const auto& info) {
                           const std::string name = info.param;
                           if (name.find("small") != std::string::npos) return "Stripped";
                           if (name.find("full") != std::string::npos) return "FullHeaders";
                           return "Linked";
                         });

// ---- damaged images ----

class PeDamageTest : public PeFixtureTest {
 protected:
  // Offset of the resource tree in the stub's file.
  std::size_t TreeOffset() const {
    const Section& s = stub_.sections()[static_cast<std::size_t>(stub_.ResourceSectionIndex())];
    return s.rawOffset + (stub_.Directory(kDirResource).rva - s.virtualAddress);
  }
  std::string ReadBack(const std::vector<std::uint8_t>& bytes) {
    PeImage image;
    std::string error;
    if (!sfx::cli::IsOk(image.Parse(bytes), &error)) return error;
    std::vector<Resource> list;
    if (!sfx::cli::IsOk(image.ReadResources(&list), &error)) return error;
    return "";
  }
};

TEST_P(PeDamageTest, EveryTruncationIsRefusedOrReadSafely) {
  // Cutting anywhere in the headers breaks the parse; cutting in the resource
  // section breaks the tree. Sanitizers watch for reads past the end.
  for (std::size_t cut = 0; cut < stubBytes_.size(); cut += cut < 4096 ? 7 : 997) {
    std::vector<std::uint8_t> bytes(stubBytes_.begin(), stubBytes_.begin() + static_cast<std::ptrdiff_t>(cut));
    const std::string error = ReadBack(bytes);
    if (cut < TreeOffset()) {
      EXPECT_FALSE(error.empty()) << "cut at " << cut;
    }
  }
}

TEST_P(PeDamageTest, DamagedTreesAreRefusedWithAReason) {
  const std::size_t tree = TreeOffset();
  struct Case {
    const char* what;
    void (*damage)(std::uint8_t* root);
    const char* expect;
  } cases[] = {
      // The first type entry points back at the root: a loop.
      {"loop", [](std::uint8_t* r) { StoreU32(r + kRdHeaderSize + 4, kRdHighBit); }, "deeper"},
      // The first type's subdirectory lies far outside the section.
      {"outside", [](std::uint8_t* r) { StoreU32(r + kRdHeaderSize + 4, kRdHighBit | 0x7FFFFFF0u); }, "outside"},
      // The id count claims thousands of entries.
      {"count", [](std::uint8_t* r) { StoreU16(r + kRdNumberOfIdEntries, 0xFFFF); }, "run past"},
      // The first type is given as data, not as a directory.
      {"leaf", [](std::uint8_t* r) { StoreU32(r + kRdHeaderSize + 4, 0x10); }, "directory belongs"},
      // Two type entries in the wrong order.
      {"order",
       [](std::uint8_t* r) {
         const std::uint32_t a = LoadU32(r + kRdHeaderSize);
         StoreU32(r + kRdHeaderSize, LoadU32(r + kRdHeaderSize + kRdEntrySize));
         StoreU32(r + kRdHeaderSize + kRdEntrySize, a);
       },
       "out of order"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = stubBytes_;
    c.damage(bytes.data() + tree);
    std::string error = ReadBack(bytes);
    EXPECT_NE(error.find(c.expect), std::string::npos) << c.what << ": " << error;
    // The writer refuses to build on a damaged stub, too.
    PeImage image;
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(sfx::cli::IsOk(image.Parse(bytes), &error));
    EXPECT_FALSE(sfx::cli::IsOk(WriteWithResources(image, {}, &out), &error)) << c.what;
  }
}

TEST_P(PeDamageTest, HeadersOfOtherKindsAreRefused) {
  std::string error;
  PeImage image;
  std::vector<std::uint8_t> bytes = stubBytes_;
  bytes[0] = 'X';
  EXPECT_FALSE(sfx::cli::IsOk(image.Parse(bytes), &error));
  EXPECT_NE(error.find("MZ"), std::string::npos);
  bytes = stubBytes_;
  StoreU32(bytes.data() + kDosLfanewOffset, 0xFFFFFFF0u);  // "PE" header far past the end
  EXPECT_FALSE(sfx::cli::IsOk(image.Parse(bytes), &error));
  bytes = stubBytes_;
  const std::uint32_t pe = LoadU32(bytes.data() + kDosLfanewOffset);
  StoreU16(bytes.data() + pe + 4 + kFhMachine, 0xAA64);  // an ARM machine
  EXPECT_FALSE(sfx::cli::IsOk(image.Parse(bytes), &error));
  EXPECT_NE(error.find("not an x86 Windows"), std::string::npos) << error;
  // A machine whose optional header is of the other width.
  const bool wide = LoadU16(bytes.data() + pe + 4 + kFileHeaderSize + kOhMagic) == kPe32PlusMagic;
  StoreU16(bytes.data() + pe + 4 + kFhMachine, wide ? kMachineI386 : kMachineAmd64);
  EXPECT_FALSE(sfx::cli::IsOk(image.Parse(bytes), &error));
  EXPECT_NE(error.find(wide ? "not a PE32 " : "not a PE32+"), std::string::npos) << error;
  bytes = stubBytes_;
  StoreU16(bytes.data() + pe + 4 + kFhNumberOfSections, 0xFFFF);  // a section table past the end
  EXPECT_FALSE(sfx::cli::IsOk(image.Parse(bytes), &error));
}

INSTANTIATE_TEST_SUITE_P(Probes, PeDamageTest, ::testing::Values("resource_probe.exe"));

TEST(PeResourceSection, RepeatedResourcesAreRefused) {
  const std::uint8_t data[] = {1, 2, 3};
  std::vector<Resource> list = {
      Resource{ResourceKey::Id(kRtRcData), ResourceKey::Name("A"), 0, 0, data},
      Resource{ResourceKey::Id(kRtRcData), ResourceKey::Name("A"), 0, 0, data},
  };
  std::vector<std::uint8_t> out;
  std::string error;
  EXPECT_FALSE(sfx::cli::IsOk(BuildResourceSection(list, 0x1000, &out), &error));
  EXPECT_NE(error.find("twice"), std::string::npos);
  list[1].language = 1033;  // the same name in another language is a different resource
  EXPECT_TRUE(sfx::cli::IsOk(BuildResourceSection(list, 0x1000, &out), &error)) << error;
}

// A hand-made image: 0x200 bytes of headers, then `sections` sections of one
// 0x200-byte page each (filled with their number), and a 16-byte symbol
// table behind them.
std::vector<std::uint8_t> MadeImage(std::uint32_t sections, std::uint32_t sectionAlignment) {
  const std::uint32_t tail = 16;
  std::vector<std::uint8_t> bytes(0x200 * (sections + 1) + tail, 0);
  StoreU16(&bytes[kDosMagicOffset], kDosMagic);
  StoreU32(&bytes[kDosLfanewOffset], 0x40);
  StoreU32(&bytes[0x40], kPeSignature);
  std::uint8_t* fh = &bytes[0x44];
  StoreU16(fh + kFhMachine, kMachineI386);
  StoreU16(fh + kFhNumberOfSections, static_cast<std::uint16_t>(sections));
  StoreU16(fh + kFhSizeOfOptionalHeader, 0xE0);
  std::uint8_t* oh = fh + kFileHeaderSize;
  StoreU16(oh + kOhMagic, kPe32Magic);
  StoreU32(oh + kOhSectionAlignment, sectionAlignment);
  StoreU32(oh + kOhFileAlignment, 0x200);
  StoreU32(oh + kOhSizeOfImage, sectionAlignment * (sections + 1));
  StoreU32(oh + kOhSizeOfHeaders, 0x200);
  StoreU32(oh + kOhNumberOfRvaAndSizes, 16);
  for (std::uint32_t i = 0; i < sections; ++i) {
    std::uint8_t* sh = oh + 0xE0 + kSectionHeaderSize * i;
    sh[0] = '.';
    sh[1] = static_cast<std::uint8_t>('a' + i);
    StoreU32(sh + kShVirtualSize, 0x200);
    StoreU32(sh + kShVirtualAddress, sectionAlignment * (i + 1));
    StoreU32(sh + kShSizeOfRawData, 0x200);
    StoreU32(sh + kShPointerToRawData, 0x200 * (i + 1));
    std::fill_n(&bytes[0x200 * (i + 1)], 0x200, static_cast<std::uint8_t>(i + 1));
  }
  StoreU32(fh + kFhPointerToSymbolTable, 0x200 * (sections + 1));
  for (std::uint32_t i = 0; i < tail; ++i) bytes[bytes.size() - tail + i] = static_cast<std::uint8_t>(0xA0 + i);
  return bytes;
}

const std::uint8_t kRecord[] = {1, 2, 3};
const std::vector<Resource> kTwoRecords = {
    Resource{ResourceKey::Id(kRtRcData), ResourceKey::Name("F00000000"), 0, 0, kRecord},
    Resource{ResourceKey::Id(kRtRcData), ResourceKey::Name("F00000001"), 0, 0, {}},
};

// Packs kTwoRecords into `bytes` and reads the result back.
void PackMade(const std::vector<std::uint8_t>& bytes, PeImage* stub, std::vector<std::uint8_t>* out, PeImage* image,
              std::vector<Resource>* resources) {
  std::string error;
  ASSERT_TRUE(sfx::cli::IsOk(stub->Parse(bytes), &error)) << error;
  ASSERT_TRUE(sfx::cli::IsOk(WriteWithResources(*stub, kTwoRecords, out), &error)) << error;
  ASSERT_TRUE(sfx::cli::IsOk(image->Parse(*out), &error) && sfx::cli::IsOk(image->ReadResources(resources), &error))
      << error;
}

// The smallest image: headers only. The resource section must start after
// the headers' pages, not at address 0; zero-length resources at the very end
// of the section read back too.
TEST(PeMadeImage, ResourcesGoAfterTheHeaders) {
  PeImage stub, image;
  std::vector<std::uint8_t> out;
  std::vector<Resource> resources;
  ASSERT_NO_FATAL_FAILURE(PackMade(MadeImage(0, 0x1000), &stub, &out, &image, &resources));
  ASSERT_EQ(image.sections().size(), 1u);
  EXPECT_EQ(image.sections()[0].virtualAddress, 0x1000u);
  EXPECT_EQ(image.sizeOfImage(), 0x2000u);
  ASSERT_EQ(resources.size(), 2u);
  EXPECT_EQ(resources[0].data.size(), 3u);
  EXPECT_EQ(resources[1].data.size(), 0u);
}

// Five sections fill 0x200 bytes of headers exactly: the headers grow by one
// file-alignment unit, every section moves down the file with its bytes and
// keeps its address, and the symbol table moves behind the new section.
TEST(PeMadeImage, FullHeadersGrow) {
  const auto bytes = MadeImage(5, 0x1000);
  PeImage stub, image;
  std::vector<std::uint8_t> out;
  std::vector<Resource> resources;
  ASSERT_NO_FATAL_FAILURE(PackMade(bytes, &stub, &out, &image, &resources));
  EXPECT_EQ(image.sizeOfHeaders(), 0x400u);
  ASSERT_EQ(image.sections().size(), 6u);
  for (std::uint32_t i = 0; i < 5; ++i) {
    const Section& s = image.sections()[i];
    EXPECT_EQ(s.virtualAddress, stub.sections()[i].virtualAddress);
    EXPECT_EQ(s.rawOffset, stub.sections()[i].rawOffset + 0x200);
    const std::uint8_t* data = nullptr;
    ASSERT_TRUE(image.MapRva(s.virtualAddress, 0x200, &data));
    EXPECT_TRUE(std::all_of(data, data + 0x200, [&](std::uint8_t b) { return b == i + 1; })) << i;
  }
  EXPECT_EQ(resources.size(), 2u);
  ASSERT_EQ(out.size() - image.symbolTableOffset(), 16u);
  EXPECT_TRUE(std::equal(out.end() - 16, out.end(), bytes.end() - 16));
  EXPECT_EQ(image.checkSum(), ComputeCheckSum(out, image.optionalHeaderOffset() + kOhCheckSum));

  // With the first section right behind the headers in memory there is
  // nowhere to grow.
  std::string error;
  const auto tight = MadeImage(5, 0x200);
  ASSERT_TRUE(sfx::cli::IsOk(stub.Parse(tight), &error)) << error;
  EXPECT_FALSE(sfx::cli::IsOk(WriteWithResources(stub, kTwoRecords, &out), &error));
  EXPECT_NE(error.find("no room"), std::string::npos) << error;
}

}  // namespace
}  // namespace sfx::pe

// The shared generic-operation suite, run against memory and file streams.
#include "services/core/file_system.h"
#include "services/core/memory_stream.h"
#include "tests/support/stream_suite.h"

namespace sfx::test {
namespace {

Result MakeMemoryStream(Stream** out) {
  return MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, out);
}

// A temporary file that disappears when the stream closes.
Result MakeFileStream(Stream** out) { return FileSystem()->Open(nullptr, 0, kOpenTemporary, out); }

INSTANTIATE_TEST_SUITE_P(Kinds, GenericStreamTest,
                         ::testing::Values(StreamKind{"Memory", MakeMemoryStream}, StreamKind{"File", MakeFileStream}),
                         [](const ::testing::TestParamInfo<StreamKind>& info) { return info.param.name; });

}  // namespace
}  // namespace sfx::test

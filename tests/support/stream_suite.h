// The generic stream operations, tested once against every stream kind.
//
// A kind takes part by instantiating the suite with a factory that makes an
// empty stream open for reading and writing:
//   INSTANTIATE_TEST_SUITE_P(File, GenericStreamTest, ::testing::Values(MyKind()));
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "services/core/stream.h"

namespace sfx::test {

struct StreamKind {
  const char* name;
  Result (*create)(Stream** out);
};

inline std::string PrintToString(const StreamKind& kind) { return kind.name; }

struct StreamCloser {
  void operator()(Stream* s) const {
    if (s != nullptr) {
      EXPECT_EQ(s->Close(), kOk);
    }
  }
};
using StreamPtr = std::unique_ptr<Stream, StreamCloser>;

// The whole content of a stream, read through its own operations. Leaves the
// position at the end.
std::string ReadAll(Stream* s);

class GenericStreamTest : public ::testing::TestWithParam<StreamKind> {
 protected:
  StreamPtr Make();
  StreamPtr MakeWith(const std::string& bytes);
};

}  // namespace sfx::test

// Where a reader finds the payload's records by name: the resources of a
// Windows launcher, the image appended to a POSIX launcher, an image built in
// memory by a test, or a launcher file the tool has read.
#pragma once

#include <cstdint>

namespace sfx::payload {

class RecordSource {
 public:
  // False when no record has that name. The bytes stay valid as long as the
  // source does and are read-only.
  virtual bool Find(const char* name, const std::uint8_t** data, std::uint32_t* size) const = 0;
  // The caller is done with a record's bytes for now; a source backed by a
  // mapped file lets their pages go (a later read brings them back).
  virtual void Release(const std::uint8_t* /*data*/, std::uint32_t /*size*/) const {}

 protected:
  ~RecordSource() = default;
};

}  // namespace sfx::payload

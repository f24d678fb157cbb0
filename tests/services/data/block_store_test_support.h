// Backing streams for block store tests: one that outlives the store (so a
// store can be closed and reopened), and a sparse one that holds a store of
// hundreds of megabytes in a few blocks of memory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "services/core/memory_stream.h"
#include "services/core/stream.h"
#include "services/data/block_store.h"
#include "services/data/block_stream.h"

namespace sfx::test {

// Forwards the basic operations to a stream it does not own; its Close only
// detaches, so the bytes survive the store that closed it.
class BorrowedStream : public Stream {
 public:
  explicit BorrowedStream(Stream* inner) : inner_(inner) {}
  ~BorrowedStream() = default;
  void Attach(Stream* inner) { inner_ = inner; }
  Result Close() override { return kOk; }
  Result Seek(std::int32_t o, std::uint32_t origin, std::uint32_t* p) override { return inner_->Seek(o, origin, p); }
  Result Read(void* b, std::uint32_t n, std::uint32_t* d) override { return inner_->Read(b, n, d); }
  Result Write(const void* b, std::uint32_t n, std::uint32_t* d) override { return inner_->Write(b, n, d); }
  Result GetSize(std::uint32_t* s) override { return inner_->GetSize(s); }
  Result SetSize(std::uint32_t s) override { return inner_->SetSize(s); }
  Result Reserve(std::uint32_t c) override { return inner_->Reserve(c); }
  Result SetParameter(std::uint32_t v) override { return inner_->SetParameter(v); }

 private:
  Stream* inner_;
};

// Reads unwritten bytes as zero; only written 4 KiB pages take memory.
class SparseStream : public Stream {
 public:
  explicit SparseStream(std::uint32_t size) : size_(size) {}
  ~SparseStream() = default;
  Result Close() override { return kOk; }
  Result Seek(std::int32_t o, std::uint32_t origin, std::uint32_t* p) override {
    if (origin > 2) return kOriginOutOfRange;
    position_ = (origin == 0 ? 0 : origin == 1 ? position_ : size_) + static_cast<std::uint32_t>(o);
    if (p) *p = position_;
    return kOk;
  }
  Result Read(void* b, std::uint32_t n, std::uint32_t* d) override {
    const std::uint32_t avail = position_ < size_ ? size_ - position_ : 0;
    if (n > avail) {
      if (!d) return kStreamShortRead;
      n = avail;
    }
    for (std::uint32_t i = 0; i < n; ++i, ++position_) {
      auto it = pages_.find(position_ >> 12);
      static_cast<unsigned char*>(b)[i] = it == pages_.end() ? 0 : it->second[position_ & 4095];
    }
    if (d) *d = n;
    return kOk;
  }
  Result Write(const void* b, std::uint32_t n, std::uint32_t* d) override {
    for (std::uint32_t i = 0; i < n; ++i, ++position_) {
      auto& page = pages_[position_ >> 12];
      page.resize(4096);
      page[position_ & 4095] = static_cast<const unsigned char*>(b)[i];
    }
    size_ = std::max(size_, position_);
    if (d) *d = n;
    return kOk;
  }
  Result GetSize(std::uint32_t* s) override {
    *s = size_;
    return kOk;
  }
  Result SetSize(std::uint32_t s) override {
    size_ = s;
    return kOk;
  }
  Result Reserve(std::uint32_t) override { return kOk; }
  Result SetParameter(std::uint32_t) override { return kOk; }

 private:
  std::uint32_t size_;
  std::uint32_t position_ = 0;
  std::map<std::uint32_t, std::vector<unsigned char>> pages_;
};

// A store on a memory stream that outlives it.
class BlockStoreFixture {
 public:
  explicit BlockStoreFixture(std::uint32_t blockSize) {
    EXPECT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &memory_), kOk);
    borrowed_.Attach(memory_);
    EXPECT_EQ(BlockStores()->OpenBlockStore(&borrowed_, blockSize, &store_), kOk);
  }
  ~BlockStoreFixture() {
    if (store_) {
      EXPECT_EQ(store_->Close(), kOk);
    }
    EXPECT_EQ(memory_->Close(), kOk);
  }
  BlockStore* store() { return store_; }
  Stream* backing() { return memory_; }
  Result Reopen() {
    const Result r = store_->Close();
    store_ = nullptr;
    if (Failed(r)) return r;
    return BlockStores()->OpenBlockStore(&borrowed_, 0, &store_);
  }

 private:
  Stream* memory_ = nullptr;
  BorrowedStream borrowed_{nullptr};
  BlockStore* store_ = nullptr;
};

}  // namespace sfx::test

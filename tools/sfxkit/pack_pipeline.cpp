#include "tools/sfxkit/pack_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "services/codec/crc.h"
#include "services/codec/deflater.h"
#include "tools/sfxkit/cli.h"

namespace sfx::cli {

namespace {

constexpr std::uint32_t kPieceBytes = kDeflateDefaultBlockSize;
constexpr std::uint32_t kUnitBytes = kPackUnitPieces * kPieceBytes;
// A dynamic block of one piece is at most 15 bits a symbol plus its tables.
constexpr std::uint32_t kPieceBound = kPieceBytes / 8 * 15 + 1024;
// Units in flight per worker: enough that no worker waits on another's
// slower unit, few enough that memory stays small.
constexpr unsigned kUnitsPerJob = 3;

// One unit: a run of whole pieces of one file, or a folder (no bytes).
struct Unit {
  std::size_t entry = 0;
  std::uint64_t offset = 0;
  std::uint32_t length = 0;
  bool first = true;
  bool last = true;
};

// A unit's outcome, as the writer takes it.
struct Slot {
  Unit unit;
  bool ready = false;
  Status error;
  std::vector<std::uint8_t> raw;
  std::vector<std::uint8_t> deflated;  // bit string of `bits` bits, LSB first
  std::uint64_t bits = 0;
  bool compressed = false;  // deflated holds the unit's blocks
};

std::string CannotRead(const PackEntry& e) {
  return "cannot read '" + e.path.string() + "' (did it change while packing?)";
}

// False when the bytes are not there, or, with `toEnd`, when more follow:
// the file changed since the tree was walked.
bool ReadRange(const PackEntry& e, std::uint64_t offset, std::uint32_t length, bool toEnd,
               std::vector<std::uint8_t>* bytes) {
  bytes->resize(length);
  std::ifstream in(e.path, std::ios::binary);
  if (!in.seekg(static_cast<std::streamoff>(offset))) return false;
  if (length != 0 && !in.read(reinterpret_cast<char*>(bytes->data()), length)) return false;
  return !toEnd || in.peek() == std::ifstream::traits_type::eof();
}

// A worker's own compressor and output buffer.
class UnitCompressor {
 public:
  ~UnitCompressor() {
    if (deflater_) (void)deflater_->DestroyDeflater();
  }
  Result Create() {
    buffer_.resize(std::size_t{kPackUnitPieces} * kPieceBound + 16);
    return Deflaters()->CreateDeflater(kPieceBytes, &deflater_);
  }

  // Reads and, unless `store`, compresses the unit into `slot`.
  void Run(const std::vector<PackEntry>& entries, bool store, Slot* slot) {
    const Unit& u = slot->unit;
    const PackEntry& e = entries[u.entry];
    slot->compressed = false;
    slot->bits = 0;
    slot->error = Status();
    if (e.isFolder) return;
    if (!ReadRange(e, u.offset, u.length, u.last, &slot->raw)) {
      slot->error = Status::Error(CannotRead(e));
      return;
    }
    // Files under two bytes are always stored.
    if (store || e.size < 2) return;
    if (Result r = Compress(u, slot); Failed(r)) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r));
      slot->error = Status::Error("compressing '" + e.path.string() + "': " + code);
    }
  }

 private:
  // The unit's pieces as dynamic blocks, exactly as the deflater's Compress
  // writes them, the file's last one final. A stored-block header follows
  // as an end marker: it starts with the only set bit after the blocks, so
  // the last set bit of the output tells where they end.
  Result Compress(const Unit& u, Slot* slot) {
    SFX_TRY(deflater_->InitOutput(buffer_.data(), static_cast<std::uint32_t>(buffer_.size())));
    for (std::uint32_t done = 0; done < u.length;) {
      const std::uint32_t piece = std::min(kPieceBytes, u.length - done);
      SFX_TRY(deflater_->ResetFrequencies());
      SFX_TRY(deflater_->ParseBlock(slot->raw.data() + done, piece, nullptr, nullptr, nullptr));
      SFX_TRY(deflater_->BuildTrees(0));
      done += piece;
      SFX_TRY(deflater_->WriteBlockHeader(u.last && done == u.length, 1, 1));
      SFX_TRY(deflater_->WriteDynamicTables());
      SFX_TRY(deflater_->WriteBlockData(0, nullptr, nullptr));
    }
    SFX_TRY(deflater_->WriteBlockHeader(1, 0, 0));
    std::uint32_t total = 0;
    SFX_TRY(deflater_->FinishOutput(&total));
    while (total > 0 && buffer_[total - 1] == 0) --total;
    if (total == 0) return kFail;  // the marker is missing
    int top = 7;
    while ((buffer_[total - 1] >> top) == 0) --top;
    slot->bits = std::uint64_t{total - 1} * 8 + static_cast<unsigned>(top);
    slot->deflated.assign(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>((slot->bits + 7) / 8));
    slot->compressed = true;
    return kOk;
  }

  Deflater* deflater_ = nullptr;
  std::vector<std::uint8_t> buffer_;
};

// Joins bit strings into bytes, least significant bit first.
class BitJoiner {
 public:
  void Reset() {
    carry_ = 0;
    carryBits_ = 0;
    bits_ = 0;
  }
  std::uint64_t bits() const { return bits_; }
  // The bytes completed by appending `bits` bits of `bytes` go to `out`.
  void Append(const std::vector<std::uint8_t>& bytes, std::uint64_t bits, std::vector<std::uint8_t>* out) {
    out->clear();
    bits_ += bits;
    const std::size_t whole = static_cast<std::size_t>(bits / 8);
    const unsigned rest = static_cast<unsigned>(bits % 8);
    if (carryBits_ == 0) {
      out->assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(whole));
    } else {
      out->resize(whole);
      const unsigned shift = carryBits_;
      unsigned carry = carry_;
      for (std::size_t i = 0; i < whole; ++i) {
        const unsigned v = bytes[i];
        (*out)[i] = static_cast<std::uint8_t>(carry | (v << shift));
        carry = v >> (8 - shift);
      }
      carry_ = static_cast<std::uint8_t>(carry);
    }
    if (rest != 0) {
      const unsigned v = bytes[whole] & ((1u << rest) - 1);
      const unsigned joined = carry_ | (v << carryBits_);
      carryBits_ += rest;
      if (carryBits_ >= 8) {
        out->push_back(static_cast<std::uint8_t>(joined));
        carryBits_ -= 8;
        carry_ = static_cast<std::uint8_t>(joined >> 8);
      } else {
        carry_ = static_cast<std::uint8_t>(joined);
      }
    }
  }
  // The last partial byte, its free bits zero; false when there is none.
  bool Flush(std::uint8_t* byte) {
    if (carryBits_ == 0) return false;
    *byte = carry_;
    carryBits_ = 0;
    carry_ = 0;
    return true;
  }

 private:
  std::uint8_t carry_ = 0;
  unsigned carryBits_ = 0;
  std::uint64_t bits_ = 0;
};

class Pipeline {
 public:
  Pipeline(const std::vector<PackEntry>& entries, const PackWork& work, payload::PayloadWriter* writer,
           ProgressBar* progress)
      : entries_(entries),
        work_(work),
        writer_(writer),
        progress_(progress),
        slots_(work.jobs > 1 ? std::size_t{work.jobs} * kUnitsPerJob : 1) {}

  Status Run(std::uint64_t* storedBytes) {
    std::vector<UnitCompressor> compressors(work_.store ? 1 : work_.jobs);
    for (UnitCompressor& c : compressors) {
      if (!work_.store && Failed(c.Create())) return Status::Error("out of memory for the compressors");
    }
    Status status;
    if (work_.jobs <= 1) {
      Slot& slot = slots_[0];
      while (status.ok() && NextUnit(&slot.unit)) {
        compressors[0].Run(entries_, work_.store, &slot);
        status = Consume(&slot);
      }
    } else {
      std::vector<std::thread> workers;
      for (unsigned i = 0; i < work_.jobs; ++i)
        workers.emplace_back([this, &compressors, i] { Work(&compressors[work_.store ? 0 : i]); });
      status = WriteInOrder();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
      }
      roomFree_.notify_all();
      for (std::thread& t : workers) t.join();
    }
    *storedBytes = storedBytes_;
    return status;
  }

 private:
  // The next unit in payload order; false after the last entry.
  bool NextUnit(Unit* unit) {
    while (entry_ < entries_.size()) {
      const PackEntry& e = entries_[entry_];
      Unit u;
      u.entry = entry_;
      u.offset = offset_;
      u.first = offset_ == 0;
      const std::uint64_t left = e.isFolder ? 0 : e.size - offset_;
      u.length = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kUnitBytes));
      u.last = left <= kUnitBytes;
      if (u.last) {
        ++entry_;
        offset_ = 0;
      } else {
        offset_ += u.length;
      }
      *unit = u;
      return true;
    }
    return false;
  }

  void Work(UnitCompressor* compressor) {
    for (;;) {
      Slot* slot = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        roomFree_.wait(lock, [this] { return stop_ || handedOut_ < taken_ + slots_.size(); });
        if (stop_) return;
        slot = &slots_[handedOut_ % slots_.size()];
        if (!NextUnit(&slot->unit)) return;
        ++handedOut_;
      }
      compressor->Run(entries_, work_.store, slot);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slot->ready = true;
      }
      resultReady_.notify_one();
    }
  }

  Status WriteInOrder() {
    for (;;) {
      Slot* slot = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        slot = &slots_[taken_ % slots_.size()];
        resultReady_.wait(lock, [&] { return slot->ready || (entry_ == entries_.size() && taken_ == handedOut_); });
        if (!slot->ready) return Status();  // every unit written
      }
      SFXKIT_TRY(Consume(slot));
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slot->ready = false;
        ++taken_;
      }
      roomFree_.notify_all();
    }
  }

  Status Failure(Result r, const PackEntry& e) const {
    if (r == payload::kPayloadTooLarge) {
      return Status::Error(std::string(kPayloadLimitMessage) + "; stopped at '" + e.path.string() + "'");
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r));
    const char* reason = DescribeResult(r);
    return Status::Error("packing '" + e.path.string() + "': cannot write the payload: " + code +
                         (*reason ? std::string(" (") + reason + ")" : ""));
  }

  // Puts one unit out: the writer's side, always on the calling thread.
  Status Consume(Slot* slot) {
    const Unit& u = slot->unit;
    const PackEntry& e = entries_[u.entry];
    if (u.first) progress_->Advance(0, e.name);
    SFXKIT_TRY(slot->error);
    if (e.isFolder) {
      if (Result r = writer_->AddFolder(e.name.c_str(), e.time); Failed(r)) return Failure(r, e);
      return Status();
    }
    if (u.first) {
      if (Result r = writer_->BeginFile(e.name.c_str(), e.time, e.executable); Failed(r)) return Failure(r, e);
      crc_ = 0xFFFFFFFFu;
      fileStored_ = 0;
      joiner_.Reset();
      // Stored unless its compressed form is smaller; a file in one unit is
      // decided before anything is written.
      compressing_ = slot->compressed && !(u.last && (slot->bits + 7) / 8 > e.size - 1);
    }
    const std::uint32_t crcBefore = crc_;
    if (u.length != 0) (void)Crc()->UpdateCrc32(slot->raw.data(), u.length, &crc_);  // cannot fail with data
    if (compressing_ && (joiner_.bits() + slot->bits + 7) / 8 > e.size - 1) {
      // Not smaller after all: store the file instead, over what was written.
      compressing_ = false;
      if (Result r = writer_->RestartFileData(); Failed(r)) return Failure(r, e);
      fileStored_ = 0;
      SFXKIT_TRY(RestoreStored(e, u.offset, crcBefore));
    }
    if (compressing_) {
      joiner_.Append(slot->deflated, slot->bits, &joined_);
      std::uint8_t lastByte = 0;
      if (u.last && joiner_.Flush(&lastByte)) joined_.push_back(lastByte);
      if (Result r = Append(joined_.data(), joined_.size()); Failed(r)) return Failure(r, e);
    } else if (Result r = Append(slot->raw.data(), u.length); Failed(r)) {
      return Failure(r, e);
    }
    progress_->Advance(u.length);
    if (!u.last) return Status();
    const std::uint8_t method = compressing_ ? payload::kMethodDeflate : payload::kMethodStored;
    if (Result r = writer_->EndFile(method, static_cast<std::uint32_t>(e.size), ~crc_); Failed(r)) return Failure(r, e);
    storedBytes_ += fileStored_;
    return Status();
  }

  Result Append(const std::uint8_t* bytes, std::size_t size) {
    fileStored_ += size;
    return writer_->AppendFileData(bytes, static_cast<std::uint32_t>(size));
  }

  // The file's first `length` bytes again, read from the file, for a file
  // that is stored after all; they must be the ones compressed before.
  Status RestoreStored(const PackEntry& e, std::uint64_t length, std::uint32_t crcExpected) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint64_t at = 0; at < length;) {
      const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(length - at, kUnitBytes));
      if (!ReadRange(e, at, n, false, &joined_)) return Status::Error(CannotRead(e));
      (void)Crc()->UpdateCrc32(joined_.data(), n, &crc);
      if (Result r = Append(joined_.data(), n); Failed(r)) return Failure(r, e);
      at += n;
    }
    if (crc != crcExpected) return Status::Error(CannotRead(e));
    return Status();
  }

  const std::vector<PackEntry>& entries_;
  const PackWork work_;
  payload::PayloadWriter* writer_;
  ProgressBar* progress_;

  // Shared with the workers, under mutex_.
  std::mutex mutex_;
  std::condition_variable roomFree_;     // a slot was taken by the writer
  std::condition_variable resultReady_;  // a unit is done
  std::vector<Slot> slots_;              // unit n lives in slot n % size
  std::size_t entry_ = 0;                // where NextUnit goes on
  std::uint64_t offset_ = 0;
  std::uint64_t handedOut_ = 0;  // units given to workers
  std::uint64_t taken_ = 0;      // units written
  bool stop_ = false;

  // The writer's own.
  BitJoiner joiner_;
  std::vector<std::uint8_t> joined_;
  std::uint32_t crc_ = 0;
  bool compressing_ = false;
  std::uint64_t fileStored_ = 0;  // the current file's stored bytes so far
  std::uint64_t storedBytes_ = 0;
};

}  // namespace

Status PackEntries(const std::vector<PackEntry>& entries, const PackWork& work, payload::PayloadWriter* writer,
                   ProgressBar* progress, std::uint64_t* storedBytes) {
  Pipeline pipeline(entries, work, writer, progress);
  return pipeline.Run(storedBytes);
}

}  // namespace sfx::cli

#include "services/codec/inflate_tables_p.h"

#include <array>
#include <cstring>

#include "services/codec/deflate_constants_p.h"

namespace sfx::detail {
namespace {

using E = TableEntry;

constexpr std::array<std::uint32_t, 288> LiteralEntries() {
  std::array<std::uint32_t, 288> t{};
  for (std::uint32_t s = 0; s < 256; ++s) t[s] = E::Make(s, E::kLiteral, 0, 0);
  t[deflate::kEndOfBlock] = E::Make(0, E::kExceptional | E::kEndOfBlock, 0, 0);
  for (std::uint32_t s = 257; s < 286; ++s)
    t[s] = E::Make(deflate::kLengthBase[s - 257], 0, 0, deflate::kLengthExtraBits[s - 257]);
  t[286] = t[287] = E::Make(0, E::kExceptional, 0, 0);  // rejected by the block decoder
  return t;
}

constexpr std::array<std::uint32_t, 32> DistanceEntries() {
  std::array<std::uint32_t, 32> t{};
  for (std::uint32_t s = 0; s < 30; ++s)
    t[s] = E::Make(deflate::kDistanceBase[s], 0, 0, deflate::kDistanceExtraBits[s]);
  t[30] = t[31] = E::Make(0, E::kExceptional, 0, 0);
  return t;
}

constexpr std::array<std::uint32_t, 19> CodeLengthEntries() {
  std::array<std::uint32_t, 19> t{};
  for (std::uint32_t s = 0; s < 19; ++s) t[s] = E::Make(s, 0, 0, 0);
  return t;
}

// Lengths and distances consume their extra bits with their code, and keep
// the code's own bits as aux.
constexpr std::uint32_t WithBits(std::uint32_t entry, unsigned codeBits) {
  if (entry & (E::kLiteral | E::kExceptional)) return entry | codeBits;
  return entry + codeBits + (codeBits << E::kAuxShift);
}

constexpr auto kLiteralEntries = LiteralEntries();
constexpr auto kDistanceEntries = DistanceEntries();
constexpr auto kCodeLengthEntries = CodeLengthEntries();

constexpr std::array<std::uint8_t, 256> ByteReversals() {
  std::array<std::uint8_t, 256> t{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned r = 0;
    for (unsigned i = 0; i < 8; ++i) r |= ((b >> i) & 1) << (7 - i);
    t[b] = static_cast<std::uint8_t>(r);
  }
  return t;
}
constexpr auto kByteReversals = ByteReversals();

// The code's bits in input order: codes are sent most significant bit first.
unsigned Reverse(unsigned code, unsigned length) {
  const unsigned r16 = (static_cast<unsigned>(kByteReversals[code & 0xFF]) << 8) | kByteReversals[(code >> 8) & 0xFF];
  return r16 >> (16 - length);
}

struct FixedTables {
  std::uint32_t literal[kLiteralTableSize];
  std::uint32_t distance[kDistanceTableSize];
  FixedTables() {
    std::uint8_t lengths[288];
    for (unsigned i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    (void)BuildDecodeTable(lengths, 288, kLiteralSymbolEntries, kLiteralMainBits, literal, kLiteralTableSize);
    PairLiterals(literal, kLiteralMainBits);
    for (unsigned i = 0; i < 32; ++i) lengths[i] = 5;
    (void)BuildDecodeTable(lengths, 32, kDistanceSymbolEntries, kDistanceMainBits, distance, kDistanceTableSize);
  }
};

const FixedTables& Fixed() {
  static const FixedTables tables;
  return tables;
}

}  // namespace

const std::uint32_t* const kLiteralSymbolEntries = kLiteralEntries.data();
const std::uint32_t* const kDistanceSymbolEntries = kDistanceEntries.data();
const std::uint32_t* const kCodeLengthSymbolEntries = kCodeLengthEntries.data();

const std::uint32_t* FixedLiteralTable() { return Fixed().literal; }
const std::uint32_t* FixedDistanceTable() { return Fixed().distance; }

void PairLiterals(std::uint32_t* table, unsigned mainBits) {
  // Downwards: the second literal's slot (index >> first length) lies below
  // and still holds its single entry when read. Whether a slot pairs depends
  // on the code, not on a pattern a branch predictor could learn, so the
  // choice is made without branches.
  for (unsigned i = (1u << mainBits); i-- > 0;) {
    const std::uint32_t first = table[i];
    const unsigned firstBits = E::CodeBits(first);  // a main-table entry consumes at most mainBits + 5
    const std::uint32_t second = table[i >> firstBits];
    // Both literals, the second not already a pair, and the second code
    // decided by the bits this slot has.
    const bool pairs = ((first & second & E::kLiteral) != 0) & ((second & E::kPair) == 0) &
                       (firstBits + E::CodeBits(second) <= mainBits);
    const std::uint32_t pair = E::Make(E::Value(first) | (E::Value(second) << 8), E::kLiteral | E::kPair, firstBits,
                                       firstBits + E::CodeBits(second));
    table[i] = pairs ? pair : first;
  }
}

namespace {

// The counts of each code length 1..15 (count[0] is ignored) leave no
// pattern unused and none used twice.
bool CountsComplete(const unsigned* count) {
  int left = 1;
  for (unsigned length = 1; length <= deflate::kMaxCodeLength; ++length) {
    left = (left << 1) - static_cast<int>(count[length]);
    if (left < 0) return false;  // over-subscribed
  }
  return left == 0;
}

}  // namespace

bool IsCompleteCode(const std::uint8_t* lengths, unsigned n) {
  unsigned count[16] = {};
  for (unsigned s = 0; s < n; ++s) ++count[lengths[s] & 15];
  return CountsComplete(count);
}

bool BuildDecodeTable(const std::uint8_t* lengths, unsigned n, const std::uint32_t* symbolEntries, unsigned mainBits,
                      std::uint32_t* table, unsigned capacity) {
  unsigned count[16] = {};
  for (unsigned s = 0; s < n; ++s) ++count[lengths[s] & 15];
  if (!CountsComplete(count)) return false;
  count[0] = 0;
  unsigned next[16] = {};
  unsigned code = 0;
  for (unsigned length = 1; length <= deflate::kMaxCodeLength; ++length) {
    code = (code + count[length - 1]) << 1;
    next[length] = code;
  }

  const unsigned mainSize = 1u << mainBits;
  const unsigned mainMask = mainSize - 1;
  struct Long {
    std::uint16_t symbol;
    std::uint8_t length;
    std::uint16_t reversed;
  };
  Long longCodes[288];
  unsigned longCount = 0;
  std::uint8_t deepest[1u << kLiteralMainBits];  // per main-table slot: the longest code below it
  std::memset(deepest, 0, mainSize);
  for (unsigned s = 0; s < n; ++s) {
    const unsigned length = lengths[s];
    if (length == 0) continue;
    const unsigned reversed = Reverse(next[length]++, length);
    if (length <= mainBits) {
      const std::uint32_t entry = WithBits(symbolEntries[s], length);
      for (unsigned i = reversed; i < mainSize; i += 1u << length) table[i] = entry;
    } else {
      const unsigned slot = reversed & mainMask;
      // The slot becomes a link in the second pass (complete codes put no short code here).
      if (deepest[slot] == 0) table[slot] = 0;
      if (length > deepest[slot]) deepest[slot] = static_cast<std::uint8_t>(length);
      longCodes[longCount++] = {static_cast<std::uint16_t>(s), static_cast<std::uint8_t>(length),
                                static_cast<std::uint16_t>(reversed)};
    }
  }
  unsigned offset = mainSize;
  for (unsigned i = 0; i < longCount; ++i) {
    const Long& c = longCodes[i];
    const unsigned slot = c.reversed & mainMask;
    if (table[slot] == 0) {
      const unsigned subBits = deepest[slot] - mainBits;
      if (offset + (1u << subBits) > capacity) return false;
      table[slot] = E::Make(offset, E::kExceptional | E::kLink, subBits, mainBits);
      offset += 1u << subBits;
    }
    const std::uint32_t link = table[slot];
    const unsigned subLength = c.length - mainBits;
    const std::uint32_t entry = WithBits(symbolEntries[c.symbol], subLength);
    const unsigned subSize = 1u << E::SubtableBits(link);
    for (unsigned j = c.reversed >> mainBits; j < subSize; j += 1u << subLength) table[E::Value(link) + j] = entry;
  }
  return true;
}

}  // namespace sfx::detail

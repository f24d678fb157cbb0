// Lookup tables for complete Huffman codes: a main table indexed by the next
// kMainBits input bits, and subtables for longer codes. Each entry is 32 bits:
//
//   bits  0..5   bits consumed at this level: the code's, plus for lengths
//                and distances their extra bits (the main-table bits for a
//                subtable link); the entry itself serves as a shift count
//   bit   6      end of block (with exceptional)
//   bit   7      always zero
//   bits  8..11  a second bit count ("aux"): for a length or distance the
//                code's own bits, so its extra value is the consumed bits
//                shifted right by aux; for a link the subtable's index bits;
//                for a pair the first code's length
//   bits 12..14  flags: literal, exceptional (end of block, link or a symbol
//                the block decoder rejects), link
//   bits 15..30  value: the literal byte (a pair's two), the base length or
//                distance, or the subtable's offset
//   bit  31      pair; clear in every other entry, so that the entry shifted
//                right by 15 is a length's, distance's or link's value, and
//                shifted right by 31 the count of a literal's second byte
//
// A length or distance entry has bits 6, 7 and 12..14 clear, so that the
// entry shifted right by 8 is, in its low six bits, its aux (a shift can take
// it straight). Symbol entries, before a code is assigned, hold a length's or
// distance's extra bits as consumed bits and aux 0.
//
// A pair is two literals whose codes together fit the main table's bits: its
// value holds both bytes (first in the low byte), its consumed bits both
// codes, and its aux the first code's length, so that a decoder taking one
// symbol at a time reads it as the first literal alone.
//
// Only complete codes get tables (every bit pattern then meets a leaf within
// 15 bits, exactly as a tree walk would); others fall back to DecodingTree.
#pragma once

#include <cstdint>

#include "services/codec/bit_reader_p.h"

namespace sfx::detail {

struct TableEntry {
  static constexpr std::uint32_t kEndOfBlock = 0x40;
  static constexpr std::uint32_t kLiteral = 0x1000;
  static constexpr std::uint32_t kExceptional = 0x2000;
  static constexpr std::uint32_t kLink = 0x4000;
  static constexpr std::uint32_t kPair = 0x80000000;
  static constexpr unsigned kPairShift = 31;
  static constexpr unsigned kAuxShift = 8;
  static constexpr unsigned kValueShift = 15;

  static constexpr std::uint32_t Make(std::uint32_t value, std::uint32_t flags, std::uint32_t aux, std::uint32_t bits) {
    return (value << kValueShift) | flags | (aux << kAuxShift) | bits;
  }
  // Everything the entry consumes. The & 63 costs nothing where the entry
  // goes straight into a shift.
  static constexpr unsigned CodeBits(std::uint32_t e) { return e & 63; }
  static constexpr unsigned Aux(std::uint32_t e) { return (e >> kAuxShift) & 0xF; }
  // The bits of the code alone, for a decoder that reads extra bits (and a
  // pair's second literal) separately.
  static constexpr unsigned SymbolBits(std::uint32_t e) {
    if (e & kPair) return Aux(e);
    if (e & (kLiteral | kExceptional)) return CodeBits(e);
    return Aux(e);
  }
  // A length's or distance's extra bits.
  static constexpr unsigned ExtraBits(std::uint32_t e) { return CodeBits(e) - Aux(e); }
  // A link's subtable index bits.
  static constexpr unsigned SubtableBits(std::uint32_t e) { return Aux(e); }
  static constexpr std::uint32_t Value(std::uint32_t e) { return (e >> kValueShift) & 0xFFFF; }
  // Value() of an entry that is not a pair, without the mask.
  static constexpr std::uint32_t Base(std::uint32_t e) { return e >> kValueShift; }
};

inline constexpr unsigned kLiteralMainBits = 10;
inline constexpr unsigned kDistanceMainBits = 8;
inline constexpr unsigned kCodeLengthMainBits = 7;
// Main table plus the most subtables any complete code can need: at most
// half the symbols head a subtable, each of at most 2^(15 - main bits) entries.
inline constexpr unsigned kLiteralTableSize = (1u << kLiteralMainBits) + 144 * (1u << (15 - kLiteralMainBits));
inline constexpr unsigned kDistanceTableSize = (1u << kDistanceMainBits) + 16 * (1u << (15 - kDistanceMainBits));
inline constexpr unsigned kCodeLengthTableSize = 1u << kCodeLengthMainBits;

// What each symbol decodes to, without its code bits.
extern const std::uint32_t* const kLiteralSymbolEntries;     // 288 symbols
extern const std::uint32_t* const kDistanceSymbolEntries;    // 32 symbols
extern const std::uint32_t* const kCodeLengthSymbolEntries;  // 19 symbols

// True when lengths[0..n-1] form a complete code (each code length 0..15).
bool IsCompleteCode(const std::uint8_t* lengths, unsigned n);
// Builds the table of a complete code; false when the code is not complete
// or needs more than `capacity` entries.
bool BuildDecodeTable(const std::uint8_t* lengths, unsigned n, const std::uint32_t* symbolEntries, unsigned mainBits,
                      std::uint32_t* table, unsigned capacity);

// Turns main-table literals followed by a second literal within the same
// bits into pairs.
void PairLiterals(std::uint32_t* table, unsigned mainBits);

// The fixed code's tables, built once.
const std::uint32_t* FixedLiteralTable();
const std::uint32_t* FixedDistanceTable();

// Decodes one entry exactly: bits are fetched only when the code needs more
// than the reader holds (see BitReader).
inline Result DecodeEntry(BitReader& in, const std::uint32_t* table, unsigned mainBits, std::uint32_t* entry) {
  for (;;) {
    std::uint32_t e = table[in.bits() & BitReader::LowMask(mainBits)];
    unsigned need = TableEntry::SymbolBits(e);
    if (e & TableEntry::kLink) {
      e = table[TableEntry::Value(e) + ((in.bits() >> mainBits) & BitReader::LowMask(TableEntry::SubtableBits(e)))];
      need = mainBits + TableEntry::SymbolBits(e);
    }
    if (need <= in.count()) {
      in.Drop(need);
      *entry = e;
      return kOk;
    }
    SFX_TRY(in.PullByte());
  }
}

}  // namespace sfx::detail

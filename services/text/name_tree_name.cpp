// Names: the StoredName encoding, its checks and its decoding.
#include "services/text/name_tree_p.h"

namespace sfx {
namespace detail {

namespace {

// Characters of the caller's text, 8-bit or 16-bit.
struct TextView {
  const char* text;
  const char16_t* text16;
  char16_t At(std::uint32_t i) const {
    return text != nullptr ? static_cast<char16_t>(static_cast<unsigned char>(text[i])) : text16[i];
  }
};

}  // namespace

Result EncodeName(const char* text, const char16_t* text16, std::uint32_t count, EncodedName* out) {
  const TextView view{text, text16};
  if (text == nullptr && text16 == nullptr) return kFail;
  if (count == 0) {
    // Terminated text: never look further than one character past the limit.
    while (count <= kNameTreeMaxNameLength && view.At(count) != 0) ++count;
  }
  if (count > kNameTreeMaxNameLength) return kNameTreeNameTooLong;
  bool wide = false;
  for (std::uint32_t i = 0; i < count && !wide; ++i) wide = view.At(i) > 0xFF;
  std::uint8_t* b = out->bytes;
  b[0] = static_cast<std::uint8_t>(count);
  if (wide) {
    b[1] = kWideMarker;
    for (std::uint32_t i = 0; i < count; ++i) StoreU16(b + 2 + 2 * i, view.At(i));
    out->size = 2 * count + 2;
    return kOk;
  }
  std::uint32_t at = 1;
  if (count > 0 && view.At(0) >= 0x80) b[at++] = kHighMarker;
  for (std::uint32_t i = 0; i < count; ++i) b[at++] = static_cast<std::uint8_t>(view.At(i));
  b[at++] = 0;
  out->size = at;
  return kOk;
}

std::uint32_t StoredNameSize(const std::uint8_t* p) {
  const std::uint32_t n = p[0];
  if (n > 0 && p[1] == kWideMarker) return 2 * n + 2;
  if (n > 0 && p[1] == kHighMarker) return n + 3;
  return n + 2;
}

std::uint32_t CheckedStoredNameSize(const std::uint8_t* p, std::uint32_t available) {
  if (available < 2) return 0;
  const std::uint32_t n = p[0];
  if (n > kNameTreeMaxNameLength) return 0;
  const std::uint32_t size = StoredNameSize(p);
  if (size > available) return 0;
  if (n > 0 && p[1] == kWideMarker) {
    // The wide form is used only when a character needs it, so that every
    // name has one spelling and identity stays a byte comparison.
    for (std::uint32_t i = 0; i < n; ++i)
      if (LoadU16(p + 2 + 2 * i) > 0xFF) return size;
    return 0;
  }
  if (p[size - 1] != 0) return 0;
  if (n > 0 && p[1] == kHighMarker) return p[2] >= 0x80 ? size : 0;
  return n == 0 || p[1] < 0x80 ? size : 0;
}

std::uint32_t StoredNameAsText(const std::uint8_t* name, char* text) {
  const std::uint32_t n = name[0];
  if (n > 0 && name[1] == kWideMarker) {
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint16_t c = LoadU16(name + 2 + 2 * i);
      text[i] = c > 0xFF ? '?' : static_cast<char>(c);
    }
  } else {
    const std::uint8_t* chars = name + (n > 0 && name[1] == kHighMarker ? 2 : 1);
    for (std::uint32_t i = 0; i < n; ++i) text[i] = static_cast<char>(chars[i]);
  }
  text[n] = 0;
  return n;
}

}  // namespace detail

Result NameTreeService::DecodeStoredName(const std::uint8_t* name, char* buffer, char16_t* buffer16) {
  const std::uint32_t n = name == nullptr ? 0 : name[0];
  if (buffer != nullptr) {
    if (name == nullptr) {
      buffer[0] = 0;
    } else {
      detail::StoredNameAsText(name, buffer);
    }
    return kOk;
  }
  if (buffer16 == nullptr) return kOk;
  if (n > 0 && name[1] == detail::kWideMarker) {
    for (std::uint32_t i = 0; i < n; ++i) buffer16[i] = static_cast<char16_t>(LoadU16(name + 2 + 2 * i));
  } else if (n > 0) {
    const std::uint8_t* chars = name + (name[1] == detail::kHighMarker ? 2 : 1);
    for (std::uint32_t i = 0; i < n; ++i) buffer16[i] = chars[i];
  }
  buffer16[n] = 0;
  return kOk;
}

}  // namespace sfx

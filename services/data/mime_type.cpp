#include "services/data/mime_type.h"

#include <string_view>

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"
#include "services/data/name_table_p.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

// ---- vocabulary ----
// Every list is sorted for the case-insensitive binary search; a name added
// later goes to its sorted position (the static_asserts below keep watch).

constexpr std::string_view kTopLevelNames[] = {
    "application", "audio", "image", "message", "model", "multipart", "text", "video",
};

constexpr std::string_view kSubtypeNames[] = {
    "avi",
    "base64",
    "basic",
    "bmp",
    "css",
    "gif",
    "html",
    "java",
    "jpeg",
    "macbinhex40",
    "mpeg",
    "msword",
    "octet-stream",
    "pdf",
    "pjpeg",
    "plain",
    "png",
    "postscript",
    "quicktime",
    "richtext",
    "rtf",
    "sgml",
    "tiff",
    "wav",
    "x-aiff",
    "x-compressed",
    "x-emf",
    "x-gzip-compressed",
    "x-hyrax-document",
    "x-hyrax-document-list",
    "x-jg",
    "x-msdownload",
    "x-pdb",
    "x-png",
    "x-prc",
    "x-vcal",
    "x-vcalendar",
    "x-vcard",
    "x-wmf",
    "x-xbitmap",
    "x-zip-compressed",
    "xml",
    "zip",
};

// Extensions (without the dot) and, at the same position, the media type each
// maps to. The mapping does not go through the subtype list: some of its
// subtypes ("x-ms-asf", "pict") have no subtype code.
constexpr std::string_view kExtensionNames[] = {
    "asf", "avi",  "bmp",  "css",   "doc", "dot",  "gif", "htm",  "html", "hyl", "jpe", "jpeg", "jpg",  "mov",
    "mp2", "mp2v", "mp3",  "mpa",   "mpe", "mpeg", "mpg", "mpv2", "pct",  "pdb", "pdf", "pic",  "pict", "png",
    "prc", "rtf",  "shtm", "shtml", "tif", "tiff", "txt", "vcf",  "vcs",  "xml", "xsl", "zip",
};

constexpr std::string_view kExtensionMediaTypes[] = {
    "video/x-ms-asf",     "video/avi",   "image/bmp",  "text/css",          "application/msword",
    "application/msword", "image/gif",   "text/html",  "text/html",         "application/x-hyrax-document-list",
    "image/jpeg",         "image/jpeg",  "image/jpeg", "video/quicktime",   "video/mpeg",
    "video/mpeg",         "audio/mpeg",  "video/mpeg", "video/mpeg",        "video/mpeg",
    "video/mpeg",         "video/mpeg",  "image/pict", "application/x-pdb", "application/pdf",
    "image/pict",         "image/pict",  "image/png",  "application/x-prc", "application/rtf",
    "text/html",          "text/html",   "image/tiff", "image/tiff",        "text/plain",
    "text/x-vcard",       "text/x-vcal", "text/xml",   "text/xml",          "application/zip",
};

static_assert(std::size(kTopLevelNames) == kMimeTopLevelCount);
static_assert(std::size(kSubtypeNames) == kMimeSubtypeCount);
static_assert(std::size(kExtensionNames) == kMimeExtensionCount);
static_assert(std::size(kExtensionMediaTypes) == kMimeExtensionCount);
static_assert(detail::NamesSortedNoCase(kTopLevelNames, std::size(kTopLevelNames)));
static_assert(detail::NamesSortedNoCase(kSubtypeNames, std::size(kSubtypeNames)));
static_assert(detail::NamesSortedNoCase(kExtensionNames, std::size(kExtensionNames)));

using TopLevel = detail::PackedNames<kTopLevelNames>;
using Subtypes = detail::PackedNames<kSubtypeNames>;
using Extensions = detail::PackedNames<kExtensionNames>;
using MediaTypes = detail::PackedNames<kExtensionMediaTypes>;

constexpr std::uint32_t LongestName(const std::string_view* names, std::size_t count) {
  std::size_t longest = 0;
  for (std::size_t i = 0; i < count; ++i) longest = names[i].size() > longest ? names[i].size() : longest;
  return static_cast<std::uint32_t>(longest);
}
static_assert(LongestName(kExtensionMediaTypes, std::size(kExtensionMediaTypes)) == kMimeTypeTextMax);
static_assert(LongestName(kTopLevelNames, std::size(kTopLevelNames)) == kMimeTopLevelTextMax);
static_assert(LongestName(kSubtypeNames, std::size(kSubtypeNames)) == kMimeSubtypeTextMax);

// ---- helpers ----

// Exactly these five bytes; vertical tab is not white space here.
bool IsMimeSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// The 1-based code of a name in a sorted table, 0 for an empty or unknown name.
std::uint32_t CodeOf(const LengthPrefixedString* const* table, std::uint32_t count, const char* text,
                     std::uint32_t length) {
  std::uint32_t index = 0;
  if (length == 0 || Strings()->FindSpanNoCase(table, count, text, length, &index) != kStringFound) return 0;
  return index + 1;
}

// Copies as much of a name as fits; returns the count copied.
std::uint32_t CopyName(const LengthPrefixedString* name, char* destination, std::uint32_t capacity) {
  const std::uint32_t n = name[0] < capacity ? name[0] : capacity;
  if (n == 0) return 0;                            // the destination may be null when nothing fits
  (void)Memory()->Copy(destination, name + 1, n);  // Copy never fails
  return n;
}

MimeTypeService g_mimeTypeService;

}  // namespace

ServiceObject* detail::TheMimeTypeService() { return &g_mimeTypeService; }

Result MimeTypeService::ParseMimeType(const char* text, std::uint32_t length, MimeTypeInfo* info) {
  if (info == nullptr) return kNullOutput;
  if (text == nullptr) length = 0;
  std::uint32_t at = 0;
  while (at < length && IsMimeSpace(text[at])) ++at;

  const std::uint32_t typeStart = at;
  while (at < length && !IsMimeSpace(text[at]) && text[at] != '/') ++at;
  info->typeText = text + typeStart;
  info->typeLength = at - typeStart;
  info->typeCode = CodeOf(TopLevel::kTable.data(), kMimeTopLevelCount, info->typeText, info->typeLength);

  while (at < length && (IsMimeSpace(text[at]) || text[at] == '/')) ++at;

  const std::uint32_t subtypeStart = at;
  while (at < length && !IsMimeSpace(text[at]) && text[at] != ';') ++at;
  info->subtypeText = text + subtypeStart;
  info->subtypeLength = at - subtypeStart;
  info->subtypeCode = CodeOf(Subtypes::kTable.data(), kMimeSubtypeCount, info->subtypeText, info->subtypeLength);
  return kOk;
}

Result MimeTypeService::MimeTypeFromExtension(const char* extension, std::uint32_t extensionLength, char* buffer,
                                              std::uint32_t* length) {
  if (length == nullptr) return kNullOutput;
  const std::uint32_t capacity = buffer == nullptr ? 0 : *length;
  *length = 0;
  if (extension == nullptr || extensionLength == 0) return kOk;
  if (extension[0] == '.') {
    ++extension;
    --extensionLength;
  }
  const std::uint32_t code = CodeOf(Extensions::kTable.data(), kMimeExtensionCount, extension, extensionLength);
  if (code == 0) return kOk;
  *length = CopyName(MediaTypes::kTable[code - 1], buffer, capacity);
  return kOk;
}

Result MimeTypeService::FormatMimeType(std::uint32_t typeCode, std::uint32_t subtypeCode, char* buffer,
                                       std::uint32_t* length) {
  if (length == nullptr) return kNullOutput;
  const std::uint32_t capacity = buffer == nullptr ? 0 : *length;
  std::uint32_t position = 0;
  if (typeCode >= 1 && typeCode <= kMimeTopLevelCount) {
    position = CopyName(TopLevel::kTable[typeCode - 1], buffer, capacity);
    // A type that fills the buffer gets no slash (and no subtype).
    if (position >= capacity) {
      *length = position;
      return kOk;
    }
    buffer[position++] = '/';
  }
  if (subtypeCode >= 1 && subtypeCode <= kMimeSubtypeCount) {
    position += CopyName(Subtypes::kTable[subtypeCode - 1], buffer + position, capacity - position);
  }
  *length = position;
  return kOk;
}

}  // namespace sfx

// Normalised absolute paths from a base folder and a path, in the three path
// syntaxes.
//
// A path is a root followed by segments. The root is copied to the front of
// the result: a drive ("C:"), a server share ("\\server\share"), a colon-syntax
// volume ("Disk"), or nothing. The segments of the base folder and then of the
// path are read from the end towards the start: "." and empty segments drop
// out, and each parent marker cancels the nearest kept segment before it; so
// a count of pending markers is all the state needed, and the path's markers
// climb into the base naturally. Markers that find nothing left to cancel stay
// in the result right after the root. Nothing is allocated: the result is
// measured first, then written from its end backwards.
#include "platform/path.h"
#include "services/locator/url_service.h"
#include "services/locator/url_service_p.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

using url::Output;

enum class Syntax { kNative, kColon, kSlash };

// The room for the current folder; a deeper folder fails as "no full path".
constexpr std::uint32_t kCurrentFolderRoom = 4096;

struct Root {
  const char* text = nullptr;
  std::uint32_t length = 0;
  bool leadingSeparator = false;    // the first segment gets a separator in front
  bool separatorWhenAlone = false;  // a root with nothing after it ends in a separator ("C:\", "/")
};

// A stretch of segments. In colon syntax a colon directly after another
// colon is a parent marker; `afterColon` says whether the stretch begins right
// after one (the leading colon of a relative path).
struct Piece {
  const char* text = nullptr;
  std::uint32_t length = 0;
  bool afterColon = false;
};

struct Segment {
  bool parent;
  const char* text;
  std::uint32_t length;
};

bool IsNativeSeparator(char c) { return c == '\\' || c == '/'; }

// Yields the segments of a piece from its last to its first.
class BackwardSegments {
 public:
  BackwardSegments(const Piece& piece, Syntax syntax) : piece_(piece), syntax_(syntax), position_(piece.length) {}

  bool Next(Segment* segment) {
    const char* t = piece_.text;
    if (syntax_ == Syntax::kColon) {
      while (position_ > 0) {
        if (t[position_ - 1] == ':') {
          const bool parent = position_ > 1 ? t[position_ - 2] == ':' : piece_.afterColon;
          --position_;
          if (parent) {
            *segment = Segment{true, nullptr, 0};
            return true;
          }
          continue;
        }
        const std::uint32_t end = position_;
        while (position_ > 0 && t[position_ - 1] != ':') --position_;
        *segment = Segment{false, t + position_, end - position_};
        return true;
      }
      return false;
    }
    while (!done_) {
      const std::uint32_t end = position_;
      std::uint32_t start = end;
      while (start > 0 && !IsSeparator(t[start - 1])) --start;
      if (start == 0) {
        done_ = true;
      } else {
        position_ = start - 1;
      }
      const std::uint32_t n = end - start;
      if (n == 0 || (n == 1 && t[start] == '.')) continue;
      *segment = Segment{n == 2 && t[start] == '.' && t[start + 1] == '.', t + start, n};
      return true;
    }
    return false;
  }

 private:
  bool IsSeparator(char c) const { return syntax_ == Syntax::kNative ? IsNativeSeparator(c) : c == '/'; }

  Piece piece_;
  Syntax syntax_;
  std::uint32_t position_;
  bool done_ = false;
};

char SeparatorOf(Syntax syntax) { return syntax == Syntax::kNative ? '\\' : syntax == Syntax::kColon ? ':' : '/'; }

// Calls keep(segment) for each kept segment, last first; returns the count of
// parent markers left over.
template <class Keep>
std::uint32_t Walk(const Piece* pieces, int count, Syntax syntax, Keep keep) {
  std::uint32_t pending = 0;
  for (int p = count; p-- > 0;) {
    BackwardSegments segments(pieces[p], syntax);
    Segment s;
    while (segments.Next(&s)) {
      if (s.parent) {
        ++pending;
      } else if (pending > 0) {
        --pending;
      } else {
        keep(s);
      }
    }
  }
  return pending;
}

Result WriteFullPath(const Root& root, const Piece* pieces, int count, Syntax syntax, char* buffer,
                     std::uint32_t* capacity) {
  const char separator = SeparatorOf(syntax);
  // A left-over parent marker is ".." in native and slash syntax, and an
  // empty segment (a doubled colon) in colon syntax.
  const std::uint32_t parentLength = syntax == Syntax::kColon ? 0 : 2;
  return url::Produce(buffer, capacity, [&](Output& out) -> Result {
    std::uint64_t keptBytes = 0;
    std::uint64_t kept = 0;
    const std::uint32_t pending = Walk(pieces, count, syntax, [&](const Segment& s) {
      ++kept;
      keptBytes += s.length;
    });
    const std::uint64_t elements = kept + pending;
    const std::uint64_t separators =
        elements == 0 ? (root.separatorWhenAlone ? 1 : 0) : elements - (root.leadingSeparator ? 0 : 1);
    const std::uint64_t length = root.length + keptBytes + std::uint64_t{pending} * parentLength + separators;
    if (out.buffer() == nullptr) {
      out.Advance(length);
      return kOk;
    }
    char* base = out.buffer() + out.length();
    std::uint64_t at = length;
    std::uint64_t before = elements;  // elements not yet written
    auto separate = [&] {
      if ((--before > 0 || root.leadingSeparator) && at > 0) base[--at] = separator;
    };
    (void)Walk(pieces, count, syntax, [&](const Segment& s) {
      for (std::uint32_t i = s.length; i > 0 && at > 0; --i) base[--at] = s.text[i - 1];
      separate();
    });
    for (std::uint32_t i = 0; i < pending; ++i) {
      for (std::uint32_t k = 0; k < parentLength && at > 0; ++k) base[--at] = '.';
      separate();
    }
    if (elements == 0 && root.separatorWhenAlone && at > 0) base[--at] = separator;
    if (at != root.length) return kUrlLengthMismatch;
    for (std::uint32_t i = 0; i < root.length; ++i) {
      const char c = root.text[i];
      base[i] = syntax == Syntax::kNative && IsNativeSeparator(c) ? '\\' : c;
    }
    out.Advance(length);
    return kOk;
  });
}

// ---- native syntax ----

enum class NativeKind { kServer, kDrive, kDriveRelative, kRootRelative, kRelative };

struct NativePath {
  NativeKind kind;
  Root root;
  Piece rest;
};

NativePath ClassifyNative(const char* t, std::uint32_t n) {
  NativePath p{NativeKind::kRelative, Root{}, Piece{t, n, false}};
  if (n > 2 && IsNativeSeparator(t[0]) && IsNativeSeparator(t[1])) {
    // "\\server\share": both names belong to the root, so ".." stops below it.
    std::uint32_t end = 2;
    while (end < n && !IsNativeSeparator(t[end])) ++end;
    if (end < n) {
      ++end;
      while (end < n && !IsNativeSeparator(t[end])) ++end;
    }
    p.kind = NativeKind::kServer;
    p.root = Root{t, end, true, false};
    p.rest = Piece{t + end, n - end, false};
  } else if (n >= 2 && url::IsAsciiLetter(static_cast<unsigned char>(t[0])) && t[1] == ':') {
    p.kind = n >= 3 && IsNativeSeparator(t[2]) ? NativeKind::kDrive : NativeKind::kDriveRelative;
    p.root = Root{t, 2, true, true};
    p.rest = Piece{t + 2, n - 2, false};
  } else if (n >= 1 && IsNativeSeparator(t[0])) {
    p.kind = NativeKind::kRootRelative;
    p.root = Root{nullptr, 0, true, true};
  }
  return p;
}

bool SameDrive(const NativePath& a, const NativePath& b) {
  return (a.kind == NativeKind::kDrive || a.kind == NativeKind::kDriveRelative) &&
         (b.kind == NativeKind::kDrive || b.kind == NativeKind::kDriveRelative) &&
         Strings()->CompareNoCase(a.root.text, 1, b.root.text, 1) == kStringEqual;
}

Result NativeFullPath(const char* base, std::uint32_t baseLength, const char* path, std::uint32_t pathLength,
                      char* buffer, std::uint32_t* capacity) {
  if (capacity == nullptr) return kNullOutput;
  const NativePath p = ClassifyNative(path, pathLength);
  if (p.kind == NativeKind::kServer || p.kind == NativeKind::kDrive)
    return WriteFullPath(p.root, &p.rest, 1, Syntax::kNative, buffer, capacity);

  char current[kCurrentFolderRoom];
  if (base == nullptr) {
    const std::uint32_t n = platform::CurrentFolder(current, kCurrentFolderRoom);
    if (n == 0 || n >= kCurrentFolderRoom) {
      *capacity = n;
      return kUrlNoFullPath;
    }
    base = current;
    baseLength = n;
  }
  const NativePath b = ClassifyNative(base, baseLength);
  const Piece both[2] = {b.rest, p.rest};
  switch (p.kind) {
    case NativeKind::kRootRelative:
      // "\x" keeps the base's drive or share and nothing else of it.
      return WriteFullPath(b.kind == NativeKind::kRelative ? p.root : b.root, &p.rest, 1, Syntax::kNative, buffer,
                           capacity);
    case NativeKind::kDriveRelative:
      // "D:x" climbs from the base when that is on drive D, else from D's root.
      if (SameDrive(p, b)) return WriteFullPath(b.root, both, 2, Syntax::kNative, buffer, capacity);
      return WriteFullPath(p.root, &p.rest, 1, Syntax::kNative, buffer, capacity);
    default: return WriteFullPath(b.root, both, 2, Syntax::kNative, buffer, capacity);
  }
}

// ---- colon syntax ----

// An absolute colon path starts with its volume's name; a relative one with a
// colon, which is dropped.
void ClassifyColon(const char* t, std::uint32_t n, Root* root, Piece* rest) {
  if (n > 0 && t[0] == ':') {
    *root = Root{nullptr, 0, true, true};
    *rest = Piece{t + 1, n - 1, true};
    return;
  }
  std::uint32_t volume = 0;
  while (volume < n && t[volume] != ':') ++volume;
  *root = Root{t, volume, true, false};
  *rest = Piece{t + volume, n - volume, false};
}

}  // namespace

Result UrlService::MakeNativeFullPath(const char* base, std::uint32_t baseLength, const char* path,
                                      std::uint32_t pathLength, char* buffer, std::uint32_t* capacity) {
  return NativeFullPath(base, baseLength, path, pathLength, buffer, capacity);
}

// Slots 6 and 9 share the implementation, so substituting one leaves the other.
Result UrlService::MakeFullPath(const char* base, std::uint32_t baseLength, const char* path, std::uint32_t pathLength,
                                char* buffer, std::uint32_t* capacity) {
  return NativeFullPath(base, baseLength, path, pathLength, buffer, capacity);
}

Result UrlService::MakeColonFullPath(const char* base, std::uint32_t baseLength, const char* path,
                                     std::uint32_t pathLength, char* buffer, std::uint32_t* capacity) {
  Root root;
  Piece pieces[2];
  ClassifyColon(path, pathLength, &root, &pieces[1]);
  if (root.text != nullptr) return WriteFullPath(root, &pieces[1], 1, Syntax::kColon, buffer, capacity);
  if (base == nullptr) return kUrlColonPathNeedsBase;
  ClassifyColon(base, baseLength, &root, &pieces[0]);
  return WriteFullPath(root, pieces, 2, Syntax::kColon, buffer, capacity);
}

Result UrlService::MakeSlashFullPath(const char* base, std::uint32_t baseLength, const char* path,
                                     std::uint32_t pathLength, char* buffer, std::uint32_t* capacity) {
  const Root absolute{nullptr, 0, true, true};
  const Piece pathPiece{path, pathLength, false};
  if (pathLength > 0 && path[0] == '/') return WriteFullPath(absolute, &pathPiece, 1, Syntax::kSlash, buffer, capacity);
  if (base == nullptr) return kUrlSlashPathNeedsBase;
  const Piece both[2] = {Piece{base, baseLength, false}, pathPiece};
  const bool baseAbsolute = baseLength > 0 && base[0] == '/';
  return WriteFullPath(baseAbsolute ? absolute : Root{}, both, 2, Syntax::kSlash, buffer, capacity);
}

}  // namespace sfx

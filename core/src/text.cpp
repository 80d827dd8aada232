#include "marrowlane/text.hpp"

#include <algorithm>

namespace marrowlane::text {
namespace {
#include "marrowlane/unicode_tables.inc"

template <std::size_t N>
bool in_ranges(const Range (&table)[N], char32_t cp) {
  auto it = std::upper_bound(std::begin(table), std::end(table), cp,
                             [](char32_t c, const Range& r) { return c < r.lo; });
  return it != std::begin(table) && cp <= std::prev(it)->hi;
}

const LowerEntry* find_lower(char32_t cp) {
  auto it = std::lower_bound(std::begin(kLower), std::end(kLower), cp,
                             [](const LowerEntry& e, char32_t c) { return e.cp < c; });
  return (it != std::end(kLower) && it->cp == cp) ? it : nullptr;
}

bool is_cased(char32_t cp) { return in_ranges(kCased, cp); }
bool is_case_ignorable(char32_t cp) { return in_ranges(kCaseIgnorable, cp); }

constexpr char32_t kCapitalSigma = 0x3A3;

// The capital sigma at `pos` (byte offset of its first byte, `end` just past
// it) lowers to the final form when a cased letter precedes it and none
// follows, case-ignorable characters skipped on both sides.
bool final_sigma(std::string_view s, std::size_t pos, std::size_t end) {
  bool before = false;
  std::size_t i = pos;
  while (i > 0) {
    std::size_t start = i - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
    std::size_t p = start;
    char32_t c = decode(s, p);
    if (p != i) {  // not a well-formed character ending at i: treat the byte alone
      start = i - 1;
      p = start;
      c = decode(s, p);
    }
    if (!is_case_ignorable(c)) {
      before = is_cased(c);
      break;
    }
    i = start;
  }
  if (!before) return false;
  std::size_t j = end;
  while (j < s.size()) {
    char32_t c = decode(s, j);
    if (!is_case_ignorable(c)) return !is_cased(c);
  }
  return true;
}

// Calls `emit(start, piece)` for each lower-cased piece of `s`, where `start`
// is the byte offset of the source character and `piece` its lower-cased UTF-8.
// A byte that starts no valid sequence is passed through unchanged.
template <typename Emit>
void lower_each(std::string_view s, Emit&& emit) {
  std::string piece;
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t start = pos;
    unsigned char b = static_cast<unsigned char>(s[pos]);
    piece.clear();
    if (b < 0x80) {
      ++pos;
      piece.push_back(static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b));
    } else {
      char32_t cp = decode(s, pos);
      if (pos - start == 1) {
        piece.push_back(static_cast<char>(b));
      } else if (cp == kCapitalSigma) {
        append_utf8(piece, final_sigma(s, start, pos) ? char32_t{0x3C2} : char32_t{0x3C3});
      } else if (const LowerEntry* e = find_lower(cp)) {
        for (unsigned k = 0; k < e->n; ++k) append_utf8(piece, e->to[k]);
      } else {
        piece.append(s.substr(start, pos - start));
      }
    }
    emit(start, std::string_view(piece));
  }
}

}  // namespace

char32_t decode(std::string_view s, std::size_t& pos) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b0 = byte(pos);
  auto cont = [&](std::size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  if (b0 >= 0xC2 && b0 < 0xE0 && cont(pos + 1)) {
    char32_t cp = (char32_t{b0} & 0x1F) << 6 | (byte(pos + 1) & 0x3F);
    pos += 2;
    return cp;
  }
  if (b0 >= 0xE0 && b0 < 0xF0 && cont(pos + 1) && cont(pos + 2)) {
    char32_t cp = (char32_t{b0} & 0x0F) << 12 | (char32_t{byte(pos + 1)} & 0x3F) << 6 |
                  (byte(pos + 2) & 0x3F);
    if (cp >= 0x800) {
      pos += 3;
      return cp;
    }
  }
  if (b0 >= 0xF0 && b0 < 0xF5 && cont(pos + 1) && cont(pos + 2) && cont(pos + 3)) {
    char32_t cp = (char32_t{b0} & 0x07) << 18 | (char32_t{byte(pos + 1)} & 0x3F) << 12 |
                  (char32_t{byte(pos + 2)} & 0x3F) << 6 | (byte(pos + 3) & 0x3F);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      pos += 4;
      return cp;
    }
  }
  ++pos;
  return b0;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::size_t char_count(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < s.size(); ++n) decode(s, pos);
  return n;
}

std::string_view first_chars(std::string_view s, std::size_t n) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < n && pos < s.size(); ++i) decode(s, pos);
  return s.substr(0, pos);
}

bool is_space(char32_t cp) {
  return std::binary_search(std::begin(kSpaces), std::end(kSpaces), cp);
}

bool is_printable(char32_t cp) { return !in_ranges(kUnprintable, cp); }

bool is_decimal(char32_t cp) { return in_ranges(kDecimal, cp); }

std::string lower(std::string_view s) {
  if (std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::string out(s);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
  }
  std::string out;
  out.reserve(s.size());
  lower_each(s, [&](std::size_t, std::string_view piece) { out.append(piece); });
  return out;
}

Lowered lower_mapped(std::string_view s) {
  Lowered result;
  result.text.reserve(s.size());
  result.source.reserve(s.size() + 1);
  lower_each(s, [&](std::size_t start, std::string_view piece) {
    result.text.append(piece);
    result.source.resize(result.text.size(), start);
  });
  result.source.push_back(s.size());
  return result;
}

namespace {
// Length of the white-space character at `pos`, or 0.
std::size_t space_at(std::string_view s, std::size_t pos) {
  std::size_t p = pos;
  char32_t cp = decode(s, p);
  return is_space(cp) ? p - pos : 0;
}
}  // namespace

std::string_view lstrip(std::string_view s) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t n = space_at(s, pos);
    if (n == 0) break;
    pos += n;
  }
  return s.substr(pos);
}

std::string_view rstrip(std::string_view s) {
  std::size_t end = 0, pos = 0;
  while (pos < s.size()) {
    std::size_t n = space_at(s, pos);
    if (n == 0) {
      decode(s, pos);
      end = pos;
    } else {
      pos += n;
    }
  }
  return s.substr(0, end);
}

std::string_view strip(std::string_view s) { return rstrip(lstrip(s)); }

std::vector<std::string_view> split(std::string_view s) {
  std::vector<std::string_view> words;
  std::size_t pos = 0, start = std::string_view::npos;
  while (pos < s.size()) {
    std::size_t n = space_at(s, pos);
    if (n != 0) {
      if (start != std::string_view::npos) words.push_back(s.substr(start, pos - start));
      start = std::string_view::npos;
      pos += n;
    } else {
      if (start == std::string_view::npos) start = pos;
      decode(s, pos);
    }
  }
  if (start != std::string_view::npos) words.push_back(s.substr(start));
  return words;
}

std::pair<std::string_view, std::string_view> split_first(std::string_view s) {
  std::string_view t = lstrip(s);
  std::size_t pos = 0;
  while (pos < t.size() && space_at(t, pos) == 0) decode(t, pos);
  std::string_view word = t.substr(0, pos);
  return {word, lstrip(t.substr(pos))};
}

std::string join(const std::vector<std::string_view>& words, std::string_view sep) {
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i) out.append(sep);
    out.append(words[i]);
  }
  return out;
}

bool icontains(std::string_view haystack, std::string_view needle) {
  return lower(haystack).find(lower(needle)) != std::string::npos;
}

bool iequals(std::string_view a, std::string_view b) { return lower(a) == lower(b); }

std::string repr(std::string_view s) {
  bool has_single = s.find('\'') != std::string_view::npos;
  bool has_double = s.find('"') != std::string_view::npos;
  char quote = (has_single && !has_double) ? '"' : '\'';
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(s.size() + 2);
  out.push_back(quote);
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t start = pos;
    char32_t cp = decode(s, pos);
    bool stray = (pos - start == 1 && cp >= 0x80);
    auto hex = [&](char prefix, int digits, char32_t v) {
      out.push_back('\\');
      out.push_back(prefix);
      for (int d = digits - 1; d >= 0; --d) out.push_back(kHex[(v >> (4 * d)) & 0xF]);
    };
    if (stray) {
      hex('x', 2, cp);  // not produced by Python input; shown as its byte
    } else if (cp == static_cast<char32_t>(quote) || cp == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(cp));
    } else if (cp == '\t') {
      out.append("\\t");
    } else if (cp == '\n') {
      out.append("\\n");
    } else if (cp == '\r') {
      out.append("\\r");
    } else if (cp < 0x20 || cp == 0x7F) {
      hex('x', 2, cp);
    } else if (cp < 0x7F || is_printable(cp)) {
      out.append(s.substr(start, pos - start));
    } else if (cp <= 0xFF) {
      hex('x', 2, cp);
    } else if (cp <= 0xFFFF) {
      hex('u', 4, cp);
    } else {
      hex('U', 8, cp);
    }
  }
  out.push_back(quote);
  return out;
}

std::string repr_list(const std::vector<std::string_view>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out.append(", ");
    out.append(repr(items[i]));
  }
  out.push_back(']');
  return out;
}

}  // namespace marrowlane::text

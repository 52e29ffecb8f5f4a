#include "support/shown_text.h"

#include <cstdio>

namespace velkor {

namespace {

// The length of the UTF-8 sequence at `text[at]` (2 to 4), or 0 when the
// bytes there are not one (a lone continuation byte, an overlong form, a
// surrogate, a code point past U+10FFFF, a sequence cut short).
std::size_t sequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(k) < 0x80 || byte(k) > 0xbf) return 0;
  return length;
}

void appendEscape(std::string& shown, const char* format, unsigned value) {
  char buffer[12];
  std::snprintf(buffer, sizeof buffer, format, value);
  shown += buffer;
}

}  // namespace

std::string shownText(std::string_view text, std::size_t limit) {
  std::string shown;
  std::size_t characters = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    if (characters == limit) {
      shown += "...";
      break;
    }
    ++characters;
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c >= 0x20 && c < 0x7f) {
      shown += static_cast<char>(c);
      ++at;
      continue;
    }
    if (c < 0x80) {
      switch (c) {
        case '\t': shown += "\\t"; break;
        case '\n': shown += "\\n"; break;
        case '\r': shown += "\\r"; break;
        default: appendEscape(shown, "\\x%02x", c); break;
      }
      ++at;
      continue;
    }
    const std::size_t length = sequenceLength(text, at);
    if (length == 0) {
      appendEscape(shown, "\\x%02x", c);
      ++at;
      continue;
    }
    // U+0080 to U+009F, the C1 controls, are the bytes C2 80 to C2 9F.
    const unsigned char second = static_cast<unsigned char>(text[at + 1]);
    if (c == 0xc2 && second < 0xa0)
      appendEscape(shown, "\\u%04x", second);
    else
      shown.append(text.substr(at, length));
    at += length;
  }
  return shown;
}

}  // namespace velkor

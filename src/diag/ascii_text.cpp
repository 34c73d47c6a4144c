#include "diag/ascii_text.h"

#include <cstdio>
#include <cstring>

// mingw-w64's own printf: "%.9g" and friends behave the same on every Windows version.
#if !defined(__USE_MINGW_ANSI_STDIO) || !__USE_MINGW_ANSI_STDIO
#error "Number formatting expects __USE_MINGW_ANSI_STDIO"
#endif

namespace driftglass {
namespace {

bool IsNumberCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' ||
         c == '-';
}

// printf writes the locale's radix character, which may be ',' or even several bytes; without
// grouping nothing else in a number is punctuation, so each such run becomes one period.
uint32_t NormalizeRadix(char* text, uint32_t length) {
  uint32_t out = 0;
  for (uint32_t i = 0; i < length; ++i) {
    if (IsNumberCharacter(text[i])) {
      text[out++] = text[i];
    } else if (out == 0 || text[out - 1] != '.') {
      text[out++] = '.';
    }
  }
  return out;
}

}  // namespace

AsciiText::AsciiText(char* buffer, uint32_t capacity) : buffer_(buffer), capacity_(capacity) {
  if (capacity_ > 0) buffer_[0] = '\0';
}

void AsciiText::AppendBytes(const char* bytes, uint32_t count) {
  if (truncated_) return;
  if (capacity_ == 0 || count > capacity_ - 1 - length_) {
    truncated_ = true;
    return;
  }
  memcpy(buffer_ + length_, bytes, count);
  length_ += count;
  buffer_[length_] = '\0';
}

void AsciiText::Append(const char* text) { AppendBytes(text, static_cast<uint32_t>(strlen(text))); }

void AsciiText::Append(const wchar_t* asciiText) {
  char chunk[64];
  uint32_t used = 0;
  for (; *asciiText != L'\0'; ++asciiText) {
    chunk[used++] = *asciiText < 0x80 ? static_cast<char>(*asciiText) : '?';
    if (used == sizeof(chunk)) {
      AppendBytes(chunk, used);
      used = 0;
    }
  }
  AppendBytes(chunk, used);
}

void AsciiText::Unsigned(uint64_t value) {
  char digits[20];
  uint32_t count = 0;
  do {
    digits[sizeof(digits) - 1 - count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  AppendBytes(digits + sizeof(digits) - count, count);
}

void AsciiText::Signed(int64_t value) {
  if (value < 0) {
    Append("-");
    // Negating in unsigned arithmetic keeps the most negative value exact.
    Unsigned(0 - static_cast<uint64_t>(value));
  } else {
    Unsigned(static_cast<uint64_t>(value));
  }
}

void AsciiText::AppendNumber(const char* format, int precision, double value,
                             uint32_t maxCharacters) {
  char number[kNumberCapacity];
  const int written = snprintf(number, sizeof(number), format, precision, value);
  if (written < 0 || static_cast<uint32_t>(written) >= sizeof(number)) {
    truncated_ = true;
    return;
  }
  uint32_t length = NormalizeRadix(number, static_cast<uint32_t>(written));
  if (length > maxCharacters) length = maxCharacters;
  AppendBytes(number, length);
}

void AsciiText::Fixed(double value, int decimals, uint32_t maxCharacters) {
  AppendNumber("%.*f", decimals, value, maxCharacters);
}

void AsciiText::General(double value, int digits) {
  AppendNumber("%.*g", digits, value, kNumberCapacity - 1);
}

}  // namespace driftglass

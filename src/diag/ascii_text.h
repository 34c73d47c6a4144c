#pragma once

#include <cstdint>

namespace driftglass {

// Appends ASCII text and numbers to a caller's fixed buffer, always NUL-terminated. Numbers use
// a period as the decimal separator whatever the C runtime's locale: the host may change it.
// Once something does not fit, the text stays as it was and truncated() reports it.
class AsciiText {
 public:
  // Longest "%.*f" of a finite double with up to 9 decimals, plus sign and terminator.
  static constexpr uint32_t kNumberCapacity = 352;

  AsciiText(char* buffer, uint32_t capacity);

  void Append(const char* text);
  void Append(const wchar_t* asciiText);  // names; characters beyond ASCII become '?'
  void Unsigned(uint64_t value);
  void Signed(int64_t value);
  // printf's "%.{decimals}f" (decimals at most 9), cut to maxCharacters characters.
  void Fixed(double value, int decimals, uint32_t maxCharacters = kNumberCapacity - 1);
  // printf's "%.{digits}g".
  void General(double value, int digits);

  const char* data() const { return buffer_; }
  uint32_t length() const { return length_; }
  bool truncated() const { return truncated_; }

 private:
  void AppendBytes(const char* bytes, uint32_t count);
  void AppendNumber(const char* format, int precision, double value, uint32_t maxCharacters);

  char* buffer_;
  uint32_t capacity_;
  uint32_t length_ = 0;
  bool truncated_ = false;
};

}  // namespace driftglass

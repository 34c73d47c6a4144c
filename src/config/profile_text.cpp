#include "config/profile_text.h"

#include <windows.h>

#include <cwctype>

namespace driftglass {
namespace {

// The profile functions also take the old end-of-file mark for white space.
bool IsBlank(wchar_t c) { return iswspace(c) || c == 0x1A; }

std::wstring Widen(const std::string& bytes, size_t from, UINT codePage) {
  const int count = static_cast<int>(bytes.size() - from);
  if (count <= 0) return {};
  const int length = MultiByteToWideChar(codePage, 0, bytes.data() + from, count, nullptr, 0);
  std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(codePage, 0, bytes.data() + from, count, text.data(), length);
  return text;
}

std::wstring Utf16(const std::string& bytes, bool bigEndian) {
  std::wstring text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<uint8_t>(bytes[i]);
    const auto second = static_cast<uint8_t>(bytes[i + 1]);
    text.push_back(static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  return text;
}

std::wstring Decode(const std::string& bytes, bool utf8Signature) {
  const auto at = [&](size_t i) { return i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : 0u; };
  if (at(0) == 0xFF && at(1) == 0xFE) return Utf16(bytes, false);
  if (at(0) == 0xFE && at(1) == 0xFF) return Utf16(bytes, true);
  if (utf8Signature && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) return Widen(bytes, 3, CP_UTF8);
  return Widen(bytes, 0, CP_ACP);
}

// Names and values are read as C strings: whatever follows a NUL is not seen.
std::wstring UpToNul(const wchar_t* begin, const wchar_t* end) {
  const wchar_t* p = begin;
  while (p < end && *p != L'\0') ++p;
  return std::wstring(begin, p);
}

bool SameName(const std::wstring& stored, const wchar_t* wanted, size_t length) {
  if (stored.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (towlower(stored[i]) != towlower(wanted[i])) return false;
  }
  return true;
}

// The part of a looked-up name between its blanks.
const wchar_t* Trimmed(const wchar_t* name, size_t& length) {
  while (*name != L'\0' && IsBlank(*name)) ++name;
  length = wcslen(name);
  while (length > 0 && IsBlank(name[length - 1])) --length;
  return name;
}

}  // namespace

ProfileText::ProfileText(const std::string& bytes, bool utf8Signature) {
  const std::wstring text = Decode(bytes, utf8Signature);
  sections_.emplace_back();  // lines before the first section belong to none
  const wchar_t* const end = text.data() + text.size();
  const wchar_t* next = text.data();
  while (next < end) {
    const wchar_t* start = next;
    const wchar_t* lineEnd = start;
    while (lineEnd < end && *lineEnd != L'\n' && *lineEnd != L'\r') ++lineEnd;
    next = lineEnd < end ? lineEnd + 1 : end;
    while (start < lineEnd && IsBlank(*start)) ++start;
    while (lineEnd > start && IsBlank(lineEnd[-1])) --lineEnd;
    if (start >= lineEnd) continue;
    if (*start == L'[') {
      const wchar_t* close = lineEnd;
      while (close > start && close[-1] != L']') --close;
      if (close > start) {
        // "[ General ]" names the section General.
        const wchar_t* nameStart = start + 1;
        const wchar_t* nameEnd = close - 1;
        while (nameStart < nameEnd && IsBlank(*nameStart)) ++nameStart;
        while (nameEnd > nameStart && IsBlank(nameEnd[-1])) --nameEnd;
        sections_.push_back(Section{UpToNul(nameStart, nameEnd), {}});
        continue;
      }
    }
    Entry entry;
    const wchar_t* equals = wmemchr(start, L'=', static_cast<size_t>(lineEnd - start));
    const wchar_t* nameEnd = lineEnd;
    if (equals != nullptr) {
      nameEnd = equals;
      while (nameEnd > start && IsBlank(nameEnd[-1])) --nameEnd;
      const wchar_t* value = equals + 1;
      while (value < lineEnd && IsBlank(*value)) ++value;
      entry.value = UpToNul(value, lineEnd);
      entry.hasValue = true;
    }
    entry.name = UpToNul(start, nameEnd);
    sections_.back().entries.push_back(std::move(entry));
  }
}

const ProfileText::Entry* ProfileText::Find(const wchar_t* section, const wchar_t* key) const {
  size_t sectionLength = 0;
  size_t keyLength = 0;
  section = Trimmed(section, sectionLength);
  key = Trimmed(key, keyLength);
  for (const Section& s : sections_) {
    if (!SameName(s.name, section, sectionLength)) continue;
    // Only the first section of a name is looked in.
    for (const Entry& e : s.entries) {
      if (SameName(e.name, key, keyLength)) return &e;
    }
    return nullptr;
  }
  return nullptr;
}

uint32_t ProfileText::Read(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                           uint32_t capacity) const {
  if (capacity == 0) return 0;
  const Entry* entry = Find(section, key);
  const wchar_t* value = entry != nullptr && entry->hasValue ? entry->value.c_str() : defaultText;
  size_t length = wcslen(value);
  // Quotes around a value are not part of it; a value cut short keeps its opening quote off but
  // loses its last character instead of the closing quote, as the profile functions do.
  wchar_t quote = L'\0';
  if ((value[0] == L'"' || value[0] == L'\'') && value[1] != L'\0' && value[length - 1] == value[0]) {
    quote = value[0];
    ++value;
    --length;
  }
  size_t copied = length < capacity - 1 ? length : capacity - 1;
  wmemcpy(buffer, value, copied);
  buffer[copied] = L'\0';
  if (quote != L'\0' && capacity >= length && copied > 0) buffer[--copied] = L'\0';
  return static_cast<uint32_t>(copied);
}

}  // namespace driftglass

#include "config/key_names.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

namespace driftglass {
namespace {

struct NamedKey {
  const wchar_t* name;
  uint32_t virtualKey;
};

// Besides F1-F24, the letters, the digits and Numpad0-Numpad9.
constexpr NamedKey kNamedKeys[] = {
    {L"Pause", VK_PAUSE},       {L"ScrollLock", VK_SCROLL},         {L"Insert", VK_INSERT},
    {L"Delete", VK_DELETE},     {L"Home", VK_HOME},                 {L"End", VK_END},
    {L"PageUp", VK_PRIOR},      {L"PageDown", VK_NEXT},             {L"Up", VK_UP},
    {L"Down", VK_DOWN},         {L"Left", VK_LEFT},                 {L"Right", VK_RIGHT},
    {L"Tab", VK_TAB},           {L"Backspace", VK_BACK},            {L"Enter", VK_RETURN},
    {L"Space", VK_SPACE},       {L"NumpadAdd", VK_ADD},             {L"NumpadSubtract", VK_SUBTRACT},
    {L"NumpadMultiply", VK_MULTIPLY}, {L"NumpadDivide", VK_DIVIDE}, {L"NumpadDecimal", VK_DECIMAL},
};

// The rest of name after prefix (any case), or null.
const wchar_t* AfterPrefix(const wchar_t* name, const wchar_t* prefix) {
  for (; *prefix != L'\0'; ++name, ++prefix) {
    if (towlower(*name) != towlower(*prefix)) return nullptr;
  }
  return name;
}

// A decimal number of one or two digits filling the whole text, else -1.
int SmallNumber(const wchar_t* text) {
  if (!iswdigit(text[0])) return -1;
  if (text[1] == L'\0') return text[0] - L'0';
  if (!iswdigit(text[1]) || text[2] != L'\0' || text[0] == L'0') return -1;
  return (text[0] - L'0') * 10 + (text[1] - L'0');
}

}  // namespace

uint32_t VirtualKeyOfName(const wchar_t* name) {
  if (name == nullptr || name[0] == L'\0') return 0;
  if (name[1] == L'\0') {
    const wchar_t c = static_cast<wchar_t>(towupper(name[0]));
    if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) return c;
    return 0;
  }
  if (const wchar_t* digits = AfterPrefix(name, L"F")) {
    const int n = SmallNumber(digits);
    if (n >= 1 && n <= 24) return VK_F1 + n - 1;
  }
  if (const wchar_t* digit = AfterPrefix(name, L"Numpad")) {
    if (digit[0] >= L'0' && digit[0] <= L'9' && digit[1] == L'\0') return VK_NUMPAD0 + (digit[0] - L'0');
  }
  for (const NamedKey& key : kNamedKeys) {
    const wchar_t* rest = AfterPrefix(name, key.name);
    if (rest != nullptr && *rest == L'\0') return key.virtualKey;
  }
  return 0;
}

void FormatKeyName(uint32_t virtualKey, wchar_t* text, uint32_t capacity) {
  if (capacity == 0) return;
  text[0] = L'\0';
  if (virtualKey >= VK_F1 && virtualKey <= VK_F24) {
    swprintf(text, capacity, L"F%u", virtualKey - VK_F1 + 1);
  } else if ((virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9')) {
    swprintf(text, capacity, L"%c", static_cast<wchar_t>(virtualKey));
  } else if (virtualKey >= VK_NUMPAD0 && virtualKey <= VK_NUMPAD9) {
    swprintf(text, capacity, L"Numpad%u", virtualKey - VK_NUMPAD0);
  } else {
    for (const NamedKey& key : kNamedKeys) {
      if (key.virtualKey == virtualKey) swprintf(text, capacity, L"%ls", key.name);
    }
  }
  text[capacity - 1] = L'\0';
}

}  // namespace driftglass

#pragma once
// The keyboard keys a player may name in the INI, by the names printed on them.

#include <cstdint>

namespace driftglass {

// The virtual-key code of a key name in any case: "F1".."F24", a letter, a digit,
// "Numpad0".."Numpad9", "Pause", "ScrollLock", "Insert", "Delete", "Home", "End", "PageUp",
// "PageDown", the arrows "Up" "Down" "Left" "Right", "Tab", "Backspace", "Enter", "Space" and the
// numpad's "NumpadAdd" "NumpadSubtract" "NumpadMultiply" "NumpadDivide" "NumpadDecimal"; 0 for
// anything else.
uint32_t VirtualKeyOfName(const wchar_t* name);
// The code's name as above (empty for a code without one), cut to capacity characters.
void FormatKeyName(uint32_t virtualKey, wchar_t* text, uint32_t capacity);

}  // namespace driftglass

#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace detour::test {

// A page of machine code written by a test, executable as the host's code would be.
class CodeBuffer {
 public:
  explicit CodeBuffer(size_t size = 4096)
      : size_(size),
        base_(static_cast<uint8_t*>(
            VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE))) {
    memset(base_, 0xCC, size_);
  }
  ~CodeBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
  CodeBuffer(const CodeBuffer&) = delete;
  CodeBuffer& operator=(const CodeBuffer&) = delete;

  uint8_t* base() const { return base_; }
  size_t size() const { return size_; }

  // Appends bytes at the cursor.
  CodeBuffer& Emit(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) base_[cursor_++] = b;
    return *this;
  }
  CodeBuffer& Emit(const uint8_t* bytes, size_t length) {
    memcpy(base_ + cursor_, bytes, length);
    cursor_ += length;
    return *this;
  }
  CodeBuffer& Emit32(uint32_t value) {
    memcpy(base_ + cursor_, &value, 4);
    cursor_ += 4;
    return *this;
  }
  CodeBuffer& EmitAddress(const void* address) {
    return Emit32(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address)));
  }
  uint8_t* cursor() const { return base_ + cursor_; }
  void SetCursor(size_t offset) { cursor_ = offset; }

  void Protect(DWORD protection) {
    DWORD previous = 0;
    VirtualProtect(base_, size_, protection, &previous);
    FlushInstructionCache(GetCurrentProcess(), base_, size_);
  }

 private:
  size_t size_;
  uint8_t* base_;
  size_t cursor_ = 0;
};

// A detour that counts its calls (flags preserved) and jumps on to the hook's trampoline.
inline void* EmitCountingDetour(CodeBuffer& code, volatile long* counter, void** original) {
  void* start = code.cursor();
  code.Emit({0x9C, 0xF0, 0xFF, 0x05}).EmitAddress(const_cast<long*>(counter));  // lock inc
  code.Emit({0x9D, 0xFF, 0x25}).EmitAddress(original);                           // jmp [original]
  return start;
}

}  // namespace detour::test

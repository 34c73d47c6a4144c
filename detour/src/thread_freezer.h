#pragma once

#include <windows.h>

#include <cstdint>

namespace detour {

enum class FreezeResult { kFrozen, kThreadNotSuspendable, kTooManyThreads, kQueryFailed, kContextTimeout };

// Suspends every other thread of the process and resumes them again. Everything it needs is
// prepared by Prepare(), so that while threads are frozen nothing takes the loader or heap lock
// (a frozen thread may hold either).
class ThreadFreezer {
 public:
  static constexpr uint32_t kMaxThreads = 1024;

  // Resolves the system's thread query, reserves its buffer and starts the context reader; call
  // before any Freeze.
  bool Prepare();
  void Release();

  // Suspends every thread but the caller's, enumerating again until no new thread appears, and
  // reads each one's instruction pointer. On failure every thread is running again.
  FreezeResult Freeze();
  // Writes back changed instruction pointers, then resumes and closes every thread.
  void Unfreeze();

  using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  // Set before Prepare: lets a test script the listing round by round, which timing cannot.
  void UseThreadQuery(QuerySystemInformation query) { query_ = query; }

  uint32_t count() const { return count_; }
  uintptr_t Eip(uint32_t i) const { return eip_[i]; }
  void SetEip(uint32_t i, uintptr_t eip);

 private:
  bool QueryThreads();
  bool IsKnown(DWORD threadId) const;
  bool ReadEip(HANDLE thread, uintptr_t& eip);
  static DWORD WINAPI ContextReader(LPVOID self);

  QuerySystemInformation query_ = nullptr;
  uint8_t* buffer_ = nullptr;
  uint32_t bufferSize_ = 0;

  // Reading a suspended thread's context waits until the suspension has taken effect, and a
  // thread caught in its own start-up can make that wait endless. A reader thread started
  // beforehand does the reading so the freezer can give up after a while.
  HANDLE reader_ = nullptr;
  DWORD readerId_ = 0;
  HANDLE request_ = nullptr;
  HANDLE answered_ = nullptr;
  volatile LONG requested_ = 0;
  volatile LONG answeredSerial_ = 0;
  volatile LONG stopReader_ = 0;
  HANDLE readTarget_ = nullptr;
  CONTEXT readContext_ = {};
  BOOL readOk_ = FALSE;

  uint32_t count_ = 0;
  DWORD ids_[kMaxThreads] = {};
  HANDLE handles_[kMaxThreads] = {};
  uintptr_t eip_[kMaxThreads] = {};
  bool moved_[kMaxThreads] = {};
};

}  // namespace detour

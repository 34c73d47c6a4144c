#include "thread_freezer.h"

#include <cstring>

namespace detour {
namespace {

constexpr ULONG kSystemProcessInformation = 5;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr uint32_t kInitialBufferSize = 1024 * 1024;
constexpr uint32_t kMaxEnumerationRounds = 64;
constexpr DWORD kContextWaitMs = 250;
constexpr DWORD kThreadAccess =
    THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_SET_CONTEXT | THREAD_QUERY_INFORMATION;

// The 32-bit layout of the system's process and thread records.
constexpr uint32_t kProcessNextOffset = 0;
constexpr uint32_t kProcessThreadCount = 4;
constexpr uint32_t kProcessId = 68;
constexpr uint32_t kProcessRecordSize = 184;
constexpr uint32_t kThreadRecordSize = 64;
constexpr uint32_t kThreadIdInRecord = 36;  // CLIENT_ID.UniqueThread

uint32_t ReadU32(const uint8_t* at) {
  uint32_t value;
  memcpy(&value, at, 4);
  return value;
}

}  // namespace

bool ThreadFreezer::Prepare() {
  if (query_ == nullptr) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return false;
    query_ = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    if (query_ == nullptr) return false;
  }
  if (buffer_ == nullptr) {
    buffer_ = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, kInitialBufferSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (buffer_ == nullptr) return false;
    bufferSize_ = kInitialBufferSize;
  }
  if (reader_ == nullptr) {
    request_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    answered_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    stopReader_ = 0;
    if (request_ != nullptr && answered_ != nullptr) {
      reader_ = CreateThread(nullptr, 0, &ContextReader, this, 0, &readerId_);
    }
    if (reader_ == nullptr) {
      if (request_ != nullptr) CloseHandle(request_);
      if (answered_ != nullptr) CloseHandle(answered_);
      request_ = answered_ = nullptr;
      return false;
    }
  }
  return true;
}

void ThreadFreezer::Release() {
  if (reader_ != nullptr) {
    InterlockedExchange(&stopReader_, 1);
    SetEvent(request_);
    // A reader still waiting on a thread it was asked about is left to finish on its own.
    if (WaitForSingleObject(reader_, 1000) == WAIT_OBJECT_0) {
      CloseHandle(request_);
      CloseHandle(answered_);
    }
    CloseHandle(reader_);
    reader_ = nullptr;
    request_ = answered_ = nullptr;
  }
  if (buffer_ != nullptr) VirtualFree(buffer_, 0, MEM_RELEASE);
  buffer_ = nullptr;
  bufferSize_ = 0;
}

DWORD WINAPI ThreadFreezer::ContextReader(LPVOID parameter) {
  ThreadFreezer* self = static_cast<ThreadFreezer*>(parameter);
  HANDLE request = self->request_;
  HANDLE answered = self->answered_;
  for (;;) {
    WaitForSingleObject(request, INFINITE);
    if (self->stopReader_ != 0) return 0;
    const LONG serial = self->requested_;
    memset(&self->readContext_, 0, sizeof(self->readContext_));
    self->readContext_.ContextFlags = CONTEXT_CONTROL;
    self->readOk_ = GetThreadContext(self->readTarget_, &self->readContext_);
    InterlockedExchange(&self->answeredSerial_, serial);
    SetEvent(answered);
  }
}

// Asks the reader for the thread's instruction pointer; false when it could not be read in time.
bool ThreadFreezer::ReadEip(HANDLE thread, uintptr_t& eip) {
  if (answeredSerial_ != requested_) return false;  // an earlier read is still stuck
  readTarget_ = thread;
  const LONG serial = InterlockedIncrement(&requested_);
  SetEvent(request_);
  while (answeredSerial_ != serial) {
    if (WaitForSingleObject(answered_, kContextWaitMs) != WAIT_OBJECT_0) return false;
  }
  if (!readOk_) return false;
  eip = readContext_.Eip;
  return true;
}

// Fills the buffer with the system's process list; grows it with VirtualAlloc, never the heap.
bool ThreadFreezer::QueryThreads() {
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = query_(kSystemProcessInformation, buffer_, bufferSize_, &needed);
    if (status >= 0) return true;
    if (status != kStatusInfoLengthMismatch) return false;
    const uint32_t grown = (needed > bufferSize_ ? needed : bufferSize_) * 2;
    auto* bigger = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, grown, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (bigger == nullptr) return false;
    VirtualFree(buffer_, 0, MEM_RELEASE);
    buffer_ = bigger;
    bufferSize_ = grown;
  }
  return false;
}

bool ThreadFreezer::IsKnown(DWORD threadId) const {
  for (uint32_t i = 0; i < count_; ++i) {
    if (ids_[i] == threadId) return true;
  }
  return false;
}

FreezeResult ThreadFreezer::Freeze() {
  count_ = 0;
  const DWORD self = GetCurrentThreadId();
  const DWORD process = GetCurrentProcessId();
  FreezeResult failure = FreezeResult::kFrozen;

  // A thread started while others were being suspended shows up in the next round.
  for (uint32_t round = 0; failure == FreezeResult::kFrozen; ++round) {
    if (round == kMaxEnumerationRounds || !QueryThreads()) {
      failure = FreezeResult::kQueryFailed;
      break;
    }
    uint32_t added = 0;
    const uint8_t* record = buffer_;
    for (;;) {
      if (ReadU32(record + kProcessId) == process) {
        const uint32_t threads = ReadU32(record + kProcessThreadCount);
        for (uint32_t t = 0; t < threads && failure == FreezeResult::kFrozen; ++t) {
          const DWORD id =
              ReadU32(record + kProcessRecordSize + t * kThreadRecordSize + kThreadIdInRecord);
          if (id == self || id == readerId_ || IsKnown(id)) continue;
          if (count_ == kMaxThreads) {
            failure = FreezeResult::kTooManyThreads;
            break;
          }
          HANDLE handle = OpenThread(kThreadAccess, FALSE, id);
          if (handle == nullptr) {
            if (GetLastError() == ERROR_INVALID_PARAMETER) continue;  // it has exited
            failure = FreezeResult::kThreadNotSuspendable;
            break;
          }
          if (SuspendThread(handle) == static_cast<DWORD>(-1)) {
            DWORD exitCode = 0;
            const bool exited = GetExitCodeThread(handle, &exitCode) && exitCode != STILL_ACTIVE;
            CloseHandle(handle);
            if (exited) continue;
            failure = FreezeResult::kThreadNotSuspendable;
            break;
          }
          ids_[count_] = id;
          handles_[count_] = handle;
          moved_[count_] = false;
          ++count_;
          ++added;
        }
        break;
      }
      const uint32_t next = ReadU32(record + kProcessNextOffset);
      if (next == 0) break;
      record += next;
    }
    if (added == 0) break;
  }

  // Reading the context also waits until a suspension has really taken effect.
  for (uint32_t i = 0; i < count_ && failure == FreezeResult::kFrozen; ++i) {
    if (!ReadEip(handles_[i], eip_[i])) failure = FreezeResult::kContextTimeout;
  }
  if (failure != FreezeResult::kFrozen) {
    for (uint32_t i = 0; i < count_; ++i) moved_[i] = false;
    Unfreeze();
  }
  return failure;
}

void ThreadFreezer::SetEip(uint32_t i, uintptr_t eip) {
  if (eip_[i] == eip) return;
  eip_[i] = eip;
  moved_[i] = true;
}

void ThreadFreezer::Unfreeze() {
  for (uint32_t i = 0; i < count_; ++i) {
    if (moved_[i]) {
      CONTEXT context;
      memset(&context, 0, sizeof(context));
      context.ContextFlags = CONTEXT_CONTROL;
      if (GetThreadContext(handles_[i], &context)) {
        context.Eip = static_cast<DWORD>(eip_[i]);
        SetThreadContext(handles_[i], &context);
      }
    }
    ResumeThread(handles_[i]);
    CloseHandle(handles_[i]);
  }
  count_ = 0;
}

}  // namespace detour

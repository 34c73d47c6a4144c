#include "record/process_sampler.h"

#include <psapi.h>
#include <tlhelp32.h>

#include "record/host_clock.h"
#include "record/host_record.h"

namespace {

constexpr DWORD kIntervalMs = 1000;
constexpr size_t kHandleListBytes = 4 << 20;

ProcessSampler gSampler;

// Wine answers GetProcessHandleCount with 0; the system's handle list has the process's handles.
uint32_t HandleCount(char* buffer, size_t size) {
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0) return handles;
  using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  static const Query query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  constexpr ULONG kSystemHandleInformation = 16;
  struct Entry {
    ULONG process;
    UCHAR type, flags;
    USHORT handle;
    void* object;
    ACCESS_MASK access;
  };
  ULONG length = 0;
  if (query == nullptr ||
      query(kSystemHandleInformation, buffer, static_cast<ULONG>(size), &length) != 0) {
    return 0;
  }
  const ULONG count = *reinterpret_cast<const ULONG*>(buffer);
  const auto* entries = reinterpret_cast<const Entry*>(buffer + sizeof(void*));
  const size_t fit = (size - sizeof(void*)) / sizeof(Entry);
  uint32_t own = 0;
  for (ULONG i = 0; i < count && i < fit; ++i) own += entries[i].process == GetCurrentProcessId() ? 1 : 0;
  return own;
}

uint32_t ThreadCount() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  uint32_t count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
  }
  CloseHandle(snapshot);
  return count;
}

}  // namespace

ProcessSampler& Sampler() { return gSampler; }

ProcessSample SampleProcess(double seconds, char* buffer, size_t size) {
  ProcessSample sample{seconds, 0, 0, 0, 0, 0};
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof(memory))) {
    // Windows gives the same figure twice; Wine fills in only the older field.
    sample.privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    sample.workingSet = memory.WorkingSetSize;
  }
  sample.handles = HandleCount(buffer, size);
  sample.threads = ThreadCount();
  return sample;
}

void ProcessSampler::Start(double loopStartSeconds, const uint32_t* completedTicks, uint32_t capacity,
                           HostRecord* record) {
  record_ = record;
  loopStart_ = loopStartSeconds;
  completedTicks_ = completedTicks;
  samples_.assign(capacity, ProcessSample{});
  // Committed once; only the part a query fills is ever touched.
  handleList_ = static_cast<char*>(VirtualAlloc(nullptr, kHandleListBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, &ProcessSampler::ThreadMain, this, 0, nullptr);
}

DWORD WINAPI ProcessSampler::ThreadMain(void* self) {
  ProcessSampler& s = *static_cast<ProcessSampler*>(self);
  for (bool last = false; static_cast<size_t>(s.taken_) < s.samples_.size();) {
    ProcessSample sample = SampleProcess(HostSeconds() - s.loopStart_, s.handleList_, kHandleListBytes);
    sample.ticks = *s.completedTicks_;
    s.samples_[static_cast<size_t>(s.taken_)] = sample;
    InterlockedIncrement(&s.taken_);
    if (last) break;
    last = WaitForSingleObject(s.stop_, kIntervalMs) != WAIT_TIMEOUT;  // then one more, the end's
  }
  return 0;
}

void ProcessSampler::WriteNew() {
  if (record_ == nullptr) return;
  const uint32_t taken = static_cast<uint32_t>(InterlockedCompareExchange(&taken_, 0, 0));
  for (; written_ < taken; ++written_) {
    const ProcessSample& p = samples_[written_];
    record_->Line("fact process t=%.3f ticks=%u private=%llu working_set=%llu handles=%u threads=%u", p.seconds,
                  p.ticks, static_cast<unsigned long long>(p.privateBytes),
                  static_cast<unsigned long long>(p.workingSet), p.handles, p.threads);
  }
}

void ProcessSampler::Finish() {
  if (thread_ == nullptr) return;
  SetEvent(stop_);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  CloseHandle(stop_);
  thread_ = stop_ = nullptr;
  WriteNew();
}

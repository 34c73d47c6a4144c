// Prints what a hook costs: a call through an enabled hook against the plain call, and one
// MH_ApplyQueued of 18 hooks with 8 other threads in the process. Numbers only, no verdicts.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <vector>

#include "detour.h"

namespace {

double Now() {
  LARGE_INTEGER counter;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// 18 distinct functions with an ordinary frame prologue, like the engine's.
uint8_t* EmitTargets(int count) {
  auto* code = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  for (int i = 0; i < count; ++i) {
    const uint8_t body[] = {0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x40, 0x5D, 0xC3};
    memcpy(code + 64 * i, body, sizeof(body));
  }
  return code;
}

int (*gOriginal)(int) = nullptr;
int __attribute__((noinline)) PassThroughDetour(int x) { return gOriginal(x); }

DWORD WINAPI Idle(void* stop) {
  WaitForSingleObject(static_cast<HANDLE>(stop), INFINITE);
  return 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  constexpr int kHooks = 18;
  constexpr int kCalls = 20000000;
  uint8_t* targets = EmitTargets(kHooks);
  int (*volatile target)(int) = reinterpret_cast<int (*)(int)>(targets);

  double start = Now();
  int sink = 0;
  for (int i = 0; i < kCalls; ++i) sink += target(i);
  const double plain = (Now() - start) / kCalls;

  MH_Initialize();
  MH_CreateHook(targets, reinterpret_cast<void*>(&PassThroughDetour),
                reinterpret_cast<void**>(&gOriginal));
  MH_EnableHook(targets);
  start = Now();
  for (int i = 0; i < kCalls; ++i) sink += target(i);
  const double hooked = (Now() - start) / kCalls;
  MH_RemoveHook(targets);

  std::printf("call: plain %.2f ns, through enabled hook %.2f ns, ratio %.2f (checksum %d)\n",
              plain * 1e9, hooked * 1e9, hooked / plain, sink & 1);

  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE threads[8];
  for (HANDLE& t : threads) t = CreateThread(nullptr, 0, &Idle, stop, 0, nullptr);
  void* original = nullptr;
  for (int i = 0; i < kHooks; ++i) {
    MH_CreateHook(targets + 64 * i, reinterpret_cast<void*>(&PassThroughDetour), &original);
  }
  std::vector<double> enable;
  std::vector<double> disable;
  for (int round = 0; round < 50; ++round) {
    MH_QueueEnableHook(MH_ALL_HOOKS);
    start = Now();
    MH_ApplyQueued();
    enable.push_back(Now() - start);
    MH_QueueDisableHook(MH_ALL_HOOKS);
    start = Now();
    MH_ApplyQueued();
    disable.push_back(Now() - start);
  }
  std::printf("MH_ApplyQueued, %d hooks, 8 idle threads: enable median %.3f ms, disable median %.3f ms\n",
              kHooks, Median(enable) * 1e3, Median(disable) * 1e3);
  SetEvent(stop);
  WaitForMultipleObjects(8, threads, TRUE, INFINITE);
  MH_Uninitialize();
  return 0;
}

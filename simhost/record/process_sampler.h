#pragma once
// The process as the system sees it, once a second: private bytes, working set, handles and
// threads. A thread of the game takes the samples into storage sized before it starts (so
// sampling itself never grows the process); the main thread writes them into the record as
// "fact process" lines between frames and at the end.

#include <windows.h>

#include <cstdint>
#include <vector>

class HostRecord;

struct ProcessSample {
  double seconds;  // since the loop started
  uint32_t ticks;  // the game's completed ticks then
  uint64_t privateBytes;
  uint64_t workingSet;
  uint32_t handles;
  uint32_t threads;
};

// `buffer` holds the system's handle list where the handle count needs it.
ProcessSample SampleProcess(double seconds, char* buffer, size_t size);

class ProcessSampler {
 public:
  // Samples at once, then every second, for at most `capacity` samples; each sample carries the
  // game's completed ticks as `completedTicks` holds them then.
  void Start(double loopStartSeconds, const uint32_t* completedTicks, uint32_t capacity, HostRecord* record);
  // Writes the samples taken since the last call (main thread only).
  void WriteNew();
  // Has the thread take a last sample and end, and writes what is left.
  void Finish();

 private:
  static DWORD WINAPI ThreadMain(void* self);

  HostRecord* record_ = nullptr;
  double loopStart_ = 0;
  const uint32_t* completedTicks_ = nullptr;
  HANDLE thread_ = nullptr;
  HANDLE stop_ = nullptr;
  std::vector<ProcessSample> samples_;
  char* handleList_ = nullptr;
  volatile LONG taken_ = 0;
  uint32_t written_ = 0;
};

ProcessSampler& Sampler();

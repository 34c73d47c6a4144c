#pragma once
// A full disk under the plug-in: at a write_fault event's tick the game fills the free space of
// the device that holds the plug-in's folder with a file of its own, so every write the plug-in
// makes there (its log, its motion trace) fails at the system call as on a full disk of Windows:
// ERROR_DISK_FULL, or a short count where a file's last allocated page still has room. After the
// event's duration (and, with write_fault_frames, at least that many frames) the game empties its
// file and writing works again. The game fills only a small device (at most kMaxFillBytes free),
// never a real disk. Each fault ends in a fact line with the ticks and frames it spanned.

#include <cstdint>
#include <string>
#include <vector>

#include "scenarios/scenario.h"

class HostRecord;

class WriteFaultRig {
 public:
  static constexpr uint64_t kMaxFillBytes = 64ull << 20;

  void Init(const Scenario& scenario, HostRecord* record);
  // The plug-in's path as the game loaded it; the fault fills that folder's device.
  void SetPluginPath(const std::wstring& plugin);
  // The loop's start: fault times are kept from it, as the frame lines' are.
  void LoopStarted(double loopStartSeconds) { loopStart_ = loopStartSeconds; }
  void AfterFrame(uint32_t completedTicks, uint32_t frames);
  // Ends a fault still running, so the plug-in's last report can be written.
  void Finish(uint32_t completedTicks, uint32_t frames);
  // How long faults have lasted so far; the scenario's duration does not count it.
  double FaultSeconds() const;

 private:
  struct Fault {
    uint32_t tick;
    uint32_t duration;
    bool started;
    bool ended;
    uint32_t startTick, startFrame;
    uint64_t filledBytes;
    uint32_t fillError;
    double startWall, endWall, fillSeconds;
  };
  void Start(Fault& fault, uint32_t completedTicks, uint32_t frames);
  void End(Fault& fault, uint32_t completedTicks, uint32_t frames);

  std::vector<Fault> faults_;
  uint32_t minFrames_ = 0;
  std::wstring folder_;
  HostRecord* record_ = nullptr;
  double loopStart_ = 0;
  void* fill_ = nullptr;  // the game's handle on its filling file while a fault runs
};

WriteFaultRig& WriteFaults();

#include "files/write_fault_rig.h"

#include <windows.h>

#include <cstdio>

#include "record/host_clock.h"
#include "record/host_record.h"

namespace {

WriteFaultRig gWriteFaults;

constexpr uint32_t kFillChunk = 1u << 20;
char gZeros[kFillChunk];

uint64_t FreeBytes(const std::wstring& folder) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return UINT64_MAX;
  return available.QuadPart;
}

}  // namespace

WriteFaultRig& WriteFaults() { return gWriteFaults; }

void WriteFaultRig::Init(const Scenario& scenario, HostRecord* record) {
  record_ = record;
  minFrames_ = scenario.writeFaultFrames;
  for (const CameraEvent& e : scenario.events) {
    if (e.name == "write_fault") faults_.push_back(Fault{e.tick, e.duration, false, false, 0, 0, 0, 0, 0, 0, 0});
  }
}

void WriteFaultRig::SetPluginPath(const std::wstring& plugin) {
  const size_t separator = plugin.find_last_of(L"\\/");
  folder_ = separator == std::wstring::npos ? L"." : plugin.substr(0, separator);
}

void WriteFaultRig::AfterFrame(uint32_t completedTicks, uint32_t frames) {
  for (Fault& fault : faults_) {
    if (!fault.started && fill_ == nullptr && completedTicks >= fault.tick) {
      Start(fault, completedTicks, frames);
    } else if (fault.started && !fault.ended && completedTicks >= fault.startTick + fault.duration &&
               frames >= fault.startFrame + minFrames_) {
      End(fault, completedTicks, frames);
    }
  }
}

void WriteFaultRig::Finish(uint32_t completedTicks, uint32_t frames) {
  for (Fault& fault : faults_) {
    if (fault.started && !fault.ended) End(fault, completedTicks, frames);
  }
}

double WriteFaultRig::FaultSeconds() const {
  double seconds = 0;
  for (const Fault& fault : faults_) {
    if (!fault.started) continue;
    seconds += (fault.ended ? fault.endWall : HostSeconds() - loopStart_) - fault.startWall;
  }
  return seconds;
}

void WriteFaultRig::Start(Fault& fault, uint32_t completedTicks, uint32_t frames) {
  fault.started = true;
  fault.startTick = completedTicks;
  fault.startFrame = frames;
  fault.startWall = HostSeconds() - loopStart_;
  const uint64_t available = FreeBytes(folder_);
  char detail[160];
  std::snprintf(detail, sizeof(detail), "the plug-in's folder has %llu bytes free; at most %llu may be filled",
                static_cast<unsigned long long>(available), static_cast<unsigned long long>(kMaxFillBytes));
  record_->Invariant("write-fault-small-device", available <= kMaxFillBytes, detail);
  if (available > kMaxFillBytes) {
    fault.ended = true;
    fault.endWall = fault.startWall;
    return;
  }
  // Deleted on close, so even a game that dies mid-fault leaves the device as it was.
  HANDLE fill = CreateFileW((folder_ + L"\\write_fault.fill").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (fill == INVALID_HANDLE_VALUE) {
    record_->Invariant("write-fault-filled", false, "the filling file could not be created");
    fault.ended = true;
    fault.endWall = fault.startWall;
    return;
  }
  fill_ = fill;
  const double start = HostSeconds();
  DWORD written = 0;
  while (fault.filledBytes <= kMaxFillBytes && WriteFile(fill, gZeros, kFillChunk, &written, nullptr) &&
         written > 0) {
    fault.filledBytes += written;
  }
  // A device that refuses a chunk it cannot take whole is filled page by page to its last.
  while (fault.filledBytes <= kMaxFillBytes && WriteFile(fill, gZeros, 4096, &written, nullptr) && written > 0) {
    fault.filledBytes += written;
  }
  fault.fillError = GetLastError();
  fault.fillSeconds = HostSeconds() - start;
  std::snprintf(detail, sizeof(detail), "filling the device ended with Win32 error %u after %llu bytes",
                fault.fillError, static_cast<unsigned long long>(fault.filledBytes));
  record_->Invariant("write-fault-filled", fault.fillError == ERROR_DISK_FULL && FreeBytes(folder_) == 0, detail);
}

void WriteFaultRig::End(Fault& fault, uint32_t completedTicks, uint32_t frames) {
  fault.ended = true;
  fault.endWall = HostSeconds() - loopStart_;
  if (fill_ == nullptr) return;
  // Emptying the file gives the device's space back at once; the handle's close removes it.
  HANDLE fill = static_cast<HANDLE>(fill_);
  LARGE_INTEGER zero{};
  const bool emptied = SetFilePointerEx(fill, zero, nullptr, FILE_BEGIN) && SetEndOfFile(fill);
  CloseHandle(fill);
  fill_ = nullptr;
  // Not judged by the free space: the plug-in may be writing into it already.
  record_->Invariant("write-fault-released", emptied, "the game's filling file was emptied");
  record_->Line("fact write_fault start_tick=%u end_tick=%u start_frame=%u end_frame=%u filled=%llu error=%u "
                "start_wall=%.7f end_wall=%.7f fill_us=%.0f loop_start_seconds=%.9f",
                fault.startTick, completedTicks, fault.startFrame, frames,
                static_cast<unsigned long long>(fault.filledBytes), fault.fillError, fault.startWall, fault.endWall,
                fault.fillSeconds * 1e6, loopStart_);
}

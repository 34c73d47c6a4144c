// The MinHook-style API over the hook table: creation builds the trampoline, every enable and
// disable goes through one patch pass while all other threads are suspended.
#include <windows.h>

#include <cstring>

#include "detour.h"
#include "executable_memory.h"
#include "thread_freezer.h"
#include "trampoline.h"

namespace detour {
namespace {

constexpr uint32_t kMaxHooks = 1024;
constexpr int kFreezeRetries = 20;
constexpr DWORD kExecuteProtections = 0xF0;
constexpr DWORD kReadableExecuteProtections = 0xE0;  // execute-read, -read-write, -write-copy
constexpr DWORD kInaccessible = PAGE_NOACCESS | PAGE_GUARD;

struct HookEntry {
  uint8_t* target;
  void* detour;
  uint8_t* trampolineCode;
  Trampoline trampoline;
  uint8_t original[kTrampolineCapacity];  // the copied target bytes as they were at creation
  uint8_t jump[kPatchLength];
  bool enabled;
  bool queueEnable;
};

struct Engine {
  SRWLOCK lock = SRWLOCK_INIT;
  bool initialized = false;
  uint32_t hookCount = 0;
  HookEntry hooks[kMaxHooks];
  ExecutableMemory memory;
  ThreadFreezer freezer;
  // The most recent MH_CreateHook refused as unsupported: its target and why.
  const void* refusedTarget = nullptr;
  const char* refusalText = nullptr;
  // Scratch for one patch pass, filled before threads are frozen.
  uint32_t changeIndex[kMaxHooks];
  bool changeEnable[kMaxHooks];
};

Engine gEngine;

class EngineLock {
 public:
  EngineLock() { AcquireSRWLockExclusive(&gEngine.lock); }
  ~EngineLock() { ReleaseSRWLockExclusive(&gEngine.lock); }
  EngineLock(const EngineLock&) = delete;
  EngineLock& operator=(const EngineLock&) = delete;
};

bool IsCommittedExecutable(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  return address != nullptr && VirtualQuery(address, &info, sizeof(info)) == sizeof(info) &&
         info.State == MEM_COMMIT && (info.Protect & kExecuteProtections) != 0 &&
         (info.Protect & kInaccessible) == 0;
}

// How many bytes from address on can be read as code, up to limit, region by region.
size_t ReadableCodeBytes(const uint8_t* address, size_t limit) {
  size_t total = 0;
  while (total < limit) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(address + total, &info, sizeof(info)) != sizeof(info) ||
        info.State != MEM_COMMIT || (info.Protect & kReadableExecuteProtections) == 0 ||
        (info.Protect & kInaccessible) != 0) {
      break;
    }
    total = static_cast<size_t>(static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize -
                                address);
  }
  return total < limit ? total : limit;
}

int FindHook(const void* target) {
  for (uint32_t i = 0; i < gEngine.hookCount; ++i) {
    if (gEngine.hooks[i].target == target) return static_cast<int>(i);
  }
  return -1;
}

MH_STATUS StatusOf(FreezeResult result) {
  return result == FreezeResult::kTooManyThreads ? MH_ERROR_MEMORY_ALLOC : MH_UNKNOWN;
}

void MoveThreads(const HookEntry& hook, bool enabling) {
  ThreadFreezer& freezer = gEngine.freezer;
  const auto target = reinterpret_cast<uintptr_t>(hook.target);
  const auto trampoline = reinterpret_cast<uintptr_t>(hook.trampolineCode);
  for (uint32_t t = 0; t < freezer.count(); ++t) {
    const uintptr_t eip = freezer.Eip(t);
    freezer.SetEip(t, enabling ? MapTargetToTrampoline(hook.trampoline, target, trampoline, eip)
                               : MapTrampolineToTarget(hook.trampoline, target, trampoline, eip));
  }
}

bool WriteCode(uint8_t* at, const uint8_t* bytes, uint32_t length) {
  DWORD previous = 0;
  if (!VirtualProtect(at, length, PAGE_EXECUTE_READWRITE, &previous)) return false;
  memcpy(at, bytes, length);
  DWORD ignored = 0;
  VirtualProtect(at, length, previous, &ignored);
  FlushInstructionCache(GetCurrentProcess(), at, length);
  return true;
}

// Applies the changes listed in changeIndex/changeEnable in one suspension. Nothing here may
// allocate or log while threads are frozen.
MH_STATUS ApplyChanges(uint32_t changes) {
  if (changes == 0) return MH_OK;
  FreezeResult frozen = gEngine.freezer.Freeze();
  // A thread caught starting up cannot report where it stands yet; it will a moment later.
  for (int retry = 0; frozen == FreezeResult::kContextTimeout && retry < kFreezeRetries; ++retry) {
    Sleep(10);
    frozen = gEngine.freezer.Freeze();
  }
  if (frozen != FreezeResult::kFrozen) return StatusOf(frozen);

  // Someone else may have patched a target since it was hooked: then nothing is written.
  for (uint32_t c = 0; c < changes; ++c) {
    const HookEntry& hook = gEngine.hooks[gEngine.changeIndex[c]];
    const bool unchanged =
        gEngine.changeEnable[c]
            ? memcmp(hook.target, hook.original, hook.trampoline.copiedLength) == 0
            : memcmp(hook.target, hook.jump, kPatchLength) == 0;
    if (!unchanged) {
      gEngine.freezer.Unfreeze();
      return MH_ERROR_UNSUPPORTED_FUNCTION;
    }
  }
  MH_STATUS status = MH_OK;
  for (uint32_t c = 0; c < changes && status == MH_OK; ++c) {
    HookEntry& hook = gEngine.hooks[gEngine.changeIndex[c]];
    const bool enable = gEngine.changeEnable[c];
    if (!WriteCode(hook.target, enable ? hook.jump : hook.original, kPatchLength)) {
      status = MH_ERROR_MEMORY_PROTECT;
      break;
    }
    MoveThreads(hook, enable);
    hook.enabled = enable;
    hook.queueEnable = enable;
  }
  gEngine.freezer.Unfreeze();
  return status;
}

// Collects the hooks (one, or all for MH_ALL_HOOKS) whose state differs from the wanted one.
MH_STATUS SetEnabled(void* target, bool enable) {
  if (!gEngine.initialized) return MH_ERROR_NOT_INITIALIZED;
  uint32_t changes = 0;
  if (target == MH_ALL_HOOKS) {
    for (uint32_t i = 0; i < gEngine.hookCount; ++i) {
      if (gEngine.hooks[i].enabled == enable) continue;
      gEngine.changeIndex[changes] = i;
      gEngine.changeEnable[changes++] = enable;
    }
  } else {
    const int index = FindHook(target);
    if (index < 0) return MH_ERROR_NOT_CREATED;
    if (gEngine.hooks[index].enabled == enable) {
      return enable ? MH_ERROR_ENABLED : MH_ERROR_DISABLED;
    }
    gEngine.changeIndex[0] = static_cast<uint32_t>(index);
    gEngine.changeEnable[0] = enable;
    changes = 1;
  }
  return ApplyChanges(changes);
}

MH_STATUS Queue(void* target, bool enable) {
  if (!gEngine.initialized) return MH_ERROR_NOT_INITIALIZED;
  if (target == MH_ALL_HOOKS) {
    for (uint32_t i = 0; i < gEngine.hookCount; ++i) gEngine.hooks[i].queueEnable = enable;
    return MH_OK;
  }
  const int index = FindHook(target);
  if (index < 0) return MH_ERROR_NOT_CREATED;
  gEngine.hooks[index].queueEnable = enable;
  return MH_OK;
}

void DiscardHook(uint32_t index) {
  gEngine.memory.FreeSlot(gEngine.hooks[index].trampolineCode);
  gEngine.hooks[index] = gEngine.hooks[--gEngine.hookCount];
}

}  // namespace
}  // namespace detour

using detour::gEngine;

extern "C" {

MH_STATUS MH_Initialize(void) {
  detour::EngineLock lock;
  if (gEngine.initialized) return MH_ERROR_ALREADY_INITIALIZED;
  if (!gEngine.freezer.Prepare()) return MH_ERROR_MEMORY_ALLOC;
  gEngine.hookCount = 0;
  gEngine.initialized = true;
  return MH_OK;
}

MH_STATUS MH_Uninitialize(void) {
  detour::EngineLock lock;
  if (!gEngine.initialized) return MH_ERROR_NOT_INITIALIZED;
  const MH_STATUS status = detour::SetEnabled(MH_ALL_HOOKS, false);
  if (status != MH_OK) return status;  // trampolines may still be in use: keep everything
  while (gEngine.hookCount > 0) detour::DiscardHook(gEngine.hookCount - 1);
  gEngine.memory.ReleaseAll();
  gEngine.freezer.Release();
  gEngine.initialized = false;
  return MH_OK;
}

MH_STATUS MH_CreateHook(void* pTarget, void* pDetour, void** ppOriginal) {
  detour::EngineLock lock;
  if (!gEngine.initialized) return MH_ERROR_NOT_INITIALIZED;
  if (!detour::IsCommittedExecutable(pTarget) || !detour::IsCommittedExecutable(pDetour)) {
    return MH_ERROR_NOT_EXECUTABLE;
  }
  if (detour::FindHook(pTarget) >= 0) return MH_ERROR_ALREADY_CREATED;
  if (gEngine.hookCount == detour::kMaxHooks) return MH_ERROR_MEMORY_ALLOC;

  auto* target = static_cast<uint8_t*>(pTarget);
  const size_t readable = detour::ReadableCodeBytes(
      target, detour::kBranchScanLength + detour::kTrampolineCapacity);
  auto* slot = static_cast<uint8_t*>(gEngine.memory.AllocateSlot());
  if (slot == nullptr) return MH_ERROR_MEMORY_ALLOC;

  detour::HookEntry& hook = gEngine.hooks[gEngine.hookCount];
  const detour::TrampolineResult built =
      detour::BuildTrampoline(target, readable, reinterpret_cast<uintptr_t>(slot), hook.trampoline);
  if (built != detour::TrampolineResult::kBuilt) {
    gEngine.memory.FreeSlot(slot);
    gEngine.refusedTarget = pTarget;
    gEngine.refusalText = detour::TrampolineRefusalText(built);
    return MH_ERROR_UNSUPPORTED_FUNCTION;
  }
  memcpy(slot, hook.trampoline.code, hook.trampoline.codeLength);
  FlushInstructionCache(GetCurrentProcess(), slot, hook.trampoline.codeLength);

  hook.target = target;
  hook.detour = pDetour;
  hook.trampolineCode = slot;
  memcpy(hook.original, target, hook.trampoline.copiedLength);
  hook.jump[0] = 0xE9;
  const int32_t displacement = static_cast<int32_t>(reinterpret_cast<uintptr_t>(pDetour) -
                                                    reinterpret_cast<uintptr_t>(target + 5));
  memcpy(hook.jump + 1, &displacement, 4);
  hook.enabled = false;
  hook.queueEnable = false;
  ++gEngine.hookCount;
  if (ppOriginal != nullptr) *ppOriginal = slot;
  return MH_OK;
}

MH_STATUS MH_RemoveHook(void* pTarget) {
  detour::EngineLock lock;
  if (!gEngine.initialized) return MH_ERROR_NOT_INITIALIZED;
  const int index = detour::FindHook(pTarget);
  if (index < 0) return MH_ERROR_NOT_CREATED;
  if (gEngine.hooks[index].enabled) {
    const MH_STATUS status = detour::SetEnabled(pTarget, false);
    if (status != MH_OK) return status;
  }
  detour::DiscardHook(static_cast<uint32_t>(index));
  return MH_OK;
}

MH_STATUS MH_EnableHook(void* pTarget) {
  detour::EngineLock lock;
  return detour::SetEnabled(pTarget, true);
}

MH_STATUS MH_DisableHook(void* pTarget) {
  detour::EngineLock lock;
  return detour::SetEnabled(pTarget, false);
}

MH_STATUS MH_QueueEnableHook(void* pTarget) {
  detour::EngineLock lock;
  return detour::Queue(pTarget, true);
}

MH_STATUS MH_QueueDisableHook(void* pTarget) {
  detour::EngineLock lock;
  return detour::Queue(pTarget, false);
}

MH_STATUS MH_ApplyQueued(void) {
  detour::EngineLock lock;
  if (!gEngine.initialized) return MH_ERROR_NOT_INITIALIZED;
  uint32_t changes = 0;
  for (uint32_t i = 0; i < gEngine.hookCount; ++i) {
    const detour::HookEntry& hook = gEngine.hooks[i];
    if (hook.enabled == hook.queueEnable) continue;
    gEngine.changeIndex[changes] = i;
    gEngine.changeEnable[changes++] = hook.queueEnable;
  }
  return detour::ApplyChanges(changes);
}

const char* MH_UnsupportedReason(void* pTarget) {
  detour::EngineLock lock;
  return pTarget != nullptr && pTarget == gEngine.refusedTarget ? gEngine.refusalText : nullptr;
}

const char* MH_StatusToString(MH_STATUS status) {
  switch (status) {
    case MH_UNKNOWN: return "MH_UNKNOWN";
    case MH_OK: return "MH_OK";
    case MH_ERROR_ALREADY_INITIALIZED: return "MH_ERROR_ALREADY_INITIALIZED";
    case MH_ERROR_NOT_INITIALIZED: return "MH_ERROR_NOT_INITIALIZED";
    case MH_ERROR_ALREADY_CREATED: return "MH_ERROR_ALREADY_CREATED";
    case MH_ERROR_NOT_CREATED: return "MH_ERROR_NOT_CREATED";
    case MH_ERROR_ENABLED: return "MH_ERROR_ENABLED";
    case MH_ERROR_DISABLED: return "MH_ERROR_DISABLED";
    case MH_ERROR_NOT_EXECUTABLE: return "MH_ERROR_NOT_EXECUTABLE";
    case MH_ERROR_UNSUPPORTED_FUNCTION: return "MH_ERROR_UNSUPPORTED_FUNCTION";
    case MH_ERROR_MEMORY_ALLOC: return "MH_ERROR_MEMORY_ALLOC";
    case MH_ERROR_MEMORY_PROTECT: return "MH_ERROR_MEMORY_PROTECT";
    case MH_ERROR_MODULE_NOT_FOUND: return "MH_ERROR_MODULE_NOT_FOUND";
    case MH_ERROR_FUNCTION_NOT_FOUND: return "MH_ERROR_FUNCTION_NOT_FOUND";
  }
  return "(unknown)";
}

}  // extern "C"

#pragma once
// Detour: a small x86-32 function-hooking library with MinHook's public API.
//
// Supports: targets and detours in committed executable memory; prologues of whole instructions
// (legacy prefixes, the one-byte, 0F, 0F 38 and 0F 3A maps, 3DNow!, x87, VEX, EVEX) relocated
// into an engine-owned trampoline, with relative CALL/JMP/Jcc re-targeted (short forms widened) and
// branches between copied instructions kept inside the trampoline; enabling and disabling many
// hooks at once while every other thread of the process is suspended, moving threads that stand
// inside patched bytes to the equivalent instruction.
//
// Refuses (MH_ERROR_UNSUPPORTED_FUNCTION, the reason in MH_UnsupportedReason): bytes the decoder
// refuses, LOOP/JECXZ/JCXZ that leave the copied range, relative branches with a 16-bit operand
// size, XBEGIN, a function that ends (RET/JMP) before 5 bytes, a branch back into the bytes to be
// patched from the code that follows (decoded linearly for up to 256 bytes or until the first
// refused byte), and an enable or disable whose target bytes were changed by someone else since
// the hook was created.
// A thread that cannot be suspended makes the whole apply fail (MH_UNKNOWN) with nothing patched.

#ifdef __cplusplus
extern "C" {
#endif

typedef enum MH_STATUS {
  MH_UNKNOWN = -1,
  MH_OK = 0,
  MH_ERROR_ALREADY_INITIALIZED,
  MH_ERROR_NOT_INITIALIZED,
  MH_ERROR_ALREADY_CREATED,
  MH_ERROR_NOT_CREATED,
  MH_ERROR_ENABLED,
  MH_ERROR_DISABLED,
  MH_ERROR_NOT_EXECUTABLE,
  MH_ERROR_UNSUPPORTED_FUNCTION,
  MH_ERROR_MEMORY_ALLOC,
  MH_ERROR_MEMORY_PROTECT,
  MH_ERROR_MODULE_NOT_FOUND,
  MH_ERROR_FUNCTION_NOT_FOUND
} MH_STATUS;

// Stands for every created hook in the enable, disable and queue calls.
#define MH_ALL_HOOKS ((void*)0)

MH_STATUS MH_Initialize(void);
// Disables and removes every hook and frees the trampolines.
MH_STATUS MH_Uninitialize(void);

// Builds the trampoline; *ppOriginal receives it: calling it runs the target's own code.
MH_STATUS MH_CreateHook(void* pTarget, void* pDetour, void** ppOriginal);
MH_STATUS MH_RemoveHook(void* pTarget);

MH_STATUS MH_EnableHook(void* pTarget);
MH_STATUS MH_DisableHook(void* pTarget);

// Queued changes take effect together, under one thread suspension, in MH_ApplyQueued.
MH_STATUS MH_QueueEnableHook(void* pTarget);
MH_STATUS MH_QueueDisableHook(void* pTarget);
MH_STATUS MH_ApplyQueued(void);

// "MH_OK", "MH_ERROR_NOT_EXECUTABLE", ...; "(unknown)" for any other value.
const char* MH_StatusToString(MH_STATUS status);

// Not in MinHook: why the most recent MH_CreateHook that returned MH_ERROR_UNSUPPORTED_FUNCTION
// refused pTarget, in words (static text); NULL when that refusal was for another target.
const char* MH_UnsupportedReason(void* pTarget);

#ifdef __cplusplus
}
#endif

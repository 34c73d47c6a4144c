// Hooks functions that begin with the engine's own prologues and proves, register by register,
// that the relocated prologue in the trampoline behaves exactly like the original.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "code_buffer.h"
#include "detour.h"
#include "host/signature_table.h"
#include "instruction_decoder.h"

extern "C" uint32_t CallWithObject(void* function, void* object, uint32_t argument);

namespace detour {
namespace {

using test::CodeBuffer;

// What a generated function saw after its prologue: registers, flags, x87 state, frame.
struct Observation {
  uint32_t eax, edx, esi, ebx, ecx, edi, flags, fpuStatus, frameDepth, stackTop;
  float st0;
  uint32_t returned;

  bool operator==(const Observation& o) const { return memcmp(this, &o, sizeof(o)) == 0; }
};

Observation gRecord;
alignas(16) uint8_t gObject[0x1000];

struct Prologue {
  std::vector<uint8_t> bytes;
  bool frame = false;       // push ebp; mov ebp, esp
  bool pushesEsi = false;   // push esi first
  bool reservesStack = false;
  int callOffset = -1;      // a relative CALL's position inside the prologue
};

// The whole instructions that a 5-byte patch covers, as the trampoline will copy them.
Prologue CopiedPrologue(const uint8_t* pattern, const char* mask, uint32_t length) {
  std::vector<uint8_t> bytes(pattern, pattern + length);
  for (uint32_t i = 0; i < length; ++i) {
    if (mask[i] != 'x') bytes[i] = 0x90;
  }
  Prologue p;
  size_t offset = 0;
  while (offset < 5) {
    DecodedInstruction d;
    EXPECT_TRUE(DecodeInstruction(bytes.data() + offset, length - offset, d));
    if (d.branch == BranchKind::kCall) p.callOffset = static_cast<int>(offset);
    if ((d.opcode == 0x83 || d.opcode == 0x81) && d.modrm == 0xEC) {  // sub esp, n
      p.reservesStack = true;
    }
    offset += d.length;
  }
  p.bytes.assign(bytes.begin(), bytes.begin() + offset);
  p.frame = p.bytes.size() >= 3 && p.bytes[0] == 0x55 && p.bytes[1] == 0x8B && p.bytes[2] == 0xEC;
  p.pushesEsi = p.bytes[0] == 0x56;
  return p;
}

// prologue; record everything; undo the frame; return.
void* EmitFunction(CodeBuffer& code, const Prologue& p) {
  uint8_t* start = code.cursor();
  code.Emit(p.bytes.data(), p.bytes.size());
  auto* r = reinterpret_cast<uint8_t*>(&gRecord);
  code.Emit({0x9C, 0x8F, 0x05}).EmitAddress(r + offsetof(Observation, flags));  // pushfd; pop [m]
  code.Emit({0xA3}).EmitAddress(r + offsetof(Observation, eax));
  code.Emit({0x89, 0x15}).EmitAddress(r + offsetof(Observation, edx));
  code.Emit({0x89, 0x35}).EmitAddress(r + offsetof(Observation, esi));
  code.Emit({0x89, 0x1D}).EmitAddress(r + offsetof(Observation, ebx));
  code.Emit({0x89, 0x0D}).EmitAddress(r + offsetof(Observation, ecx));
  code.Emit({0x89, 0x3D}).EmitAddress(r + offsetof(Observation, edi));
  code.Emit({0xD9, 0x15}).EmitAddress(r + offsetof(Observation, st0));  // fst dword [m]
  code.Emit({0xDF, 0xE0});                                              // fnstsw ax
  code.Emit({0xA3}).EmitAddress(r + offsetof(Observation, fpuStatus));
  code.Emit({0xDB, 0xE3});                                              // fninit
  if (p.frame) {
    code.Emit({0x8B, 0xC5, 0x2B, 0xC4});  // mov eax, ebp; sub eax, esp
    code.Emit({0xA3}).EmitAddress(r + offsetof(Observation, frameDepth));
    if (!p.reservesStack) {  // only pushed values are defined
      code.Emit({0x8B, 0x04, 0x24, 0xA3}).EmitAddress(r + offsetof(Observation, stackTop));
    }
    code.Emit({0x8B, 0xE5, 0x5D, 0xC3});  // mov esp, ebp; pop ebp; ret
  } else if (p.pushesEsi) {
    code.Emit({0x5E, 0xC3});
  } else {
    code.Emit({0xC3});
  }
  if (p.callOffset >= 0) {
    // The prologue's call must still reach its own callee when it runs from the trampoline.
    const uint8_t* call = start + p.callOffset;
    int32_t displacement;
    memcpy(&displacement, call + 1, 4);
    uint8_t* callee = const_cast<uint8_t*>(call) + 5 + displacement;
    EXPECT_GT(callee, code.cursor());
    callee[0] = 0xFF;  // inc dword [object + 0x70]; ret
    callee[1] = 0x05;
    uint8_t* field = gObject + 0x70;
    memcpy(callee + 2, &field, 4);
    callee[6] = 0xC3;
  }
  code.SetCursor(0x200);
  return start;
}

Observation Run(void* function) {
  gRecord = Observation{};
  for (size_t i = 0; i < sizeof(gObject); ++i) gObject[i] = static_cast<uint8_t>(i * 7 + 3);
  float argument = 1.5f;
  uint32_t bits;
  memcpy(&bits, &argument, 4);
  gRecord.returned = 0;
  asm volatile("fninit");  // sticky x87 flags from earlier code must not tell the runs apart
  const uint32_t returned = CallWithObject(function, gObject, bits);
  Observation seen = gRecord;
  seen.returned = returned;
  uint32_t calls;
  memcpy(&calls, gObject + 0x70, 4);
  seen.returned ^= calls;  // the callee's mark counts too
  return seen;
}

void HookAndCompare(const char* label, const Prologue& prologue) {
  SCOPED_TRACE(label);
  CodeBuffer code;
  void* function = EmitFunction(code, prologue);
  volatile long detourCalls = 0;
  void* original = nullptr;
  void* detour = test::EmitCountingDetour(code, &detourCalls, &original);
  std::vector<uint8_t> pristine(static_cast<uint8_t*>(function),
                                static_cast<uint8_t*>(function) + 16);
  code.Protect(PAGE_EXECUTE_READ);

  const Observation direct = Run(function);
  ASSERT_EQ(MH_CreateHook(function, detour, &original), MH_OK);
  ASSERT_EQ(MH_EnableHook(function), MH_OK);
  EXPECT_EQ(static_cast<uint8_t*>(function)[0], 0xE9);
  MEMORY_BASIC_INFORMATION info;
  VirtualQuery(function, &info, sizeof(info));
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE_READ)) << "protection restored";
  EXPECT_TRUE(Run(function) == direct) << "through detour and trampoline";
  EXPECT_EQ(detourCalls, 1);
  EXPECT_TRUE(Run(original) == direct) << "trampoline alone";
  EXPECT_EQ(detourCalls, 1);
  ASSERT_EQ(MH_DisableHook(function), MH_OK);
  EXPECT_TRUE(Run(function) == direct) << "disabled";
  EXPECT_EQ(detourCalls, 1);
  EXPECT_EQ(memcmp(function, pristine.data(), pristine.size()), 0) << "bytes restored";
  ASSERT_EQ(MH_RemoveHook(function), MH_OK);
}

class SignaturePrologues : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(MH_Initialize(), MH_OK); }
  void TearDown() override { EXPECT_EQ(MH_Uninitialize(), MH_OK); }
};

TEST_F(SignaturePrologues, EveryFormRunsTheSameThroughTheTrampoline) {
  const driftglass::SignatureSpec* table = driftglass::SignatureTable();
  for (uint32_t i = 0; i < driftglass::kSignatureCount; ++i) {
    const driftglass::SignatureSpec& s = table[i];
    char label[128];
    snprintf(label, sizeof(label), "%ls", s.name);
    HookAndCompare(label, CopiedPrologue(s.pattern, s.mask, s.patternLength));
    if (s.alternative != nullptr) {
      snprintf(label, sizeof(label), "%ls (alternative)", s.name);
      HookAndCompare(label, CopiedPrologue(s.alternative, s.alternativeMask, s.alternativeLength));
    }
  }
}

// The two engine functions that are complete within their signature run as they are.
TEST_F(SignaturePrologues, CompleteEngineFunctions) {
  struct Object {
    uint8_t bytes[0x400];
  } object{};
  void* const parentValue = reinterpret_cast<void*>(0x12345678);
  memcpy(object.bytes + 0x288, &parentValue, 4);

  for (const uint8_t displacement : {0x78, 0x68}) {  // main and alternative GetWorldMatrix
    CodeBuffer code;
    uint8_t* getParent = code.cursor();
    code.Emit({0x8B, 0x81, 0x88, 0x02, 0x00, 0x00, 0xC3});
    code.SetCursor(0x40);
    uint8_t* getWorld = code.cursor();
    code.Emit({0x56, 0x8B, 0xF1, 0xE8, displacement, 0x00, 0x00, 0x00, 0x8D, 0x46, 0x6C, 0x5E, 0xC3});
    // The cached-matrix update it calls first: marks the object.
    code.SetCursor(0x40 + 8 + displacement);
    code.Emit({0xC6, 0x46, 0x60, 0x01, 0xC3});  // mov byte [esi+0x60], 1; ret
    code.SetCursor(0x200);
    volatile long calls = 0;
    void* parentOriginal = nullptr;
    void* worldOriginal = nullptr;
    void* parentDetour = test::EmitCountingDetour(code, &calls, &parentOriginal);
    void* worldDetour = test::EmitCountingDetour(code, &calls, &worldOriginal);
    code.Protect(PAGE_EXECUTE_READ);

    ASSERT_EQ(MH_CreateHook(getParent, parentDetour, &parentOriginal), MH_OK);
    ASSERT_EQ(MH_CreateHook(getWorld, worldDetour, &worldOriginal), MH_OK);
    ASSERT_EQ(MH_QueueEnableHook(MH_ALL_HOOKS), MH_OK);
    ASSERT_EQ(MH_ApplyQueued(), MH_OK);
    EXPECT_EQ(CallWithObject(getParent, &object, 0), 0x12345678u);
    object.bytes[0x60] = 0;
    EXPECT_EQ(CallWithObject(getWorld, &object, 0), reinterpret_cast<uintptr_t>(object.bytes + 0x6C));
    EXPECT_EQ(object.bytes[0x60], 1) << "the relocated call reached the real callee";
    EXPECT_EQ(calls, 2);
    object.bytes[0x60] = 0;
    EXPECT_EQ(CallWithObject(worldOriginal, &object, 0), reinterpret_cast<uintptr_t>(object.bytes + 0x6C));
    EXPECT_EQ(object.bytes[0x60], 1);
    EXPECT_EQ(CallWithObject(parentOriginal, &object, 0), 0x12345678u);
    EXPECT_EQ(calls, 2);
    ASSERT_EQ(MH_DisableHook(MH_ALL_HOOKS), MH_OK);
    ASSERT_EQ(MH_RemoveHook(getParent), MH_OK);
    ASSERT_EQ(MH_RemoveHook(getWorld), MH_OK);
    EXPECT_EQ(getParent[0], 0x8B);
    EXPECT_EQ(getWorld[3], 0xE8);
  }
}

}  // namespace
}  // namespace detour

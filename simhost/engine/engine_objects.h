#pragma once
// The simulated engine's objects, laid out at the byte offsets the plug-in relies on. Only the
// fields something reads or writes are named; the rest is padding of the right size.

#include <cstddef>
#include <cstdint>

extern "C" {

struct LogicTimer {
  double nextDueMs;      // host tick time at which the next fixed step falls due
  double stepNumerator;  // step length = numerator / divisor milliseconds
  double stepDivisor;
  double reserved;
};

struct cEngine {
  uint8_t unknown0[20];
  uint32_t frameCounter;  // read by the run loop's prologue
  LogicTimer* mpLogicTimer;
  uint8_t unknown28[12];
  uint8_t mbLimitFPS;
  uint8_t unknown41[23];
};

struct ListNode {
  ListNode* next;
  ListNode* previous;
};

struct cUpdater {
  uint8_t unknown0[0x34];
  ListNode* mpUpdateList;  // sentinel of the updater's list
  uint8_t unknown38[8];
};

struct RenderList {
  void* first;
  uint32_t count;
};

struct cScene {
  uint8_t unknown0[64];
  void* mpListenerViewport;  // current listener viewport, null when there is none
  RenderList* mpRenderList;
  uint8_t unknown72[56];
};

struct cCamera {
  float position[3];
  uint8_t unknown12[28];
  float pitch;
  float yaw;
  float roll;
  float pitchLimits[2];
  float yawLimits[2];
  uint32_t mustBeZero;
  uint8_t unknown72[4];
  float cachedMatrices[3][16];
  uint8_t unknown268[852 - 268];
  uint8_t cachedBlock[1276];
  uint8_t updateFlags[5];
  uint8_t unknown2133[11];
};

struct cViewport {
  uint8_t unknown0[4];
  cCamera* mpCamera;
  void* mpWorld;
  uint8_t unknown12;
  uint8_t mbVisible;  // 0 hidden, 1 shown
  uint8_t unknown14[18];
};

struct cLuxPlayer {
  uint8_t unknown0[0xC4];
  float pitchSource;
  uint8_t unknownC8[0x278 - 0xC8];
  cCamera* mpCamera;
  uint8_t unknown27C[0x2B4 - 0x27C];
  uint8_t mbActive;
  uint8_t unknown2B5[11];
};

struct cMouseSDL {
  uint8_t unknown0[0x24];
  uint8_t mbActive;
  uint8_t unknown25[11];
  int32_t relativeX;
  int32_t relativeY;
  uint8_t unknown38[8];
};

struct GuiWindowState {
  uint8_t unknown0[0x20];
  uint32_t cursorMode;
};

struct cGui {
  uint8_t unknown0[0x24];
  GuiWindowState* mpState;
  uint8_t unknown28[12];
  uint32_t mlActiveSets;  // 1 while a GUI is open, 0 when closed
  uint8_t unknown38[8];
};

struct InputFlags {
  uint8_t unknown0[0x84];
  float activeValue;  // compared with zero by the alternative build
  uint8_t enabled;
  uint8_t unknown89[7];
};

struct cLuxInputHandler {
  uint8_t unknown0[0x34];
  void* mpActionSet;
  InputFlags* mpInputState;
  uint8_t unknown3C[4];
  uint8_t mbSmoothMouse;  // 0 or 1
  uint8_t mbInvertMouseY;  // 0 or 1
  uint8_t unknown42[14];
  float mfMouseSensitivity;
  uint8_t unknown54[12];
};

}  // extern "C"

static_assert(offsetof(cEngine, frameCounter) == 20);
static_assert(offsetof(cEngine, mpLogicTimer) == 24);
static_assert(offsetof(cEngine, mbLimitFPS) == 40);
static_assert(sizeof(LogicTimer) == 32);
static_assert(offsetof(cUpdater, mpUpdateList) == 0x34);
static_assert(offsetof(cScene, mpListenerViewport) == 64);
static_assert(offsetof(cScene, mpRenderList) == 68);
static_assert(offsetof(cCamera, pitch) == 40);
static_assert(offsetof(cCamera, pitchLimits) == 52);
static_assert(offsetof(cCamera, mustBeZero) == 68);
static_assert(offsetof(cCamera, cachedMatrices) == 76);
static_assert(offsetof(cCamera, cachedBlock) == 852);
static_assert(offsetof(cCamera, updateFlags) == 2128);
static_assert(offsetof(cViewport, mpCamera) == 4);
static_assert(offsetof(cViewport, mpWorld) == 8);
static_assert(offsetof(cViewport, mbVisible) == 13);
static_assert(sizeof(cCamera) >= 2133);
static_assert(offsetof(cLuxPlayer, pitchSource) == 0xC4);
static_assert(offsetof(cLuxPlayer, mpCamera) == 0x278);
static_assert(offsetof(cLuxPlayer, mbActive) == 0x2B4);
static_assert(offsetof(cMouseSDL, mbActive) == 0x24);
static_assert(offsetof(cMouseSDL, relativeX) == 0x30);
static_assert(offsetof(cGui, mpState) == 0x24);
static_assert(offsetof(cGui, mlActiveSets) == 0x34);
static_assert(offsetof(GuiWindowState, cursorMode) == 0x20);
static_assert(offsetof(InputFlags, activeValue) == 0x84);
static_assert(offsetof(cLuxInputHandler, mpActionSet) == 0x34);
static_assert(offsetof(cLuxInputHandler, mpInputState) == 0x38);
static_assert(offsetof(cLuxInputHandler, mbSmoothMouse) == 64);
static_assert(offsetof(cLuxInputHandler, mbInvertMouseY) == 65);
static_assert(offsetof(cLuxInputHandler, mfMouseSensitivity) == 80);

#include "input/mouse_capture.h"

#include <gtest/gtest.h>

#include <string>

#include "input/gameplay_input_pass.h"
#include "input/raw_input_tap.h"
#include "log/diagnostic_log.h"

namespace driftglass {
namespace {

// A fresh shared state with the preview live at tick 10 (a smooth-off pass read once at tick 10).
struct Capture {
  MouseState mouse;
  RawTapState tap;
  MouseAudit audit;
  HostMouseCounts host{0, 0};

  explicit Capture(bool live, bool raw = false) {
    mouse.mouseOverlay = true;
    mouse.gameplayLive = live;
    mouse.gameplayInputTick = 10;
    tap.rawActive = raw;
  }
  // One fixed update whose SDL2 stock count is (x, y).
  HostMouseCounts Update(int32_t x, int32_t y, uint64_t tick = 10) {
    host = {x, y};
    RetireMouseCounts(mouse, tap, audit, host, tick);
    return host;
  }
};

TEST(MouseUpdate, EveryCountReachesTheHostOnceWhateverTheMode) {
  // SDL mode, live: a poll took (3, 0); the stock (2, 0) waits, then (1, 0) waits in its turn.
  Capture sdl(true);
  sdl.mouse.tickPending.Add(3, 0);
  EXPECT_EQ(sdl.Update(2, 0).x, 3);
  EXPECT_EQ(sdl.mouse.tickPending.x.load(), 2);
  EXPECT_EQ(sdl.mouse.traceDeferred.x.load(), 2);
  EXPECT_EQ(sdl.Update(1, 0).x, 2);
  EXPECT_EQ(sdl.mouse.tickPending.x.load(), 1);
  EXPECT_EQ(sdl.audit.tickDeferred.load(), 2u);
  EXPECT_EQ(sdl.audit.deferredXY.x.load(), 3);
  EXPECT_EQ(sdl.audit.deliveredXY.x.load(), 5);

  // SDL mode, not live (a tick past the pass): stock and pending together, nothing deferred.
  Capture late(true);
  late.mouse.tickPending.Add(3, 0);
  EXPECT_EQ(late.Update(2, 0, 12).x, 5);
  EXPECT_EQ(late.mouse.tickPending.x.load(), 0);
  EXPECT_EQ(late.audit.tickDeferred.load(), 0u);

  // Raw mode, live: the packets, never their sum with SDL2's count of the same motion.
  Capture raw(true, true);
  raw.mouse.tickPending.Add(7, -4);
  HostMouseCounts got = raw.Update(7, -4);
  EXPECT_EQ(got.x, 7);
  EXPECT_EQ(got.y, -4);
  raw.mouse.tickPending.Add(7, -4);
  got = raw.Update(6, -4);
  EXPECT_EQ(got.x, 7);
  EXPECT_EQ(raw.audit.rawTickCompare.load(), 2u);
  EXPECT_EQ(raw.audit.rawTickMismatch.load(), 1u);

  // Raw mode, not live: SDL2's count stands and the packets' copy of it is forgotten.
  Capture rawLate(false, true);
  CountRawPacket(rawLate.tap, rawLate.mouse, rawLate.audit, 5, -4);
  CountRawPacket(rawLate.tap, rawLate.mouse, rawLate.audit, 2, 0);
  got = rawLate.Update(7, -4);
  EXPECT_EQ(got.x, 7);
  EXPECT_EQ(got.y, -4);
  EXPECT_EQ(rawLate.mouse.presentPending.x.load(), 0);
  EXPECT_EQ(rawLate.mouse.presentPending.y.load(), 0);
  EXPECT_EQ(rawLate.mouse.tickPending.x.load(), 0);
  EXPECT_EQ(rawLate.audit.acquiredXY.x.load(), 7);
}

// The tap's window was re-created while the preview was live: the update deferred SDL2's count
// (no frame had shown it); then a GUI opened (the preview is no longer live) and the tap on the
// new window counted a packet SDL2 counts too. The deferred count still reaches the host.
TEST(MouseUpdate, ACountDeferredBeforeTheTapTookOverStillReachesTheHost) {
  Capture capture(true);
  EXPECT_EQ(capture.Update(-18, 2).x, 0);
  capture.mouse.gameplayLive = false;
  CountRawPacket(capture.tap, capture.mouse, capture.audit, 3, -1);
  const HostMouseCounts got = capture.Update(3, -1, 11);
  EXPECT_EQ(got.x, -15);
  EXPECT_EQ(got.y, 1);
  EXPECT_EQ(capture.mouse.tickPending.x.load(), 0);
  EXPECT_EQ(capture.Update(0, 0, 12).x, 0) << "delivered once";

  // The same, but the tap is released (its window went) before the next update, the preview live;
  // the window's WM_NCDESTROY and a drain that found it gone both release it, once.
  Capture released(true);
  const HWND gone = reinterpret_cast<HWND>(0x4F0);
  released.tap.tapWindow = gone;
  EXPECT_EQ(released.Update(-18, 2).x, 0);
  CountRawPacket(released.tap, released.mouse, released.audit, 3, -1);
  int releasedLines = 0;
  ProcessLog().SetDebugOutputSink([](const wchar_t* line, void* count) {
    *static_cast<int*>(count) += wcsstr(line, L"tap released") != nullptr;
  }, &releasedLines);
  ReleaseRawTap(released.tap, released.mouse, released.audit, gone);
  ReleaseRawTap(released.tap, released.mouse, released.audit, gone);
  ProcessLog().SetDebugOutputSink(nullptr, nullptr);
  EXPECT_EQ(releasedLines, 1);
  EXPECT_EQ(released.Update(3, -1, 11).x, -18) << "the packet is SDL2's to deliver, and it defers";
  EXPECT_EQ(released.mouse.tickPending.x.load(), 3);
}

TEST(MouseUpdate, CountsBeyondThirtyTwoBitsAreClampedAndCounted) {
  Capture sdl(true);
  sdl.mouse.tickPending.Add(3000000000LL, -3000000000LL);
  const HostMouseCounts got = sdl.Update(0, 0);
  EXPECT_EQ(got.x, INT32_MAX);
  EXPECT_EQ(got.y, INT32_MIN);
  EXPECT_EQ(sdl.audit.mergeOverflow.load(), 2u);
  Capture late(false);
  late.mouse.tickPending.Add(1, 0);
  EXPECT_EQ(late.Update(INT32_MAX, 0).x, INT32_MAX);
  EXPECT_EQ(late.audit.mergeOverflow.load(), 1u);
}

// SDL2 and the raw-input queue as the poll sees them: the pump dispatches every packet queued
// when it starts through the tap (the tap adds it to tapCounts), and packets that arrive while it
// runs wait in the queue for the drain.
struct PollLog {
  static inline std::string calls;
  static inline int sdlX = 0, sdlY = 0;
  static inline MouseState* tapCounts = nullptr;
  static inline int queuedX = 0, arrivingX = 0;
  static void Dispatch() {
    if (tapCounts != nullptr) {
      tapCounts->presentPending.Add(queuedX, 0);
      tapCounts->tickPending.Add(queuedX, 0);
    }
    queuedX = 0;
  }
  static void Drain() {
    calls += "drain ";
    Dispatch();
  }
  static void Pump() {
    calls += "pump ";
    Dispatch();
    queuedX = arrivingX;
    arrivingX = 0;
  }
  static uint32_t Take(int* x, int* y) {
    calls += "take ";
    *x = sdlX;
    *y = sdlY;
    sdlX = sdlY = 0;
    return 0;
  }
};

TEST(PresentationPoll, TakesMotionOnlyOnTheUpdatingThreadWhileThePreviewIsLive) {
  const PollActions actions{&PollLog::Drain, &PollLog::Pump, &PollLog::Take};
  int mouseObject = 0;

  Capture sdl(true);
  PollLog::calls.clear();
  EXPECT_FALSE(PollPresentationMotion(sdl.mouse, sdl.tap, sdl.audit, actions, 10, 7).valid);  // no update yet
  sdl.mouse.lastMouse = &mouseObject;
  sdl.mouse.mouseThreadId = 7;
  EXPECT_FALSE(PollPresentationMotion(sdl.mouse, sdl.tap, sdl.audit, actions, 10, 8).valid);
  EXPECT_EQ(sdl.audit.threadMismatch.load(), 1u);
  EXPECT_FALSE(PollPresentationMotion(sdl.mouse, sdl.tap, sdl.audit, actions, 12, 7).valid);  // past live
  EXPECT_EQ(PollLog::calls, "");
  EXPECT_EQ(sdl.audit.presentPolls.load(), 0u);

  PollLog::sdlX = 4;
  PollLog::sdlY = -1;
  PresentationMotion motion = PollPresentationMotion(sdl.mouse, sdl.tap, sdl.audit, actions, 11, 7);
  EXPECT_TRUE(motion.valid);
  EXPECT_EQ(motion.x, 4);
  EXPECT_EQ(sdl.mouse.tickPending.x.load(), 4);  // held for the next update
  EXPECT_EQ(sdl.mouse.tickPending.y.load(), -1);
  EXPECT_EQ(PollLog::calls, "pump drain take ") << "SDL2's count is taken after its pump";

  // Raw mode: this frame's motion holds the packets counted before the poll, those queued when
  // it started and those that arrived during SDL2's pump.
  Capture raw(true, true);
  raw.mouse.lastMouse = &mouseObject;
  raw.mouse.mouseThreadId = 7;
  raw.mouse.presentPending.Add(5, 6);
  raw.mouse.tickPending.Add(5, 6);
  PollLog::calls.clear();
  PollLog::tapCounts = &raw.mouse;
  PollLog::queuedX = 2;
  PollLog::arrivingX = 1;
  PollLog::sdlX = 99;
  motion = PollPresentationMotion(raw.mouse, raw.tap, raw.audit, actions, 10, 7);
  PollLog::tapCounts = nullptr;
  EXPECT_EQ(motion.x, 8);
  EXPECT_EQ(motion.y, 6);
  EXPECT_EQ(PollLog::queuedX, 0) << "nothing left for the next frame";
  EXPECT_EQ(PollLog::calls, "pump drain ");
  EXPECT_EQ(raw.mouse.presentPending.x.load(), 0);
  EXPECT_EQ(raw.mouse.tickPending.x.load(), 8);  // still the host's to receive
  EXPECT_EQ(PollLog::sdlX, 99);                  // SDL2's accumulator is left to the host
}

TEST(MouseRead, OnlyReadsInsideTheGameplayPassCountAsGameplayReads) {
  MouseAudit audit;
  GameplayInputFrame frame;
  int32_t pair[2] = {3, -2};
  CountMouseRead(frame, audit, pair, pair);
  EXPECT_EQ(audit.reads.load(), 1u);
  EXPECT_EQ(audit.gameplayReads.load(), 0u);
  EXPECT_EQ(audit.retiredXY.x.load(), 3);
  EXPECT_EQ(frame.reads, 0u);

  frame.inGameplayInput = true;
  CountMouseRead(frame, audit, pair, pair);
  EXPECT_EQ(frame.reads, 1u);
  EXPECT_EQ(frame.lastY, -2);
  EXPECT_EQ(audit.gameplayReads.load(), 1u);
  CountMouseRead(frame, audit, nullptr, nullptr);
  int32_t other[2] = {};
  CountMouseRead(frame, audit, pair, other);
  EXPECT_EQ(audit.invalid.load(), 2u);
  EXPECT_EQ(audit.retiredNonZero.load(), 3u);
}

TEST(GameplayInputPass, OnlyASmoothOffPassThatReadOnceMakesThePreviewLive) {
  const struct {
    InputHandlerSettings settings;
    uint32_t reads;
    bool live;
    uint32_t invalid;
  } cases[] = {
      {{0, 0, 1.0f}, 1, true, 0},
      {{1, 0, 1.0f}, 1, false, 0},   // smoothing on
      {{0, 0, 1.0f}, 2, false, 0},   // read twice
      {{0, 0, 1.0f}, 0, false, 0},   // left early
      {{0, 2, 1.0f}, 1, true, 1},    // an invalid setting is counted, the pass still counts
      {{0, 0, 100.5f}, 1, true, 1},
      {{0, 0, 0.0f}, 1, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.settings.smoothing) << "/" << int(c.settings.invertY) << "/"
                                    << c.settings.sensitivity << " reads " << c.reads);
    MouseState mouse;
    mouse.mouseOverlay = true;
    MouseAudit audit;
    GameplayInputFrame frame;
    frame.reads = 5;
    BeginGameplayInput(frame, mouse, audit, c.settings);
    EXPECT_TRUE(frame.inGameplayInput);
    EXPECT_EQ(frame.reads, 0u);
    frame.reads = c.reads;
    EXPECT_EQ(EndGameplayInput(frame, mouse, audit, c.settings, 42), c.live);
    EXPECT_FALSE(frame.inGameplayInput);
    EXPECT_EQ(mouse.gameplayLive.load(), c.live);
    EXPECT_EQ(mouse.gameplayInputTick.load(), 42u);
    EXPECT_EQ(audit.invalid.load(), c.invalid);
    EXPECT_EQ(audit.multiRead.load(), c.reads > 1 ? 1u : 0u);
    EXPECT_EQ(audit.earlyExit.load(), c.reads == 0 ? 1u : 0u);
    EXPECT_EQ(audit.smoothOn.load() + audit.smoothOff.load(), 1u);
  }
}

}  // namespace
}  // namespace driftglass

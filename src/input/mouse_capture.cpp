#include "input/mouse_capture.h"

#include "input/mouse_arithmetic.h"
#include "measure/stage_meter.h"

namespace driftglass {
namespace {

constexpr size_t kMouseCountsOffset = 48;

int32_t Merge(int64_t add, MouseAudit& audit) {
  uint32_t overflows = 0;
  const int32_t value = SaturatingMerge(0, add, overflows);
  if (overflows != 0) audit.mergeOverflow.fetch_add(overflows);
  return value;
}

int32_t MergeSum(int32_t base, int64_t add, MouseAudit& audit) {
  uint32_t overflows = 0;
  const int32_t value = SaturatingMerge(base, add, overflows);
  if (overflows != 0) audit.mergeOverflow.fetch_add(overflows);
  return value;
}

}  // namespace

HostMouseCounts* MouseCountsOf(void* mouse) {
  return reinterpret_cast<HostMouseCounts*>(static_cast<uint8_t*>(mouse) + kMouseCountsOffset);
}

void CountUnconsumedMotion(const HostMouseCounts& counts, MouseAudit& audit) {
  if (counts.x != 0 || counts.y != 0) audit.overwrite.fetch_add(1);
}

void RetireMouseCounts(MouseState& mouse, const RawTapState& tap, MouseAudit& audit, HostMouseCounts& counts,
                       uint64_t currentTick) {
  // The tap's packets are counted on this thread too (it taps only this thread's window), so none
  // lands between these exchanges.
  const int64_t pendX = mouse.tickPending.x.exchange(0);
  const int64_t pendY = mouse.tickPending.y.exchange(0);
  const int64_t tapX = mouse.tapSinceUpdate.x.exchange(0);
  const int64_t tapY = mouse.tapSinceUpdate.y.exchange(0);
  const int32_t stockX = counts.x;
  const int32_t stockY = counts.y;
  const bool live = IsPreviewLive(mouse, currentTick);
  if (tap.rawActive.load()) {
    if (live) {
      // Raw packets and SDL2's count describe the same motion: the host gets the packets.
      audit.rawTickCompare.fetch_add(1);
      if (pendX != stockX || pendY != stockY) audit.rawTickMismatch.fetch_add(1);
      counts.x = Merge(pendX, audit);
      counts.y = Merge(pendY, audit);
    } else {
      // SDL2's count stands for the packets; what else is pending (a stock count an earlier
      // update deferred while the preview was live, before the tap took over) still goes.
      mouse.presentPending.x.store(0);
      mouse.presentPending.y.store(0);
      counts.x = MergeSum(stockX, pendX - tapX, audit);
      counts.y = MergeSum(stockY, pendY - tapY, audit);
    }
  } else if (live) {
    // No frame has shown the stock count yet: it waits for the next update.
    counts.x = Merge(pendX, audit);
    counts.y = Merge(pendY, audit);
    mouse.tickPending.Add(stockX, stockY);
    audit.tickDeferred.fetch_add(1);
    if (stockX != 0 || stockY != 0) audit.tickDeferredNonZero.fetch_add(1);
    audit.deferredXY.Add(stockX, stockY);
    mouse.traceDeferred.Add(stockX, stockY);
  } else {
    counts.x = MergeSum(stockX, pendX, audit);
    counts.y = MergeSum(stockY, pendY, audit);
  }
  if (pendX != 0 || pendY != 0) audit.pendingDeliveries.fetch_add(1);
  audit.deliveredXY.Add(pendX, pendY);
  audit.updates.fetch_add(1);
  if (counts.x != 0 || counts.y != 0) audit.acquiredNonZero.fetch_add(1);
  audit.acquiredXY.Add(counts.x, counts.y);
}

void CountMouseRead(GameplayInputFrame& frame, MouseAudit& audit, const int32_t* result, const int32_t* returned) {
  audit.reads.fetch_add(1);
  if (frame.inGameplayInput) {
    ++frame.reads;
    if (result != nullptr) {
      frame.lastX = result[0];
      frame.lastY = result[1];
    }
    audit.gameplayReads.fetch_add(1);
  }
  if (result == nullptr) {
    audit.invalid.fetch_add(1);
    return;
  }
  if (returned != result) audit.invalid.fetch_add(1);
  if (result[0] != 0 || result[1] != 0) audit.retiredNonZero.fetch_add(1);
  audit.retiredXY.Add(result[0], result[1]);
}

PresentationMotion PollPresentationMotion(MouseState& mouse, const RawTapState& tap, MouseAudit& audit,
                                          const PollActions& actions, uint64_t currentTick, uint32_t threadId) {
  PresentationMotion motion;
  const uint64_t inputTick = mouse.gameplayInputTick.load();
  if (!mouse.mouseOverlay || !mouse.gameplayLive.load() || mouse.lastMouse.load() == nullptr ||
      actions.getRelativeMouseState == nullptr || actions.pumpEvents == nullptr || inputTick == 0 ||
      currentTick > inputTick + 1) {
    return motion;
  }
  const uint32_t owner = mouse.mouseThreadId.load();
  if (owner == 0 || owner != threadId) {
    audit.threadMismatch.fetch_add(1);
    return motion;
  }
  // The pump dispatches the queue's packets, and every one passes the tap before SDL2 sees it;
  // the drain then takes what arrived during the pump or what it left, each a round trip less
  // than draining before the pump too.
  actions.pumpEvents();
  actions.drainRawInput();
  if (tap.rawActive.load()) {
    motion.x = Merge(mouse.presentPending.x.exchange(0), audit);
    motion.y = Merge(mouse.presentPending.y.exchange(0), audit);
  } else {
    int x = 0;
    int y = 0;
    {
      HostCallScope call;
      actions.getRelativeMouseState(&x, &y);  // empties SDL2's own accumulator
    }
    motion.x = x;
    motion.y = y;
    mouse.tickPending.Add(x, y);
  }
  motion.valid = true;
  audit.presentPolls.fetch_add(1);
  if (motion.x != 0 || motion.y != 0) audit.presentNonZero.fetch_add(1);
  audit.presentXY.Add(motion.x, motion.y);
  return motion;
}

}  // namespace driftglass

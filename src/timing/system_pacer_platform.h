#pragma once
// The pacer's clock and sleep on Windows: the performance counter, a high-resolution waitable
// timer where the system has one (else a plain one, else Sleep), and the processor's pause.

#include <windows.h>

#include "timing/frame_pacer.h"

namespace driftglass {

class SystemPacerPlatform final : public PacerPlatform {
 public:
  SystemPacerPlatform() = default;
  SystemPacerPlatform(const SystemPacerPlatform&) = delete;
  SystemPacerPlatform& operator=(const SystemPacerPlatform&) = delete;
  ~SystemPacerPlatform();

  int64_t Now() override;
  void Sleep(int64_t ticks, int64_t frequency) override;
  void Pause() override { YieldProcessor(); }

 private:
  HANDLE timer_ = nullptr;
  bool timerTried_ = false;
};

}  // namespace driftglass

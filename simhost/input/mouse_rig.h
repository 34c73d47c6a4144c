#pragma once
// The game's mouse: its window (optionally behind another process's foreground window), SDL's
// relative and absolute modes, the gameplay input pass that turns the player (see look_rig.h),
// and a GUI with a software cursor that follows the mouse in fixed-step updates. The game keeps
// its own ground truth: what the mouse user sent, and what gameplay and the GUI read through the
// engine.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "engine/engine_objects.h"
#include "input/mouse_user.h"
#include "scenarios/scenario.h"
#include "scenarios/scenario_events.h"

class HostRecord;
class LogicDigest;

struct MouseObjects {
  cMouseSDL* mouse;
  cGui* gui;
  cLuxPlayer* player;
  cLuxInputHandler* input;
};

constexpr int32_t kClientWidth = 640;
constexpr int32_t kClientHeight = 480;

class MouseRig {
 public:
  // Before the loop: the foreign foreground, the window, relative mode.
  void Init(const Scenario& scenario, HostRecord* record, const MouseObjects& objects);
  void LoopStarted(double loopStartSeconds);  // the mouse user begins
  // With the user's moves timed by ticks: right after tick completedTicks (0: before the first),
  // the next tick's moves, sent and waited for until SDL has them.
  void AfterTick(uint32_t completedTicks);
  // At a fixed step's start, before cMouseSDL::Update: the GUI opens or closes, the sensitivity
  // changes.
  void StepStart(uint32_t tick);
  bool GuiOpen() const { return objects_.gui->mlActiveSets != 0; }
  // After the gameplay pass (or instead of it while open): the GUI's stock update.
  void GuiStep();
  // Between two frames: the main thread's own sends.
  // The engine's own handling of the draw message: the GUI draws its cursor where it is now.
  void DrawGui();
  void AfterFrame(uint32_t completedTicks);
  const char* FrameFields(double wall);
  // The input's logic after a step: what the gameplay pass and the GUI read, the GUI's state and
  // cursor, the smoothing history and the mouse settings.
  void DigestLogic(LogicDigest& digest) const;
  // The same input as numbers for the logic line: "read_x=... gui_x=...".
  void LogicFields(char* out, size_t capacity) const;
  // Every move the user and the game's own thread will make has been sent.
  bool SendsDone() const;
  uint32_t lastMotionTick() const { return lastMotionTick_; }  // the latest tick that read motion
  // A window, a GUI or a double read: the record then carries the mouse's lines.
  bool UsesMouse() const;
  // The game's thread inside a burst or replacing its window.
  double stalledSeconds() const { return burstSeconds_ + recreateSeconds_; }
  // After the loop: stops the user and the helper, writes the record's mouse lines (the fact
  // and one line per send only when the scenario uses the mouse: a window, a GUI, a double read).
  void Finish();

  // The engine's own work behind the entry points.
  void GameplayInput();
  uint8_t GuiSendMousePos(const cGui* gui, const int32_t* position, const int32_t* relative);

 private:
  void StartForeignForeground();
  void CreateGameWindow();
  void ReadMouse(int32_t relative[2]);
  void OpenGui();
  void CloseGui();
  void SendBurst();
  void SendAbsoluteMove();

  const Scenario* scenario_ = nullptr;
  HostRecord* record_ = nullptr;
  MouseObjects objects_{};
  MouseUser user_;
  HANDLE helper_ = nullptr;
  HWND window_ = nullptr;
  uint32_t tick_ = 0;
  uint32_t lastMotionTick_ = 0;
  double loopStart_ = 0;
  double lastOwnSend_ = -1e9;  // the game's own thread's latest send
  std::vector<const CameraEvent*> ownSends_;  // the game's own sends between frames, in tick order
  size_t nextOwnSend_ = 0;
  EventCursor recreateEvents_, sensitivityEvents_;
  std::vector<INPUT> burst_;

  int64_t readX_ = 0, readY_ = 0;  // everything the gameplay pass read
  uint32_t recreatedTick_ = 0;     // the tick the window was last replaced at (0: never)
  uint32_t recreations_ = 0;
  int32_t drawnAtDraw_[2] = {0, 0};
  bool drewThisFrame_ = false;
  double recreateSeconds_ = 0;
  int64_t readAfterRecreateX_ = 0;  // since the latest replacement
  uint32_t reads_ = 0;
  int64_t guiReadX_ = 0, guiReadY_ = 0;  // what the open GUI read
  int32_t recent_[4][2] = {};            // the last ticks' counts, for smoothing
  uint32_t recentCount_ = 0;
  int64_t burstX_ = 0;  // burst moves are horizontal only
  double burstSeconds_ = 0;
  uint32_t absoluteMoves_ = 0;
  int64_t absoluteJumpX_ = 0, absoluteJumpY_ = 0;

  int32_t stock_[2] = {kClientWidth / 2, kClientHeight / 2};  // the game's GUI position
  int32_t drawn_[2] = {kClientWidth / 2, kClientHeight / 2};  // the software cursor
  int32_t lastReceived_[2] = {};
  bool haveLastReceived_ = false;
  uint32_t guiCalls_ = 0;
  uint32_t guiInconsistent_ = 0;
  char fields_[256] = {};
};

MouseRig& Mouse();

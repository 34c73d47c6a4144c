#include "input/mouse_rig.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "engine/entry_points.h"
#include "input/look_rig.h"
#include "record/host_clock.h"
#include "record/host_record.h"
#include "record/logic_digest.h"
#include "scenarios/scenario_events.h"

extern "C" {
void* SDL_CreateWindow(const char* title, int x, int y, int w, int h, uint32_t flags);
void SDL_DestroyWindow(void* window);
void SDLStandIn_ReceivedMotion(long long* x, long long* y);
void SDLStandIn_AddRelativeMotion(int x, int y);
int SDL_SetRelativeMouseMode(int enabled);
uint32_t SDL_GetMouseState(int* x, int* y);
void SDL_PumpEvents(void);
uint32_t SDLStandIn_RawPackets(void);
uint32_t SDLStandIn_AbsolutePackets(void);
void SDLStandIn_ConfineCursor(void);
}

namespace {

// A tick's moves, when they are timed by ticks: as a hand's through the window's raw input, or,
// with no window, straight into SDL's relative motion.
bool SendThroughWindow(int32_t dx, int32_t dy) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_MOVE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  return SendInput(1, &input, sizeof(input)) == 1;
}

bool SendIntoSdl(int32_t dx, int32_t dy) {
  SDLStandIn_AddRelativeMotion(dx, dy);
  return true;
}

constexpr double kTickMovesWaitSeconds = 2.0;

constexpr int kWindowCentered = 0x2FFF0000;  // SDL_WINDOWPOS_CENTERED
constexpr uint32_t kWindowHidden = 0x8;      // SDL_WINDOW_HIDDEN
constexpr uint32_t kStandInNoActivate = 0x80000000;
constexpr DWORD kForegroundWaitMs = 10000;
constexpr DWORD kActivationWaitMs = 5000;
constexpr int kBurstMoves = 10000;
constexpr double kMovingSeconds = 0.05;  // a frame this soon after a send shows a moving mouse

MouseRig gRig;

int32_t Clamp(int32_t value, int32_t high) { return value < 0 ? 0 : (value > high ? high : value); }

bool SentByTheGame(const CameraEvent& e) { return e.name == "burst10000" || e.name == "absolute_move"; }

bool ForegroundBelongsTo(DWORD process) {
  DWORD owner = 0;
  const HWND foreground = GetForegroundWindow();
  return foreground != nullptr && GetWindowThreadProcessId(foreground, &owner) != 0 && owner == process;
}

// Waits, pumping the game's messages, until the condition holds or the time is up.
template <typename Condition>
bool PumpUntil(Condition condition, DWORD milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  while (!condition()) {
    if (GetTickCount64() >= deadline) return false;
    SDL_PumpEvents();
    Sleep(10);
  }
  return true;
}

}  // namespace

MouseRig& Mouse() { return gRig; }

// A scenario that leaves the mouse alone keeps its record as it was before the game had one.
bool MouseRig::UsesMouse() const {
  if (scenario_->window != WindowMode::kNone) return true;
  for (const CameraEvent& e : scenario_->events) {
    if (e.name == "gui_open" || e.name == "double_read") return true;
  }
  return false;
}

bool MouseRig::SendsDone() const { return user_.done() && nextOwnSend_ == ownSends_.size(); }

void MouseRig::Init(const Scenario& scenario, HostRecord* record, const MouseObjects& objects) {
  scenario_ = &scenario;
  record_ = record;
  objects_ = objects;
  ownSends_.clear();
  for (const CameraEvent& e : scenario.events) {
    if (SentByTheGame(e)) ownSends_.push_back(&e);
    if (e.name == "burst10000" && burst_.empty()) burst_.assign(kBurstMoves, INPUT{});
  }
  std::stable_sort(ownSends_.begin(), ownSends_.end(),
                   [](const CameraEvent* a, const CameraEvent* b) { return a->tick < b->tick; });
  nextOwnSend_ = 0;
  recreateEvents_ = EventCursor(scenario, "window_recreate");
  sensitivityEvents_ = EventCursor(scenario, "sensitivity");
  for (size_t i = 0; i < burst_.size(); ++i) {
    burst_[i].type = INPUT_MOUSE;
    burst_[i].mi.dx = i % 2 == 0 ? 2 : -1;
    burst_[i].mi.dwFlags = MOUSEEVENTF_MOVE;
  }
  user_.Init(scenario);
  if (scenario.window != WindowMode::kNone) {
    if (scenario.foreignForeground) StartForeignForeground();
    CreateGameWindow();
  }
  SDL_SetRelativeMouseMode(1);  // gameplay
}

// A helper process shows a window and holds the foreground until this process exits.
void MouseRig::StartForeignForeground() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  wchar_t* slash = wcsrchr(path, L'\\');
  bool started = false;
  if (length > 0 && length < MAX_PATH && slash != nullptr &&
      static_cast<size_t>(slash - path) + 24 < MAX_PATH) {
    wcscpy(slash + 1, L"simhost_foreground.exe");
    wchar_t commandLine[MAX_PATH + 32];
    swprintf(commandLine, MAX_PATH + 32, L"\"%ls\" %lu", path, GetCurrentProcessId());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      CloseHandle(process.hThread);
      helper_ = process.hProcess;
      const DWORD helperId = process.dwProcessId;
      started = PumpUntil([helperId] { return ForegroundBelongsTo(helperId); }, kForegroundWaitMs);
    }
  }
  record_->Invariant("foreground-foreign", started,
                     "another process's window became the foreground window before the loop");
}

void MouseRig::CreateGameWindow() {
  const bool hidden = scenario_->window == WindowMode::kHidden;
  const uint32_t flags = hidden ? kWindowHidden : (scenario_->foreignForeground ? kStandInNoActivate : 0);
  window_ = static_cast<HWND>(SDL_CreateWindow("Simulated game", kWindowCentered, kWindowCentered,
                                               kClientWidth, kClientHeight, flags));
  record_->Invariant("window-created", window_ != nullptr,
                     "the game's window exists (windows need a display: run under xvfb-run)");
  if (window_ == nullptr || hidden || scenario_->foreignForeground) return;
  const HWND window = window_;
  record_->Invariant("window-foreground",
                     PumpUntil([window] { return GetForegroundWindow() == window; }, kActivationWaitMs),
                     "the shown window became the foreground window");
}

void MouseRig::LoopStarted(double loopStartSeconds) {
  loopStart_ = loopStartSeconds;
  user_.Start(loopStartSeconds);
}

void MouseRig::AfterTick(uint32_t completedTicks) {
  if (!scenario_->mouseByTicks) return;
  long long fromX = 0, fromY = 0;
  SDLStandIn_ReceivedMotion(&fromX, &fromY);
  const int64_t sentX = user_.totalX(), sentY = user_.totalY();
  bool arrived = user_.SendForTick(completedTicks, window_ != nullptr ? &SendThroughWindow : &SendIntoSdl);
  const int64_t wantX = user_.totalX() - sentX, wantY = user_.totalY() - sentY;
  // Raw input comes back through the window's messages: pump them until SDL has every count, so
  // the next tick reads them all whatever the frames did meanwhile.
  const double start = HostSeconds();
  for (;;) {
    long long x = 0, y = 0;
    SDLStandIn_ReceivedMotion(&x, &y);
    if (x - fromX == wantX && y - fromY == wantY) break;
    if (HostSeconds() - start > kTickMovesWaitSeconds) {
      arrived = false;
      break;
    }
    SDL_PumpEvents();
    SwitchToThread();
  }
  record_->Checked("tick-moves-arrive-before-their-tick", arrived,
                   "every move of a tick's sixtieth of a second reached SDL before that tick");
}

void MouseRig::StepStart(uint32_t tick) {
  tick_ = tick;
  while (window_ != nullptr && recreateEvents_.Take(tick) >= 0) {
    // The game replaces its window (a display-mode change does this), during the user's motion.
    // Raw input reaches only a process with a foreground window here, so the new window is shown
    // and waited for as at the start. Under Wine the swap takes a while (destroying a shown
    // window about 2 s); like a burst, that time does not count against the run.
    const double started = HostSeconds();
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    CreateGameWindow();
    recreatedTick_ = tick;
    ++recreations_;
    readAfterRecreateX_ = 0;
    recreateSeconds_ += HostSeconds() - started;
  }
  for (int i = sensitivityEvents_.Take(tick); i >= 0; i = sensitivityEvents_.Take(tick)) {
    objects_.input->mfMouseSensitivity = static_cast<float>(scenario_->events[static_cast<size_t>(i)].value);
  }
  const bool open = EventActive(*scenario_, "gui_open", tick);
  if (open && !GuiOpen()) OpenGui();
  if (!open && GuiOpen()) CloseGui();
}

void MouseRig::OpenGui() {
  objects_.gui->mlActiveSets = 1;
  haveLastReceived_ = false;
  if (scenario_->guiRelative) {
    stock_[0] = kClientWidth / 2;
    stock_[1] = kClientHeight / 2;
  } else {
    SDL_SetRelativeMouseMode(0);  // a menu follows the system cursor
  }
}

void MouseRig::CloseGui() {
  objects_.gui->mlActiveSets = 0;
  haveLastReceived_ = false;
  if (!scenario_->guiRelative) SDL_SetRelativeMouseMode(1);
}

void MouseRig::ReadMouse(int32_t relative[2]) {
  relative[0] = relative[1] = 0;
  reinterpret_cast<void(THISCALL*)(void*, int32_t*)>(engine_cMouseSDL_GetRelPosition)(objects_.mouse, relative);
}

// Mouse motion becomes player turns; with smoothing the turn is the average of the last four
// ticks' counts, as a smoothing engine does, and that average is what the game rounds.
void MouseRig::GameplayInput() {
  const cLuxInputHandler& settings = *objects_.input;
  const int passes = EventActive(*scenario_, "double_read", tick_) ? 2 : 1;
  int32_t tickCounts[2] = {0, 0};
  for (int pass = 0; pass < passes; ++pass) {
    int32_t relative[2];
    ReadMouse(relative);
    readX_ += relative[0];
    readY_ += relative[1];
    if (recreatedTick_ != 0 && tick_ > recreatedTick_) readAfterRecreateX_ += relative[0];
    ++reads_;
    tickCounts[0] += relative[0];
    tickCounts[1] += relative[1];
  }
  if (tickCounts[0] != 0 || tickCounts[1] != 0) lastMotionTick_ = tick_;
  float turn[2] = {static_cast<float>(tickCounts[0]), static_cast<float>(tickCounts[1])};
  if (settings.mbSmoothMouse != 0) {
    recent_[recentCount_ % 4][0] = tickCounts[0];
    recent_[recentCount_ % 4][1] = tickCounts[1];
    ++recentCount_;
    const uint32_t used = recentCount_ < 4 ? recentCount_ : 4;
    turn[0] = turn[1] = 0.0f;
    for (uint32_t i = 0; i < used; ++i) {
      turn[0] += static_cast<float>(recent_[i][0]) / static_cast<float>(used);
      turn[1] += static_cast<float>(recent_[i][1]) / static_cast<float>(used);
    }
  }
  Look().Turn(objects_.player, settings.mfMouseSensitivity, settings.mbInvertMouseY != 0, turn[0], turn[1]);
}

// Once per tick the GUI gets the mouse: while closed its stock position (which it ignores);
// while open the position the mouse moved it to, with the motion since its previous one.
void MouseRig::GuiStep() {
  int32_t position[2] = {stock_[0], stock_[1]};
  int32_t relative[2] = {0, 0};
  if (GuiOpen()) {
    int32_t counts[2];
    ReadMouse(counts);
    guiReadX_ += counts[0];
    guiReadY_ += counts[1];
    if (counts[0] != 0 || counts[1] != 0) lastMotionTick_ = tick_;
    if (scenario_->guiRelative) {
      position[0] += counts[0];
      position[1] += counts[1];
    } else {
      SDL_GetMouseState(&position[0], &position[1]);
    }
    position[0] = Clamp(position[0], kClientWidth - 1);
    position[1] = Clamp(position[1], kClientHeight - 1);
    relative[0] = position[0] - stock_[0];
    relative[1] = position[1] - stock_[1];
    stock_[0] = position[0];
    stock_[1] = position[1];
  }
  reinterpret_cast<uint8_t(THISCALL*)(void*, const int32_t*, const int32_t*)>(engine_cGui_SendMousePos)(
      objects_.gui, position, relative);
}

void MouseRig::DigestLogic(LogicDigest& d) const {
  d.Value(kLogicInput, "gameplay_read_x", readX_);
  d.Value(kLogicInput, "gameplay_read_y", readY_);
  d.Value(kLogicInput, "gui_read_x", guiReadX_);
  d.Value(kLogicInput, "gui_read_y", guiReadY_);
  d.Add(kLogicInput, "gui_stock_position", stock_, sizeof(stock_));
  d.Add(kLogicInput, "gui_cursor", drawn_, sizeof(drawn_));
  d.Add(kLogicInput, "smoothing_history", recent_, sizeof(recent_));
  d.Value(kLogicInput, "smoothing_count", recentCount_);
  d.Value(kLogicInput, "gui_open", objects_.gui->mlActiveSets);
  d.Value(kLogicInput, "gui_cursor_mode", objects_.gui->mpState->cursorMode);
  d.Value(kLogicInput, "mouse_relative_x", objects_.mouse->relativeX);
  d.Value(kLogicInput, "mouse_relative_y", objects_.mouse->relativeY);
  const cLuxInputHandler& settings = *objects_.input;
  d.Value(kLogicInput, "sensitivity", settings.mfMouseSensitivity);
  d.Value(kLogicInput, "smoothing", settings.mbSmoothMouse);
  d.Value(kLogicInput, "invert_y", settings.mbInvertMouseY);
}

void MouseRig::LogicFields(char* out, size_t capacity) const {
  std::snprintf(out, capacity, "read_x=%lld read_y=%lld gui_read_x=%lld gui_read_y=%lld gui_x=%d gui_y=%d stock_x=%d stock_y=%d",
                static_cast<long long>(readX_), static_cast<long long>(readY_), static_cast<long long>(guiReadX_),
                static_cast<long long>(guiReadY_), drawn_[0], drawn_[1], stock_[0], stock_[1]);
}

// The GUI's software cursor: every call, the game's own and any other caller's, must carry the
// motion from the position the GUI received last.
uint8_t MouseRig::GuiSendMousePos(const cGui* gui, const int32_t* position, const int32_t* relative) {
  if (gui->mlActiveSets == 0) return 0;
  ++guiCalls_;
  if (haveLastReceived_ && (relative[0] != position[0] - lastReceived_[0] ||
                            relative[1] != position[1] - lastReceived_[1])) {
    ++guiInconsistent_;
  }
  lastReceived_[0] = drawn_[0] = position[0];
  lastReceived_[1] = drawn_[1] = position[1];
  haveLastReceived_ = true;
  return 1;
}

void MouseRig::DrawGui() {
  drewThisFrame_ = GuiOpen() && haveLastReceived_;
  drawnAtDraw_[0] = drawn_[0];
  drawnAtDraw_[1] = drawn_[1];
}

void MouseRig::AfterFrame(uint32_t completedTicks) {
  // A position the GUI receives after its draw shows only a frame later: whoever moves the cursor
  // for this frame must do it before the draw. Going back to the game's own position after the
  // draw moves nothing on screen (the next draw is set again first) and is what the logic must see.
  if (drewThisFrame_) {
    const bool kept = drawn_[0] == drawnAtDraw_[0] && drawn_[1] == drawnAtDraw_[1];
    const bool gameOwn = drawn_[0] == stock_[0] && drawn_[1] == stock_[1];
    record_->Checked("gui-cursor-set-before-draw", kept || gameOwn,
                     "the GUI's cursor moved after the frame's draw, and not back to the game's own position");
  }
  drewThisFrame_ = false;
  for (; nextOwnSend_ < ownSends_.size() && ownSends_[nextOwnSend_]->tick <= completedTicks; ++nextOwnSend_) {
    if (ownSends_[nextOwnSend_]->name == "burst10000") {
      SendBurst();
    } else {
      SendAbsoluteMove();
    }
  }
}

void MouseRig::SendBurst() {
  const double start = HostSeconds();
  const UINT sent = SendInput(kBurstMoves, burst_.data(), sizeof(INPUT));
  burstSeconds_ += HostSeconds() - start;
  lastOwnSend_ = HostSeconds() - loopStart_;
  for (UINT i = 0; i < sent; ++i) burstX_ += burst_[i].mi.dx;
}

// Wine delivers an absolute move as a relative raw packet of the cursor's jump; the game notes
// the jump it saw (the mouse user may move the cursor at the same moment).
void MouseRig::SendAbsoluteMove() {
  POINT before{}, after{};
  GetCursorPos(&before);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = 32768;
  input.mi.dy = 32768;
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  if (SendInput(1, &input, sizeof(input)) != 1) return;
  lastOwnSend_ = HostSeconds() - loopStart_;
  GetCursorPos(&after);
  ++absoluteMoves_;
  absoluteJumpX_ += after.x - before.x;
  absoluteJumpY_ += after.y - before.y;
  SDLStandIn_ConfineCursor();
}

const char* MouseRig::FrameFields(double wall) {
  const bool moving = user_.lastSendSeconds() >= wall - kMovingSeconds || lastOwnSend_ >= wall - kMovingSeconds;
  // What SDL2 has received so far: less what gameplay read, the motion that reached the game but
  // not yet its view.
  long long sdlX = 0, sdlY = 0;
  SDLStandIn_ReceivedMotion(&sdlX, &sdlY);
  snprintf(fields_, sizeof(fields_),
           "look_moving=%d gui_open=%d gui_x=%d gui_y=%d stock_x=%d stock_y=%d read_x=%lld read_y=%lld "
           "sdl_x=%lld sdl_y=%lld",
           // gui_x, gui_y: the cursor the GUI drew this frame.
           moving ? 1 : 0, GuiOpen() ? 1 : 0, static_cast<int>(drawnAtDraw_[0]), static_cast<int>(drawnAtDraw_[1]),
           static_cast<int>(stock_[0]), static_cast<int>(stock_[1]), static_cast<long long>(readX_),
           static_cast<long long>(readY_), sdlX, sdlY);
  return fields_;
}

void MouseRig::Finish() {
  user_.Join();
  if (helper_ != nullptr) {
    TerminateProcess(helper_, 0);
    WaitForSingleObject(helper_, 2000);
    CloseHandle(helper_);
    helper_ = nullptr;
  }
  char detail[96];
  snprintf(detail, sizeof(detail), "%u of %u GUI mouse positions broke the motion chain", guiInconsistent_,
           guiCalls_);
  record_->Invariant("gui-consistent", guiInconsistent_ == 0, detail);
  if (!UsesMouse()) return;
  const char* window = window_ == nullptr ? "none" : IsWindowVisible(window_) ? "visible" : "hidden";
  long long sdlX = 0, sdlY = 0;
  SDLStandIn_ReceivedMotion(&sdlX, &sdlY);
  record_->Line("fact mouse injected_x=%lld injected_y=%lld sends=%u send_failures=%u read_x=%lld "
                "read_y=%lld reads=%u gui_read_x=%lld gui_read_y=%lld gui_calls=%u gui_inconsistent=%u "
                "sdl_packets=%u sdl_absolute=%u burst_x=%lld burst_seconds=%.3f absolute_moves=%u "
                "absolute_jump_x=%lld absolute_jump_y=%lld window=%s foreground=%d sdl_x=%lld sdl_y=%lld "
                "recreated_tick=%u read_after_recreate_x=%lld recreations=%u",
                static_cast<long long>(user_.totalX()), static_cast<long long>(user_.totalY()),
                user_.sends(), user_.failures(), static_cast<long long>(readX_),
                static_cast<long long>(readY_), reads_, static_cast<long long>(guiReadX_),
                static_cast<long long>(guiReadY_), guiCalls_, guiInconsistent_, SDLStandIn_RawPackets(),
                SDLStandIn_AbsolutePackets(), static_cast<long long>(burstX_), burstSeconds_, absoluteMoves_,
                static_cast<long long>(absoluteJumpX_), static_cast<long long>(absoluteJumpY_), window,
                window_ != nullptr && GetForegroundWindow() == window_ ? 1 : 0, sdlX, sdlY, recreatedTick_,
                static_cast<long long>(readAfterRecreateX_), recreations_);
  for (uint32_t i = 0; i < user_.sends(); ++i) {
    const MouseSend& send = user_.send(i);
    record_->Line("input t=%.7f dx=%d dy=%d", send.seconds, static_cast<int>(send.dx), static_cast<int>(send.dy));
  }
}

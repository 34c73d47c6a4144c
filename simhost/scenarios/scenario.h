#pragma once
// A scenario file: plain "key=value" lines, '#' starts a comment line.
//
//   duration_seconds=3          how long the main loop runs (time spent inside a burst10000
//                               call or a stall, or while a write fault lasts, does not count)
//   pacing=capped               capped (only the engine's own frame limit), uncapped,
//                               fixed:HZ, or jitter:HZ:PERCENT (frame times vary by +-PERCENT)
//   limit_fps=1                 the engine's frame-limit byte when its loop starts (0, 1, or 2,
//                               which is not a boolean)
//   camera_speed=1              world units per second the scripted camera moves along x
//   idle_after_seconds=0        how long the game keeps running after its loop, so the
//                               plug-in's last telemetry interval can end
//   bootstrap_wait_seconds=30   how long to wait for the plug-in's start-up to end
//   camera_motion=linear        linear (x grows at camera_speed), turn (yaw turns at turn_rate
//                               rad/s, wrapping at +-pi), pitch (pitch held at +pi/2, yaw turning),
//                               walk_turn (moving along x and turning at once), mouse (x grows as
//                               in linear; yaw and pitch are the player's look, turned only by the
//                               gameplay pass, pitch within +-1.5)
//   turn_rate=3                 radians per second for turn and pitch motion
//   logic_numerator=1000        the logic timer's step numerator and divisor (step = n / d ms)
//   logic_divisor=60
//   phase_delay_percent=0       the presentation phase the game's own frame truth assumes
//   world_props=6, world_multi_props=2, world_standalone=3, world_grunts=2
//                               the dynamic world: single-body props, three-body props, bodies no
//                               prop owns, Grunts (one enemy of another kind is always there)
//   hands_sway=1                the hands sway a little against the camera (0: locked to it)
//   camera_write_log=1          tell plug-in writes from the cameras' write log (0: compare bytes,
//                               which misses a write of the bytes already there; for benchmarks)
//   judge_frames=1              judge every drawn frame against the game's truth (0: the game
//                               still draws, counts and records every frame and checks its
//                               invariants at every tick, but neither works out how far what it
//                               drew is from its truth nor checks the render's restores; for
//                               benchmarks that measure frame rate or per-frame cost)
//   world_layout=spaced         where the world's objects lie: spaced (a page each) or heap (as an
//                               allocator hands them out: mixed sizes up to 8 KiB, 16-byte
//                               aligned, small ones several to a page; seeded by world_seed=1)
//   world_asleep_percent=0      that share of the single-body props (beyond the first four) sleep
//                               from the start; every quarter second the game wakes one of them
//                               for a second
//   events=teleport@60,hide@90:10
//                               camera events at a tick, some lasting N ticks: teleport (10
//                               units in one tick), between_move (a move after a tick, before
//                               the render), switch_camera, switch_viewport, hide, visibility2,
//                               offset68 (value 1 at offset 68), limit1500 (a limit of 1500),
//                               lean (the camera rolls out by up to 0.35 rad and back over the
//                               event), roll_turn (the camera turns in roll at turn_rate while the
//                               event lasts and keeps the roll it reached);
//                               hands: hands_hidden, switch_object (for good), two_objects,
//                               attachment_twice, attachment_foreign_parent, attachment_readonly
//                               (one render), submeshes129, palette129, palette_misaligned,
//                               bone_count (for good), bone_nan; world: world_teleport (0.76 units
//                               in one tick), world_sleep (a prop's body sleeps, then wakes),
//                               world_callbacks (over 1024 in one tick), world_prop33,
//                               world_reversed_bodies, world_submeshes513, world_readonly (one
//                               render), world_reuse (a prop destroyed, its memory reused),
//                               world_reuse_near (another prop in the same memory with the same
//                               body, 0.3 units on), grunt_reuse_near (another Grunt in the first
//                               one's memory with its mesh, 0.3 units on, in another pose),
//                               prop_remove, body_remove, grunt_remove (a prop with its body, a
//                               body no prop owns, the second Grunt: destroyed for the event's
//                               duration, their memory holding a freed pattern nothing may write,
//                               then another created in the same memory a step away);
//                               poses: pose_ninth (seven more Grunts animate), ragdoll_hidden,
//                               ragdoll_rest (its bodies sleep for good), ragdoll_one_body,
//                               ragdoll_33, enemy_skip (the first Grunt skips its update),
//                               pose_bone_count (for good), pose_readonly (one render);
//                               effects: emitter4097, particle_nan, live_above_capacity,
//                               trail_reentrant (one draw), trail_clear (one draw); stall (the
//                               game hangs 300 ms after that tick); mouse:
//                               gui_open (open for N ticks, then closed), double_read (that
//                               tick's gameplay pass reads the mouse twice), burst10000 (after
//                               that tick, one SendInput of 10000 moves, dx +2/-1 in turn),
//                               absolute_move (after that tick, one absolute move to the
//                               screen's centre), window_recreate (the game destroys its
//                               window and creates another), sensitivityVALUE (from that tick on, the
//                               mouse sensitivity is VALUE: sensitivity2@30, sensitivity0.35@90);
//                               keyboard: compare_key (after that tick the player presses F9, held for
//                               N ticks, at least 3); files: write_fault (after that tick the device
//                               of the plug-in's folder is full for N ticks, see files/write_fault_rig.h;
//                               the folder must be on a device with at most 64 MB free);
//                               settings: ini_rewrite (the n-th writes "<ini>.<n>" over the
//                               plug-in's INI as an editor saves it; with a duration the first
//                               half stands that many ticks, see files/settings_file_rig.h)
//                               Any two events may overlap, also two of one kind. An event "for
//                               good" lasts only its duration when one is written (ragdoll_rest@90:60).
//                               Each one-render or one-time event (the read-only ones, trail_clear,
//                               trail_reentrant, between_move, window_recreate, burst10000,
//                               absolute_move) acts once per event, at the first frame at or after
//                               its tick. Two presses of the key cannot overlap (a held key cannot
//                               be pressed again): the game refuses such a scenario, naming both.
//   write_fault_frames=0        a write fault also lasts until the game has drawn this many frames
//   soak_seed, process_samples, frame_record
//                               a seeded random soak of every event, process samples every second,
//                               short frame lines (see soak_plan.h)
//   pose_bones=24               bones of each Grunt's palette
//   smoke_particles=16          live particles of the third emitter (at most 5000)
//   window=none                 the game's window: none (no window, no display needed),
//                               visible (shown and activated) or hidden; with a window the game
//                               plays in SDL's relative mouse mode, fed by raw input
//   foreign_foreground=0        1: before the loop a helper process takes the foreground, then
//                               the game's window is shown without activation (or stays hidden)
//   mouse_pattern=none          the mouse user: none, sweep, flicks (each flick one way, then
//                               still for at least 150 ms), jitter, mixed, sweep_right (1000
//                               counts/s to the right, nothing vertical) or pitch_up (1500
//                               counts/s upwards, on past the pitch limit); needs a window;
//                               every move is at most 6 counts on each axis
//   mouse_seed=1                makes each pattern's variations
//   mouse_start_seconds=0.2     the user moves between these times after the loop's start;
//   mouse_stop_seconds          by default 0.3 s before the loop ends, and at least 0.2 s before
//   mouse_rate_hz=1000          moves sent per second
//   mouse_timing=wall           when the user's moves arrive: wall (a thread of their own sends them
//                               at their times) or ticks (the game's thread sends, right after each
//                               tick, the moves the pattern makes in the next tick's sixtieth of a
//                               second, and waits until SDL has them: every run gets the same
//                               counts before the same ticks, through the window's raw input when
//                               there is a window, into SDL directly when there is none)
//   smoothing=0, invert_y=0, sensitivity=1
//                               the game's mouse settings (cLuxInputHandler bytes 64, 65, float 80);
//                               each tick the player turns by round(count x sensitivity) units of
//                               0.0011 rad, halves away from zero
//   gui_relative=1              an open GUI keeps SDL in relative mode (1, an in-game GUI) or
//                               switches it to absolute mode and follows the cursor (0, a menu)
//   logic_digest=0              1: after every tick a "logic" line with the digest of the game's
//                               logic (record/logic_digest.h), whole and in parts

#include <cstdint>
#include <string>
#include <vector>

enum class Pacing { kCapped, kUncapped, kFixed, kJitter };

enum class CameraMotion { kLinear, kTurn, kPitch, kWalkTurn, kMouse };

enum class WindowMode { kNone, kVisible, kHidden };

enum class MousePattern { kNone, kSweep, kFlicks, kJitter, kMixed, kSweepRight, kPitchUp };

struct CameraEvent {
  std::string name;
  uint32_t tick = 0;
  uint32_t duration = 1;
  double value = 0;  // a sensitivity event's new sensitivity
  bool timed = false;  // written with a duration
};

// From its tick on, the frames follow this pacing (a soak changes it as it goes).
struct PacingStretch {
  uint32_t fromTick = 0;
  Pacing pacing = Pacing::kUncapped;
  double hz = 0.0;
  double jitterPercent = 0.0;
};

struct Scenario {
  double durationSeconds = 3.0;
  Pacing pacing = Pacing::kCapped;
  double pacingHz = 0.0;
  double jitterPercent = 0.0;
  double cameraSpeed = 1.0;
  double idleAfterSeconds = 0.0;
  double bootstrapWaitSeconds = 30.0;
  CameraMotion cameraMotion = CameraMotion::kLinear;
  double turnRate = 3.0;
  double logicNumerator = 1000.0;
  double logicDivisor = 60.0;
  double phaseDelayPercent = 0.0;
  bool cameraWriteLog = true;
  bool judgeFrames = true;
  bool worldHeapLayout = false;
  uint32_t worldSeed = 1;
  int worldAsleepPercent = 0;
  bool handsSway = true;
  int worldProps = 6;       // props with one body
  int worldMultiProps = 2;  // props with three turning bodies
  int worldStandalone = 3;  // bodies no prop owns
  int worldGrunts = 2;      // and one enemy of another kind
  int poseBones = 24;       // bones of each Grunt's palette
  int smokeParticles = 16;  // live particles of the third emitter (at most 5000)
  int limitFpsValue = 1;  // the byte itself: 2 is not a boolean
  WindowMode window = WindowMode::kNone;
  bool foreignForeground = false;
  MousePattern mousePattern = MousePattern::kNone;
  uint32_t mouseSeed = 1;
  double mouseStartSeconds = 0.2;
  double mouseStopSeconds = -1.0;  // below zero: 0.3 s before the loop ends
  double mouseRateHz = 1000.0;
  bool mouseByTicks = false;
  bool logicDigest = false;
  bool smoothing = false;
  bool invertY = false;
  double sensitivity = 1.0;
  bool guiRelative = true;
  uint32_t writeFaultFrames = 0;
  std::vector<CameraEvent> events;
  uint32_t soakSeed = 0;        // 0: no soak
  bool processSamples = false;  // the process's memory, handles and threads every second
  bool shortFrameRecord = false;
  double progressSeconds = 0;  // 0: no progress lines
  std::vector<PacingStretch> pacingStretches;  // empty: `pacing` for the whole run
};

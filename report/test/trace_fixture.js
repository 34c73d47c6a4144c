// Builds motion-trace and log text for the tests from a few named values per row.
"use strict";
const { TRACE_COLUMNS, TRACE_HEADER } = require("../src/analysis.js");

function traceText(rows) {
  const lines = rows.map((row) => TRACE_COLUMNS.map((name) => String(row[name] ?? 0)).join(","));
  return [TRACE_HEADER, ...lines].join("\r\n") + "\r\n";
}

// A steady run (144 fps unless told) interpolated between 60 Hz ticks, for size and timing checks;
// frames first..last of `uncorrected` are drawn without corrections and show the newest tick;
// the frames listed in `changed` are the first after a change of the INI.
function steadyTrace(count, { rate = 144, start = 100, uncorrected = [-1, -1], changed = [] } = {}) {
  changed = new Set(changed);
  const rows = [];
  for (let i = 0; i < count; ++i) {
    const t = i / rate;
    const ticks = t * 60;
    const newer = Math.floor(ticks) + 1;
    const alpha = ticks - Math.floor(ticks);
    const off = i >= uncorrected[0] && i <= uncorrected[1];
    rows.push({ qpc_seconds: (start + t).toFixed(9), tick_serial: newer, older_serial: newer - 1,
      newer_serial: newer, raw_alpha: alpha.toFixed(9), alpha: alpha.toFixed(9),
      flags: (off ? 4 | 256 | 512 : 2 | 4 | 8 | 16 | 256) | (changed.has(i) ? 1024 : 0),
      auth_x: newer * 0.05, base_x: (newer - 1 + alpha) * 0.05, final_x: (newer - 1 + alpha) * 0.05,
      auth_yaw: 0.01 * newer, base_yaw: 0.01 * (newer - 1 + alpha), final_yaw: 0.01 * (newer - 1 + alpha) });
  }
  return traceText(rows);
}

function logLine(level, text) {
  return `[2024-05-01 12:00:00.000] [${level}] ${text}\r\n`;
}

const START = "Driftglass 1.0.1 bootstrap starting (x86)";
const TELEMETRY = "Telemetry interval=1.000s RenderUnlock=active ticks=60 (60.000 Hz) OnDraw=144 " +
  "(144.000 Hz) SceneRender=144 (144.000 Hz) OnPostRender=144 (144.000 Hz) FrameCadence(samples=144, " +
  "meanMs=6.944, p50Ms=6.900, p95Ms=7.100, p99Ms=7.300, maxMs=8.000, longGap=0, overflow=0, invalid=0) " +
  "Clock(interp=140, clampOld=1, clampNew=2, unavailable=0, resets=0, phaseRebase=0, alpha=0.500, " +
  "lastReset=none) Camera(captured=60, applied=143, noScene=0, noView=0, viewFail(noListener=0, " +
  "hidden=0, noCamera=0, noWorld=0, invalid=4), identity=0, invalid=3, last=applied)";

// A long tuning session: `changes` applied changes of the INI cycling through four sets of
// settings, evenly spaced over `count` frames, with a refused edit and one for the next start
// after every eighth, and the log that goes with it.
const TUNED_SETS = [{ TargetFPS: "100", ParticleInterpolation: "true" }, { TargetFPS: "50", ParticleInterpolation: "true" },
                    { TargetFPS: "50", ParticleInterpolation: "false" }, { TargetFPS: "144", ParticleInterpolation: "false" }];
function tunedRecording(count, changes, { rate = 70 } = {}) {
  const marks = Array.from({ length: changes }, (_, k) => Math.round((k + 1) * count / (changes + 1)));
  let log = logLine("INFO", START) + logLine("INFO", "Main-view camera interpolation enabled: render-scoped position.") +
    logLine("INFO", "Compatible x86 executable signatures accepted. Requested hooks are active.");
  for (let k = 0; k < changes; ++k) {
    const [was, now] = [TUNED_SETS[k % 4], TUNED_SETS[(k + 1) % 4]];
    const items = Object.keys(was).filter((key) => was[key] !== now[key]).map((key) => `${key} ${was[key]} -> ${now[key]}`);
    log += logLine("INFO", `Settings changed: ${items.join(", ")}.`);
    if (k % 8 === 7) {
      log += logLine("WARN", "Invalid [Timing] TargetFPS (expected 0..1000): fast; the running settings stay.") +
        logLine("WARN", "Settings changed: RenderUnlock true -> false takes effect at the next start.");
    }
  }
  log += logLine("INFO", `MotionTrace written=${count} dropped=0`);
  return { trace: steadyTrace(count, { rate, changed: marks }), log, marks };
}

module.exports = { traceText, steadyTrace, tunedRecording, logLine, START, TELEMETRY };

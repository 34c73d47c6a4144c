// A trace the simulated game's run produced, against the game's own record of what it drew:
// row i of the trace is the game's frame i. Run by game_trace.sh, which plays the game first.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("fs");
const path = require("path");
const A = require("../src/analysis.js");

const folder = process.env.DRIFTGLASS_GAME_FOLDER;
const WARM_UP_SECONDS = 0.5;

function recordFrames(text) {
  return text.split(/\r?\n/).filter((l) => l.startsWith("frame ")).map((line) => {
    const frame = {};
    for (const pair of line.split(" ").slice(1)) {
      const equals = pair.indexOf("=");
      if (equals > 0) frame[pair.slice(0, equals)] = Number(pair.slice(equals + 1));
    }
    return frame;
  });
}

function agrees(fromTrace, fromGame, what) {
  const allowed = Math.max(0.05 * Math.abs(fromGame), 0.02);
  assert.ok(Math.abs(fromTrace - fromGame) <= allowed,
            `${what}: the trace says ${fromTrace.toFixed(4)} ms, the game ${fromGame.toFixed(4)} ms`);
}

test("the trace's animation error and lag match the game's record", { skip: !folder }, () => {
  const read = (name) => fs.readFileSync(path.join(folder, name), "utf8");
  const trace = A.parseTrace(read("Driftglass.motion.csv"));
  const frames = recordFrames(read("record.txt"));
  // Row i is frame i; frames drawn after the plug-in's last flush may be missing at the end.
  assert.ok(trace.rows <= frames.length && trace.rows >= frames.length - 2,
            `${trace.rows} trace rows for ${frames.length} frames`);
  const s = A.summarize(trace);
  assert.ok(s.cameraInterpolation);

  const traceErrors = [], gameErrors = [], traceLags = [], gameLags = [];
  for (let i = 1; i < trace.rows; ++i) {
    if (frames[i - 1].wall < WARM_UP_SECONDS) continue;
    const shown = (frames[i].drawn_ticks - frames[i - 1].drawn_ticks) / 60;
    gameErrors.push(Math.abs(shown - (frames[i].wall - frames[i - 1].wall)) * 1000);
    gameLags.push((frames[i].ticks - frames[i].drawn_ticks) / 60 * 1000);
    traceErrors.push(Math.abs(s.series.errorMs[i]));
    traceLags.push(s.series.lagMs[i]);
  }
  assert.ok(gameErrors.length > 200, `only ${gameErrors.length} frames after the warm-up`);
  agrees(A.mean(traceErrors), A.mean(gameErrors), "mean animation error");
  console.log(`# mean error ${A.mean(traceErrors).toFixed(4)} / ${A.mean(gameErrors).toFixed(4)} ms, mean lag ${A.mean(traceLags).toFixed(4)} / ${A.mean(gameLags).toFixed(4)} ms (trace / game)`);
  agrees(A.mean(traceLags), A.mean(gameLags), "mean lag");
  // The same frames' median interval by the plug-in's clock and by the game's: a busy machine's
  // stalls move a mean, not the middle of the same frames.
  const traceFrameMs = A.percentile(s.series.frameMs.subarray(1), 0.5);
  const gameIntervals = [];
  for (let i = 1; i < trace.rows; ++i) gameIntervals.push((frames[i].wall - frames[i - 1].wall) * 1000);
  agrees(traceFrameMs, A.percentile(gameIntervals, 0.5), "median frame time");

  const log = A.parseLog(read("Driftglass.log"));
  assert.strictEqual(log.outcome.kind, "active");
  assert.ok(log.features.some((f) => f.name === "Camera interpolation"));
  assert.ok(log.intervals.length >= 2);
  assert.strictEqual(log.trace.written, trace.rows, "the log counts the rows the trace holds");
});

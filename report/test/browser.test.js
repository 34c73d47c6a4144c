// Opens the built page from disk in headless Chromium, as a player would, and loads files into it.
//   env: REPORT_HTML (the built page), CHROMIUM (default /usr/bin/chromium), NODE_PATH (puppeteer-core)
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("fs");
const os = require("os");
const path = require("path");
const puppeteer = require("puppeteer-core");
const { traceText, steadyTrace, logLine, START, TELEMETRY } = require("./trace_fixture.js");

const page = process.env.REPORT_HTML;
const work = fs.mkdtempSync(path.join(os.tmpdir(), "driftglass-report-"));
function file(name, text) {
  fs.writeFileSync(path.join(work, name), text);
  return path.join(work, name);
}

const ROWS = 2000;
const trace = file("trace-by-content.txt", steadyTrace(ROWS));
const log = file("plugin.log", logLine("INFO", START) +
  logLine("INFO", "Main-view camera interpolation enabled: render-scoped position.") +
  logLine("INFO", "Compatible x86 executable signatures accepted. Requested hooks are active.") +
  logLine("INFO", TELEMETRY) + logLine("INFO", "MotionTrace written=2000 dropped=7"));

let browser, tab;
test.before(async () => {
  browser = await puppeteer.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true, args: ["--no-sandbox", "--disable-gpu"] });
  tab = await browser.newPage();
  await tab.setViewport({ width: 1200, height: 900 });
  // Nothing may be fetched: the page must work offline from disk.
  await tab.setRequestInterception(true);
  tab.on("request", (r) => (r.url().startsWith("file:") ? r.continue() : r.abort()));
  await tab.goto("file://" + page);
});
test.after(async () => { if (browser) await browser.close(); });

async function load(...files) {
  const input = await tab.$("#files");
  await input.uploadFile(...files);
  await tab.waitForFunction(() => ["ready", "error"].includes(document.body.dataset.state));
  return tab.evaluate(() => ({
    state: document.body.dataset.state,
    messages: Array.from(document.querySelectorAll("#messages p"), (p) => p.textContent),
    summary: Object.fromEntries(Array.from(document.querySelectorAll("#summary tr"),
      (tr) => [tr.dataset.label, tr.querySelector("td").textContent])),
    points: window.driftglassCharts.map((u) => [u.chartTitle, u.data[0].length, u.data.slice(1).map((d) => d.length)]),
    reportHidden: document.getElementById("report").hidden,
    outcome: document.getElementById("outcome").textContent,
    telemetryRows: document.querySelectorAll("#telemetry tr").length,
  }));
}

test("a trace and a log, picked together, fill the report", async () => {
  const shown = await load(trace, log);
  assert.strictEqual(shown.state, "ready", shown.messages.join("; "));
  assert.strictEqual(shown.summary["Frames"], String(ROWS));
  assert.strictEqual(shown.summary["Frame rate"], "144.0 fps");
  assert.strictEqual(shown.summary["Frames interpolated"], "100.0 %");
  assert.strictEqual(shown.summary["Trace rows dropped by the plug-in"], "7");
  assert.match(shown.summary["Animation error mean / p99 / max"], /^0\.000 \/ 0\.000 \/ 0\.000 ms$/);
  assert.match(shown.outcome, /features are active/);
  assert.strictEqual(shown.telemetryRows, 2);
  const timeCharts = shown.points.filter(([title]) => title !== "Frame time histogram");
  assert.strictEqual(timeCharts.length, 5);
  for (const [title, x, series] of timeCharts) {
    assert.strictEqual(x, ROWS, title);
    for (const length of series) assert.strictEqual(length, ROWS, title);
  }
  await tab.screenshot({ path: path.join(path.dirname(page), "report-screenshot.png"), fullPage: true });
  const png = await tab.evaluate(() => window.driftglassReport.chartsImage().toDataURL("image/png").length);
  assert.ok(png > 10000, "the chart export holds an image");
});

test("bad files show a message and no report", async () => {
  const good = steadyTrace(5);
  const cases = [
    ["empty.csv", "", /empty/],
    ["other.csv", "a,b,c\r\n1,2,3\r\n", /not a Driftglass motion trace/],
    ["word.csv", good.replace(/\r\n100\.0[^,]*/, "\r\nabc"), /Line 2 .*non-numeric/],
  ];
  for (const [name, text, expected] of cases) {
    const shown = await load(file(name, text));
    assert.strictEqual(shown.state, "error", name);
    assert.match(shown.messages.join(" "), expected);
    assert.ok(shown.reportHidden, `${name}: no half-drawn report`);
    assert.strictEqual(shown.points.length, 0, name);
  }
  const cut = await load(file("cut.csv", good + "100.05,3,2"));
  assert.strictEqual(cut.state, "ready");
  assert.match(cut.messages.join(" "), /cut short and was ignored/);
  assert.strictEqual(cut.summary["Frames"], "5");
});

test("time to open a 100 000-row trace (printed, not judged)", async () => {
  const big = file("big.csv", steadyTrace(100000));
  const started = Date.now();
  const shown = await load(big);
  const seconds = (Date.now() - started) / 1000;
  assert.strictEqual(shown.summary["Frames"], "100000");
  console.log(`# opening a 100000-row trace took ${seconds.toFixed(2)} s`);
});

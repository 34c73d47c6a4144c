// Prints how long an hour's tuning session (250 523 frames, 123 changes of settings) and its log
// take to analyse in node and to open in headless Chromium. Run by hand, never judged:
//   REPORT_HTML=build/report/Driftglass-report.html NODE_PATH=build/report/node_modules \
//     node report/test/load_benchmark.js [SCREENSHOT.png]
"use strict";
if (["--help", "-h"].includes(process.argv[2])) {
  console.log("Usage: REPORT_HTML=build/report/Driftglass-report.html NODE_PATH=build/report/node_modules \\\n" +
              "         node report/test/load_benchmark.js [SCREENSHOT.png]\n" +
              "Prints how long an hour's tuning session (250 523 frames, 123 changes of settings) and its log take\n" +
              "to analyse in node and to open in headless Chromium (CHROMIUM names another browser).");
  process.exit(0);
}
const fs = require("fs");
const os = require("os");
const path = require("path");
const puppeteer = require("puppeteer-core");
const A = require("../src/analysis.js");
const { tunedRecording } = require("./trace_fixture.js");

const ROWS = 250523, CHANGES = 123, RUNS = 3;

async function main() {
  const { trace, log } = tunedRecording(ROWS, CHANGES);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "driftglass-bench-"));
  const files = [["Driftglass.motion.csv", trace], ["Driftglass.log", log]].map(([name, text]) => {
    fs.writeFileSync(path.join(work, name), text);
    return path.join(work, name);
  });
  console.log(`trace ${(trace.length / 1e6).toFixed(1)} MB, ${ROWS} rows, ${CHANGES} changes`);

  for (let run = 0; run < RUNS; ++run) {
    let t = process.hrtime.bigint();
    const parsed = A.parseTrace(trace);
    const parseMs = Number(process.hrtime.bigint() - t) / 1e6;
    t = process.hrtime.bigint();
    const s = A.summarize(parsed, A.logForTrace(A.parseLog(log), "Driftglass.motion.csv"));
    const summaryMs = Number(process.hrtime.bigint() - t) / 1e6;
    console.log(`node: parse ${parseMs.toFixed(0)} ms, log + summary ${summaryMs.toFixed(0)} ms ` +
                `(${s.settings.columns.length} sets of settings)`);
  }

  const browser = await puppeteer.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true, args: ["--no-sandbox", "--disable-gpu"] });
  try {
    const tab = await browser.newPage();
    await tab.setViewport({ width: 1200, height: 900 });
    await tab.goto("file://" + path.resolve(process.env.REPORT_HTML));
    for (let run = 0; run < RUNS; ++run) {
      // The same files picked again fire no change unless the picker is emptied first.
      await tab.evaluate(() => { document.body.dataset.state = ""; document.getElementById("files").value = ""; });
      const started = Date.now();
      await (await tab.$("#files")).uploadFile(...files);
      await tab.waitForFunction(() => ["ready", "error"].includes(document.body.dataset.state), { timeout: 120000 });
      const columns = await tab.evaluate(() => document.querySelectorAll("#summary tr.titles th").length - 1);
      console.log(`chromium: picked to drawn ${((Date.now() - started) / 1000).toFixed(2)} s (${columns} summary columns)`);
    }
    if (process.argv[2]) await tab.screenshot({ path: process.argv[2], fullPage: true });
  } finally {
    await browser.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});

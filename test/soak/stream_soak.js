'use strict';
// Capture streams started, consumed and stopped at random for a while, with
// the world changing under them and the system stopping some: a run fails
// when its child crashes, when a stream's counts do not add up, when frames or
// streams are left behind, or when RSS grows.
const path = require('path');
const { root, childOutcome, lastJson } = require('../js/helpers/child');

const TESTING = JSON.stringify(path.join(root, 'testing.js'));

function streamsSource(ms, seed) {
  return `
    const d = require(${TESTING});
    let state = ${seed} >>> 0;
    const random = () => (state = (Math.imul(state, 1664525) + 1013904223) >>> 0) / 4294967296;
    const pick = (list) => list[Math.floor(random() * list.length)];
    const sleep = (t) => new Promise((resolve) => setTimeout(resolve, t));
    const win = (x) => ({ id: 7, pid: 5, frame: { x, y: 20, width: 200, height: 120 }, fill: '#3478f6' });
    d.setWorld({ displays: [{ id: 1, main: true, bounds: { x: 0, y: 0, width: 640, height: 400 } }], windows: [win(10)] });
    const started = Date.now();
    let rssStart = 0, streams = 0, frames = 0;
    const bad = [];
    const consume = async (s, how) => {
      if (how === 'loop') {
        for await (const f of s) { frames++; if (random() < 0.02) break; await sleep(random() * 80); }
      } else {
        s.on('frame', () => frames++);
        await sleep(random() * 400);
      }
    };
    const run = async () => {
      while (Date.now() - started < ${ms}) {
        const options = pick([{ displayId: 1 }, { windowId: 7 }, { displayId: 1, onlyChanged: true }]);
        const s = d.startCapture({ ...options, fps: pick([10, 30, 60]), maxQueued: pick([1, 2, 4]),
          format: pick(['png', 'jpeg', 'raw']), maxWidth: pick([undefined, 320]) });
        streams++;
        s.on('error', () => {});
        await consume(s, pick(['loop', 'events'])).catch(() => {});
        await s.stop();
        const { produced, delivered, dropped } = s.stats();
        if (produced !== delivered + dropped) bad.push(JSON.stringify(s.stats()));
        if (!rssStart && Date.now() - started > ${ms} / 10) rssStart = process.memoryUsage().rss;
      }
    };
    (async () => {
      // The window moves, leaves and comes back: streams of it are stopped by the system.
      const changer = setInterval(() => d.changeWorld({ windows: random() < 0.1 ? [] : [win(Math.floor(random() * 300))] }), 20);
      await Promise.all([run(), run(), run()]);
      clearInterval(changer);
      const p = d.probe();
      console.log(JSON.stringify({ streams, frames, bad, running: p.streamsRunning, inFlight: p.streamFramesInFlight,
        objects: p.objectsAlive, rssGrowthMb: Math.round((process.memoryUsage().rss - rssStart) / 1e6) }));
    })();
  `;
}

// ASan keeps freed blocks in quarantine (up to 256 MB): RSS says nothing there.
const underAsan = /asan/.test(process.env.LD_PRELOAD || '');

function verdict(r) {
  if (r.failure) return r.failure;
  const o = lastJson(r);
  const problems = [];
  if (o.bad.length) problems.push(`counts that do not add up: ${o.bad.slice(0, 3)}`);
  if (o.running || o.inFlight || o.objects) problems.push(`left behind: ${o.running} streams, ${o.inFlight} frames, ${o.objects} objects`);
  if (!o.streams || !o.frames) problems.push(`only ${o.streams} streams and ${o.frames} frames`);
  if (!underAsan && o.rssGrowthMb > 64) problems.push(`RSS grew by ${o.rssGrowthMb} MB`);
  return problems.join('; ') || null;
}

// `runs` children of `ms` each. Answers { runs, failures, notes }.
async function streamRuns(runs, ms, seed) {
  const result = { runs, failures: 0, notes: [] };
  for (let i = 0; i < runs; i++) {
    const problem = verdict(await childOutcome(streamsSource(ms, seed + i), { timeout: ms + 120000 }));
    if (problem) {
      result.failures++;
      result.notes.push(`seed ${seed + i}: ${problem}`);
    }
  }
  return result;
}

module.exports = { streamRuns };

'use strict';
// Watchers under random changes of the fake world, and watchers opened and
// closed in Workers that come and go. A run fails when its child crashes,
// when the displays rebuilt from one watcher's events differ from
// getDisplays(), when a native observer is left registered, or when RSS grows.
const { childOutcome, lastJson } = require('../js/helpers/child');
const path = require('path');
const { root } = require('../js/helpers/child');

const TESTING = JSON.stringify(path.join(root, 'testing.js'));

// One child: random changes for `ms`, with watchers opened, closed and
// listened to at random beside one that keeps a model of the displays.
function changesSource(ms, seed) {
  return `
    const d = require(${TESTING});
    let state = ${seed} >>> 0;
    const random = () => (state = (Math.imul(state, 1664525) + 1013904223) >>> 0) / 4294967296;
    const pick = (list) => list[Math.floor(random() * list.length)];
    const sleep = (t) => new Promise((resolve) => setTimeout(resolve, t));
    const EVENTS = ['display-added', 'display-removed', 'display-changed', 'ios-device-added', 'ios-device-removed',
      'microphone-apps-changed', 'screen-capture-access-changed'];
    const displays = () => Array.from({ length: 1 + Math.floor(random() * 3) }, (_, i) => ({
      id: 1 + Math.floor(random() * 4) * 10 + i, main: i === 0, scale: pick([1, 2]),
      bounds: { x: i * 1000 + Math.floor(random() * 3), y: 0, width: pick([800, 1024]), height: 600 } }));
    const phones = () => ['a', 'b', 'c'].filter(() => random() < 0.5)
      .map((id) => ({ uniqueId: id, name: id, modelId: 'iPhone15,2', width: 10, height: 20 }));
    const processes = () => [100, 101, 102].map((objectId) => ({ objectId, pid: objectId, runningInput: random() < 0.5 }));
    d.setWorld({ timeScale: 0.001, displays: displays() });

    (async () => {
      const keeper = d.watch();
      const model = new Map();
      keeper.on('display-added', (x) => model.set(x.id, x));
      keeper.on('display-changed', (x) => model.set(x.id, x));
      keeper.on('display-removed', (x) => model.delete(x.id));
      while (!d.probe().watchObserving.includes('displays')) await sleep(5);
      for (const x of await d.getDisplays()) model.set(x.id, x);

      const others = [];
      const quiet = () => {};
      let events = 0, rssStart = 0;
      const end = Date.now() + ${ms};
      const started = Date.now();
      while (Date.now() < end) {
        const r = random();
        if (r < 0.3) d.changeWorld({ displays: displays() });
        else if (r < 0.45) d.changeWorld({ phone: { devices: phones() } });
        else if (r < 0.6) d.changeWorld({ desktop: { audio: { processes: processes() } } });
        else if (r < 0.65) d.changeWorld({ screen: { permission: pick(['granted', 'denied']) } });
        else if (r < 0.8 || others.length === 0) {
          const w = d.watch();
          for (const e of EVENTS) if (random() < 0.4) w.on(e, () => events++);
          others.push(w);
        } else if (r < 0.9) {
          others.splice(Math.floor(random() * others.length), 1)[0].close();
        } else {
          const w = pick(others);
          const e = pick(EVENTS);
          if (w.listenerCount(e) > 0) w.removeAllListeners(e); else w.on(e, quiet);
        }
        if (others.length > 20) others.shift().close();
        await sleep(random() * 4);
        if (!rssStart && Date.now() - started > ${ms} / 10) rssStart = process.memoryUsage().rss;
      }
      for (const w of others) w.close();
      await sleep(300);  // the last reconfiguration reaches the keeper
      const listed = await d.getDisplays();
      const same = JSON.stringify([...model.values()].sort((a, b) => a.id - b.id)) ===
        JSON.stringify(listed.sort((a, b) => a.id - b.id));
      keeper.close();
      let p = d.probe();
      for (let i = 0; i < 200 && (p.displayCallbacks || p.audioListeners || p.watchObserving.length); i++) {
        await sleep(10);
        p = d.probe();
      }
      global.gc && global.gc();
      console.log(JSON.stringify({ same, events, watchers: p.watchers, observing: p.watchObserving,
        callbacks: p.displayCallbacks, listeners: p.audioListeners,
        rssGrowthMb: Math.round((process.memoryUsage().rss - rssStart) / 1e6) }));
    })();
  `;
}

// ASan keeps freed blocks in quarantine (up to 256 MB): RSS says nothing there.
const underAsan = /asan/.test(process.env.LD_PRELOAD || '');

function verdict(r) {
  if (r.failure) return r.failure;
  const o = lastJson(r);
  const problems = [];
  if (!o.same) problems.push("the displays rebuilt from the events differ from getDisplays()");
  if (o.watchers || o.callbacks || o.listeners || o.observing.length) {
    problems.push(`left behind: ${o.watchers} watchers, ${o.callbacks} display callbacks, ` +
      `${o.listeners} audio listeners, observing ${o.observing}`);
  }
  if (!underAsan && o.rssGrowthMb > 64) problems.push(`RSS grew by ${o.rssGrowthMb} MB`);
  return problems.join('; ') || null;
}

// `runs` children of `ms` each. Answers { runs, failures, notes }.
async function randomChanges(runs, ms, seed) {
  const result = { runs, failures: 0, notes: [] };
  for (let i = 0; i < runs; i++) {
    const r = await childOutcome(changesSource(ms, seed + i), { timeout: ms + 120000 });
    const problem = verdict(r);
    if (problem) {
      result.failures++;
      result.notes.push(`seed ${seed + i}: ${problem}`);
    }
  }
  return result;
}

// `cycles` watcher open/close cycles in Workers (ten per Worker), some Workers
// terminated with watchers open, while the main thread changes the displays.
function cyclesSource(cycles) {
  return `
    const { Worker } = require('worker_threads');
    const d = require(${TESTING});
    const sleep = (t) => new Promise((resolve) => setTimeout(resolve, t));
    d.setWorld({ timeScale: 0.001, displays: [{ id: 1 }] });
    const body = \`
      const { parentPort, workerData } = require('worker_threads');
      const d = require(${TESTING});
      (async () => {
        for (let i = 0; i < 10; i++) {
          const w = d.watch();
          w.on('display-changed', () => {});
          if (i % 3 === 0) w.on('microphone-apps-changed', () => {});
          await new Promise((resolve) => setTimeout(resolve, Math.random() * 3));
          if (i < 9 || !workerData.leaveOpen) w.close();
          parentPort.postMessage('cycle');
        }
        parentPort.postMessage('done');
      })();
    \`;
    (async () => {
      let done = 0, width = 100;
      const changer = setInterval(() => d.changeWorld({ displays: [{ id: 1, bounds: { width: (width = 300 - width), height: 100 } }] }), 2);
      while (done < ${cycles}) {
        const pair = [0, 1].map((k) => new Worker(body, { eval: true, workerData: { leaveOpen: k === 1 } }));
        await Promise.all(pair.map((w, k) => new Promise((resolve) => {
          let seen = 0;
          w.on('error', resolve);
          w.on('message', (m) => {
            if (m === 'cycle') seen++;
            // The second Worker is terminated mid-way or with its last watcher open.
            if ((m === 'done' || (k === 1 && seen === 5 && Math.random() < 0.5))) { done += seen; w.terminate().then(resolve); }
          });
        })));
      }
      clearInterval(changer);
      let p = d.probe();
      for (let i = 0; i < 200 && (p.watchers || p.displayCallbacks || p.audioListeners); i++) { await sleep(10); p = d.probe(); }
      console.log(JSON.stringify({ cycles: done, watchers: p.watchers, callbacks: p.displayCallbacks, listeners: p.audioListeners }));
    })();
  `;
}

async function watchCycles(cycles) {
  const r = await childOutcome(cyclesSource(cycles), { abruptEnd: true, timeout: 600000 });
  if (r.failure) return { runs: cycles, failures: cycles, notes: [r.failure] };
  const o = lastJson(r);
  const left = o.watchers + o.callbacks + o.listeners;
  return { runs: o.cycles, failures: left ? 1 : 0,
    notes: left ? [`left behind: ${o.watchers} watchers, ${o.callbacks} callbacks, ${o.listeners} listeners`] : [] };
}

module.exports = { randomChanges, watchCycles };

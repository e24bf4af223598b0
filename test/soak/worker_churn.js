'use strict';
// Workers (only they load an addon) start work of every kind and are terminated
// at random moments, one after another and overlapping, so that one teardown
// meets the next registration; every tenth must first answer a call.
const path = require('path');
const { root, childOutcome, lastJson } = require('../js/helpers/child');

const WORLD = require('./small_world');

function childSource(cycles) {
  const addons = JSON.stringify([path.join(root, 'index.js'), path.join(root, 'testing.js')]);
  return `
    const { Worker } = require('worker_threads');
    const body = \`
      const { parentPort, workerData } = require('worker_threads');
      const d = require(workerData);
      parentPort.postMessage('loaded');
      for (const p of [d.getDisplays(), d.captureDisplay({ displayId: 1 }), d.captureWindow(5), d.takeIosLog(),
        d.usbAppleDeviceCount(), d.listMicrophoneApps(), d.requestSystemAudioAccess()]) p.catch(() => {});
      d.startCapture({ displayId: 1, fps: 60 }).on('error', () => {});
      parentPort.on('message', () => d.usbAppleDeviceCount().then((n) => parentPort.postMessage(typeof n), (e) => parentPort.postMessage(String(e))));
    \`;
    const addons = ${addons};
    const once = (w, event) => new Promise((resolve) => w.once(event, resolve));
    const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
    (async () => {
      let bad = 0, previous = Promise.resolve();
      for (let i = 0; i < ${cycles}; i++) {
        const w = new Worker(body, { eval: true, workerData: addons[i % 2] });
        w.on('error', () => {});
        if (i % 10 === 0) {
          await once(w, 'message');
          w.postMessage('check');
          if ((await once(w, 'message')) !== 'number') bad++;
        } else if (Math.random() < 0.4) {
          await once(w, 'message').then(() => sleep(Math.random() * 10));
        } else {
          await sleep(Math.random() * 20);
        }
        const gone = w.terminate();
        // Every other cycle the next Worker starts while this one is torn down.
        if (i % 2 === 0) await gone;
        await previous;
        previous = gone;
      }
      await previous;
      console.log(JSON.stringify({ cycles: ${cycles}, bad }));
    })();
  `;
}

// `cycles` cycles in children of at most `perChild`. Answers { runs, failures,
// notes }: a crashed child fails the cycles it had not finished.
async function churnWorkers(cycles, { perChild = 100 } = {}) {
  const result = { runs: 0, failures: 0, notes: [] };
  while (result.runs < cycles) {
    const n = Math.min(perChild, cycles - result.runs);
    const r = await childOutcome(childSource(n), { world: WORLD, abruptEnd: true, timeout: 600000 });
    result.runs += n;
    const bad = r.failure ? n : lastJson(r).bad;
    result.failures += bad;
    if (bad) result.notes.push(r.failure || `${bad} of ${n} Workers could not answer a call`);
  }
  return result;
}

module.exports = { churnWorkers };

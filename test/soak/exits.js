'use strict';
// Ends a process (exit, uncaught exception, unhandled rejection) with work in flight on
// every kind of pool thread: it must end with that ending's status, no signal, no sanitizer report.
const path = require('path');
const { root, childOutcome } = require('../js/helpers/child');

const TESTING = JSON.stringify(path.join(root, 'testing.js'));
const WORLD = require('./small_world');

const ENDINGS = {
  'process.exit': { code: 'process.exit(7)', status: 7 },
  'uncaught exception': { code: "throw new Error('ending')", status: 1 },
  'unhandled rejection': { code: "Promise.reject(new Error('ending'))", status: 1 },
};

function source(ending, delayMs) {
  return `
    const d = require(${TESTING});
    const quiet = () => {};
    // Each chain starts its next capture as the last one settles, so pool
    // threads are busy whenever the ending comes.
    const chain = (capture) => capture().then(() => chain(capture), quiet);
    for (let i = 0; i < 8; i++) {
      chain(() => d.captureDisplay({ displayId: 1, excludeWindowIds: [5] }));
      chain(() => d.captureWindow(5));
    }
    for (const p of [d.listIosDevices(), d.takeIosLog(), d.listMicrophoneApps()]) p.catch(quiet);
    // A watcher busy with changes as the process ends.
    const w = d.watch();
    w.on('display-changed', quiet);
    w.on('microphone-apps-changed', quiet);
    let width = 64;
    // A stream encoding frames nobody takes.
    d.startCapture({ displayId: 1, fps: 60, maxQueued: 1 }).on('error', quiet);
    setInterval(() => d.changeWorld({ displays: [{ id: 1, main: true, bounds: { width: (width = 96 - width), height: 48 } }] }), 1);
    setTimeout(() => { ${ENDINGS[ending].code}; }, ${delayMs});
  `;
}

// `runs` runs of one ending, `parallel` at a time, each after a random 0-19 ms;
// answers the failures' texts.
async function exitRuns(ending, runs, parallel = 2) {
  const failures = [];
  let next = 0;
  const lane = async () => {
    while (next++ < runs) {
      const delayMs = Math.floor(Math.random() * 20);
      const { failure } = await childOutcome(source(ending, delayMs),
        { world: WORLD, abruptEnd: true, timeout: 120000 }, ENDINGS[ending].status);
      if (failure) failures.push(`${ending} after ${delayMs} ms: ${failure}`);
    }
  };
  await Promise.all(Array.from({ length: parallel }, lane));
  return failures;
}

module.exports = { ENDINGS, exitRuns };

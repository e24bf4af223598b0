'use strict';
// The host process survives what callers and hosts do to it: ending with work
// in flight, Worker environments coming and going, arguments of every shape,
// and C++ exceptions inside a callback. Short runs of test/soak's checks.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const { root, runNodeAsync, lastJson } = require('./helpers/child');
const { ENDINGS, exitRuns } = require('../soak/exits');

const TESTING = JSON.stringify(path.join(root, 'testing.js'));

test('ending the process with captures in flight ends it cleanly', async () => {
  // A crash here is a race with exit(); 15 runs per ending catch one that hits a
  // quarter of the runs (as a static destroyed under the pool did) all but surely.
  for (const ending of Object.keys(ENDINGS)) {
    const failures = await exitRuns(ending, 15);
    assert.deepEqual(failures, [], `${ending}: ${failures.length} of 15 runs failed`);
  }
});

test('a Worker that registers while the last environment is torn down gets a working pool', async () => {
  // The test hook makes B's registration run after A's teardown has given the
  // pool up and before it shuts it down.
  const r = await runNodeAsync(`
    const { Worker } = require('worker_threads');
    const body = \`
      const { parentPort } = require('worker_threads');
      const d = require(${TESTING});
      parentPort.postMessage('loaded');
      parentPort.on('message', async () => parentPort.postMessage(typeof (await d.usbAppleDeviceCount())));
    \`;
    const once = (w, event) => new Promise((resolve) => w.once(event, resolve));
    (async () => {
      const a = new Worker(body, { eval: true });
      await once(a, 'message');
      const gone = a.terminate();
      const b = new Worker(body, { eval: true });
      await once(b, 'message');
      await gone;
      b.postMessage('work');
      const answer = await once(b, 'message');
      await b.terminate();
      console.log(JSON.stringify(answer));
    })();
  `, { env: { DESKCAP_TEST_TEARDOWN_INTERLEAVE: '1' }, abruptEnd: true });
  assert.equal(r.signal, null, r.stderr);
  assert.equal(r.status, 0, r.stderr);
  assert.equal(lastJson(r), 'number');
});

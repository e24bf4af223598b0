'use strict';
// The testing addon in this process, with worlds installed by setWorld, and
// small readers of answers and errors.
const assert = require('node:assert/strict');
const path = require('path');

const root = path.resolve(__dirname, '..', '..', '..');
const d = require(path.join(root, 'testing.js'));
const product = require(path.join(root, 'index.js'));

const fail = (e) => ({ code: e.code, message: e.message, isError: e instanceof Error,
  ...('permission' in e && { permission: e.permission }) });
const later = (p) => p.then((value) => ({ value }), fail);
const sync = (fn) => { try { return { value: fn() }; } catch (e) { return fail(e); } };

const idle = { objectsAlive: 0, objectsAliveByKind: {}, screenshotsInFlight: 0, sessionsRunning: 0, callsInFlight: 0,
  streamsRunning: 0, streamFramesInFlight: 0 };
const busy = () => {
  const p = d.probe();
  return Object.fromEntries(Object.keys(idle).map((key) => [key, p[key]]));
};

// Nothing a call made is alive or running once it settled (waiting a little for a
// framework thread that lets its last objects go as the Promise settles).
async function assertSettled(context = '') {
  for (let i = 0; i < 100 && !require('node:util').isDeepStrictEqual(busy(), idle); i++) {
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
  assert.deepEqual(busy(), idle, context);
}

const rect = (x, y, width, height) => ({ x, y, width, height });

module.exports = { d, product, root, fail, later, sync, assertSettled, rect };

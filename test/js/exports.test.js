'use strict';
// lib/exports.js, from which the package answers where it does not run, held
// to the addons themselves.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const { d, product, root } = require('./helpers/world');

const EXPORTS = require(path.join(root, 'lib', 'exports.js'));

test('lib/exports.js names every export of the addons and which of them answer synchronously', async () => {
  assert.deepEqual(Object.keys(product).sort(), Object.keys(EXPORTS).sort());
  // Arguments that each call takes, so that none throws before it answers.
  d.setWorld({ timeScale: 0.01, displays: [{ id: 1 }], windows: [{ id: 5, pid: 1 }] });
  const args = { captureDisplay: [{ displayId: 1 }], captureWindow: [5], captureIosDevice: ['none'],
    getAppWindowBounds: ['com.example.app'] };
  const sync = {};
  const pending = [];
  for (const name of Object.keys(EXPORTS)) {
    const answer = d[name](...(args[name] || []));
    sync[name] = !(answer instanceof Promise);
    if (!sync[name]) pending.push(answer.catch(() => {}));
  }
  await Promise.all(pending);
  assert.deepEqual(sync, { ...EXPORTS });
});

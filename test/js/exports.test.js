'use strict';
// lib/exports.js, from which the package answers where it does not run, held
// to the addons themselves and to the files that must spell its names out.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');
const { d, product, root } = require('./helpers/world');

const EXPORTS = require(path.join(root, 'lib', 'exports.js'));

test('lib/exports.js names every export of the addons and which of them answer synchronously', async () => {
  assert.deepEqual(Object.keys(product).sort(), Object.keys(EXPORTS).sort());
  // Arguments that each call takes, so that none throws before it answers.
  d.setWorld({ timeScale: 0.01, displays: [{ id: 1 }], windows: [{ id: 5, pid: 1 }] });
  const args = { captureDisplay: [{ displayId: 1 }], captureWindow: [5], captureIosDevice: ['none'],
    getAppWindowBounds: ['com.example.app'], startCapture: [{ displayId: 1 }] };
  const sync = {};
  const pending = [];
  for (const name of Object.keys(EXPORTS)) {
    const answer = d[name](...(args[name] || []));
    sync[name] = !(answer instanceof Promise);
    if (!sync[name]) pending.push(answer.catch(() => {}));
    if (name === 'startCapture') pending.push(answer.stop());
  }
  await Promise.all(pending);
  assert.deepEqual(sync, { ...EXPORTS });
});

// ESM named exports are static and typings are text: neither can take its names
// from lib/exports.js, so each is read here.
test('the ESM entries and the type files name exactly the exports of lib/exports.js', async () => {
  const esm = async (file) => Object.keys(await import(pathToFileURL(path.join(root, file))))
    .filter((name) => name !== 'default');
  // `export function NAME`, and what `export * from './X.js'` brings from X.d.ts.
  const typed = (file) => {
    const text = fs.readFileSync(path.join(root, file), 'utf8');
    return [...text.matchAll(/^export \* from '\.\/(\w+)\.js';$/gm)].flatMap(([, from]) => typed(`${from}.d.ts`))
      .concat([...text.matchAll(/^export (?:function|const) (\w+)/gm)].map(([, name]) => name));
  };
  const names = Object.keys(EXPORTS);
  const testing = [...names, 'setWorld', 'changeWorld', 'probe'];
  for (const [file, want] of [['index.mjs', names], ['testing.mjs', testing], ['index.d.ts', names],
    ['index.d.mts', names], ['testing.d.ts', testing], ['testing.d.mts', testing]]) {
    const listed = file.endsWith('.mjs') ? await esm(file) : typed(file);
    assert.deepEqual(listed.sort(), [...want].sort(), file);
  }
});

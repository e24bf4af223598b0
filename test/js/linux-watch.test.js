'use strict';
// watch() on Linux: display events from a real X server whose outputs xrandr
// adds, moves and removes while it runs, and microphone events from a real
// sound server with a real recording client.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const xorg = require('./helpers/xorg');
const { Desktop, available } = require('../../scripts/x-desktop');
const { root } = require('./helpers/child');

const linux = process.platform === 'linux';
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The next `count` events of `names` on `watcher`, or what came within a generous while.
async function next(watcher, names, count, action) {
  const seen = [];
  const listeners = names.map((name) => [name, (...args) => seen.push([name, ...args])]);
  for (const [name, fn] of listeners) watcher.on(name, fn);
  await action();
  for (let i = 0; i < 1000 && seen.length < count; i++) await sleep(10);
  await sleep(300);  // and nothing more after them
  for (const [name, fn] of listeners) watcher.off(name, fn);
  return seen;
}

const geometry = ({ x, y, width, height, isPrimary }) => ({ x, y, width, height, isPrimary });

test('display events follow what xrandr does to a running Xorg', { skip: !linux ? 'Linux only'
  : !xorg.available() && 'Xorg with the dummy driver is not installed' }, async (t) => {
  const x = await xorg.start();
  t.after(() => x.stop());
  process.env.DISPLAY = x.display;
  const d = require(path.join(root, 'index.js'));
  const watcher = d.watch();
  t.after(() => watcher.close());
  const DISPLAY_EVENTS = ['display-added', 'display-removed', 'display-changed'];
  // Listening from here on, so that the observer runs throughout.
  watcher.on('display-added', () => {});
  await sleep(300);
  const [first] = await d.getDisplays();

  const added = await next(watcher, DISPLAY_EVENTS, 1, () => x.addOutput({ width: 800, height: 600 }));
  assert.deepEqual(added.map(([name, info]) => [name, info.name, geometry(info)]),
    [['display-added', 'DUMMY1', { x: 1024, y: 0, width: 800, height: 600, isPrimary: false }]]);
  const id = added[0][1].id;
  assert.deepEqual((await d.getDisplays()).find((s) => s.id === id), added[0][1]);
  // The screen grew under an open connection: the new display's pixels can be read.
  assert.equal((await d.captureDisplay({ displayId: id })).width, 800);

  const moved = await next(watcher, DISPLAY_EVENTS, 1,
    () => x.addOutput({ width: 640, height: 480, x: 0, y: 768 }));
  assert.deepEqual(moved.map(([name, info, fields]) => [name, info.id, geometry(info), fields]),
    [['display-changed', id, { x: 0, y: 768, width: 640, height: 480, isPrimary: false },
      ['x', 'y', 'width', 'height']]]);

  // One change of the primary output: both displays report it.
  const primary = await next(watcher, DISPLAY_EVENTS, 2, () => x.xrandr('--output', 'DUMMY1', '--primary'));
  assert.deepEqual(primary.map(([name, info, fields]) => [name, info.id, info.isPrimary, fields]).sort(), [
    ['display-changed', first.id, false, ['isPrimary']], ['display-changed', id, true, ['isPrimary']]].sort());

  const removed = await next(watcher, DISPLAY_EVENTS, 2, () => x.removeOutput());
  const byName = Object.fromEntries(removed.map(([name, info, fields]) => [name, [info.id, fields]]));
  assert.deepEqual(byName['display-removed'], [id, undefined]);
  assert.deepEqual(byName['display-changed'], [first.id, ['isPrimary']], 'the remaining output is primary again');
  assert.deepEqual((await d.getDisplays()).map((s) => s.id), [first.id]);
});

test('microphone events follow a real recording client', { skip: !linux ? 'Linux only'
  : !available('pulseaudio', 'parec') && 'pulseaudio and parec are not installed' }, async (t) => {
  const desktop = new Desktop();
  t.after(() => desktop.stop());
  await desktop.startSound();
  process.env.PULSE_SERVER = desktop.env.PULSE_SERVER;
  const d = require(path.join(root, 'index.js'));
  const watcher = d.watch();
  t.after(() => watcher.close());
  watcher.on('microphone-apps-changed', () => {});
  await sleep(300);

  let pid = 0;
  const started = await next(watcher, ['microphone-apps-changed'], 1, async () => {
    pid = await desktop.record(['application.id=org.example.Recorder']);
  });
  assert.deepEqual(started.map(([, apps]) => apps), [[{ pid, bundleId: 'org.example.Recorder' }]]);
  const stopped = await next(watcher, ['microphone-apps-changed'], 1, () => process.kill(pid));
  assert.deepEqual(stopped.map(([, apps]) => apps), [[]]);
});

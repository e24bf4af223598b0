'use strict';
// watch() over the fake world: what each change of the world emits, in which
// order, and that watchers come and go without leaving observers behind.
const test = require('node:test');
const assert = require('node:assert/strict');
const { d, rect } = require('./helpers/world');
const { runNodeAsync, lastJson } = require('./helpers/child');

const EVENTS = ['display-added', 'display-removed', 'display-changed', 'ios-device-added', 'ios-device-removed',
  'microphone-apps-changed', 'screen-capture-access-changed'];
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Records every event of `names` on a fresh watcher.
function record(names = EVENTS) {
  const watcher = d.watch();
  const seen = [];
  for (const name of names) watcher.on(name, (...args) => seen.push([name, ...args]));
  return { watcher, seen };
}

// Waits (generously: this is about order, not speed) until `count` events came.
async function until(seen, count) {
  for (let i = 0; i < 500 && seen.length < count; i++) await sleep(10);
  return seen.map(([name, payload, fields]) => (fields ? [name, payload.id, fields] : [name, payload]));
}

// Observers start and stop on the watch thread, a moment after listeners come and go.
async function untilProbe(check) {
  for (let i = 0; i < 200 && !check(d.probe()); i++) await sleep(10);
  return d.probe();
}

const display = (id, x, width, extra = {}) => ({ id, bounds: rect(x, 0, width, 600), ...extra });
const display1 = { id: 1, name: 'Display 1', x: 0, y: 0, width: 800, height: 600, scaleFactor: 1, isPrimary: true };

test('displays: one event per display once a reconfiguration is complete, removals first', async () => {
  d.setWorld({ displays: [display(1, 0, 800, { main: true }), display(2, 800, 1024)] });
  const { watcher, seen } = record(['display-added', 'display-removed', 'display-changed']);
  await untilProbe((p) => p.watchObserving.length === 1);
  // One reconfiguration: 2 goes, 3 comes, 1 is rescaled and moved.
  d.changeWorld({ displays: [display(3, 0, 640), display(1, -800, 800, { main: true, scale: 2 })] });
  const events = await until(seen, 3);
  assert.deepEqual(events.map((e) => e.slice(0, 1).concat(e[0] === 'display-changed' ? e.slice(1) : [e[1].id])), [
    ['display-removed', 2], ['display-added', 3], ['display-changed', 1, ['x', 'scaleFactor']]]);
  assert.deepEqual(seen[0][1], { ...display1, id: 2, name: 'Display 2', x: 800, width: 1024, isPrimary: false },
    'a removed display is reported as last seen');
  assert.deepEqual(seen[2][1], { ...display1, x: -800, scaleFactor: 2 });

  // A change that leaves the displays as they were emits nothing; the primary moving does.
  d.changeWorld({ displays: [display(3, 0, 640), display(1, -800, 800, { main: true, scale: 2 })] });
  d.changeWorld({ displays: [display(3, 0, 640, { main: true }), display(1, -800, 800, { scale: 2 })] });
  const more = await until(seen, 5);
  assert.deepEqual(more.slice(3), [['display-changed', 3, ['isPrimary']], ['display-changed', 1, ['isPrimary']]]);
  watcher.close();
});

test('phones, microphone apps and the permission: each kind from its own change', async () => {
  const phone = (uniqueId, media = ['muxed']) => ({ uniqueId, name: uniqueId, modelId: 'iPhone15,2', media,
    width: 1179, height: 2556 });
  const app = (objectId, pid, runningInput) => ({ objectId, pid, bundleId: `app.${pid}`, runningInput });
  // macOS may announce a phone already attached as the watch starts: it is not news either.
  d.setWorld({ timeScale: 0.01, phone: { devices: [phone('present')],
    notifications: [{ atMs: 0, event: 'connected', device: 'present' }] },
    desktop: { audio: { processes: [app(100, 5, false)] } } });
  const { watcher, seen } = record();
  await untilProbe((p) => p.watchObserving.length === 4);

  // A phone present when watching began is not news; a camera is no phone.
  d.changeWorld({ phone: { devices: [phone('present'), phone('new'), phone('camera', ['video'])] } });
  d.changeWorld({ phone: { devices: [phone('new')] } });
  await until(seen, 2);
  // Starting to record, a new process recording, one stopping. Changes that come
  // faster than the watch reads them are reported as one: each waits for its event.
  const changes = [[app(100, 5, true)], [app(100, 5, true), app(101, 6, true)], [app(101, 6, true)]];
  for (const [i, processes] of changes.entries()) {
    d.changeWorld({ desktop: { audio: { processes } } });
    await until(seen, 3 + i);
  }
  d.changeWorld({ screen: { permission: 'denied' } });
  const events = await until(seen, 6);
  assert.deepEqual(events, [
    ['ios-device-added', { uniqueId: 'new', name: 'new', modelId: 'iPhone15,2', width: 1179, height: 2556 }],
    ['ios-device-removed', { uniqueId: 'present', name: 'present', modelId: 'iPhone15,2', width: 1179, height: 2556 }],
    ['microphone-apps-changed', [{ pid: 5, bundleId: 'app.5' }]],
    ['microphone-apps-changed', [{ pid: 5, bundleId: 'app.5' }, { pid: 6, bundleId: 'app.6' }]],
    ['microphone-apps-changed', [{ pid: 6, bundleId: 'app.6' }]],
    ['screen-capture-access-changed', 'denied'],
  ]);
  watcher.close();
});

test('observers run only while a listener wants their kind, and nothing comes after close()', async () => {
  await untilProbe((p) => p.watchObserving.length === 0);
  d.setWorld({ displays: [display(1, 0, 800)], desktop: { audio: { processes: [{ objectId: 7, pid: 9 }] } } });
  const watcher = d.watch();
  const seen = [];
  const onMic = (apps) => seen.push(apps);
  assert.deepEqual(d.probe().watchers, 0, 'a watcher without listeners holds nothing');
  watcher.on('microphone-apps-changed', onMic);
  const running = await untilProbe((p) => p.audioListeners === 2);
  assert.deepEqual([running.watchObserving, running.displayCallbacks, running.audioListeners],
    [['microphoneApps'], 0, 2], 'the process list and the one process');

  d.changeWorld({ displays: [display(1, 0, 900)] });
  watcher.off('microphone-apps-changed', onMic);
  assert.deepEqual((await untilProbe((p) => p.audioListeners === 0)).watchObserving, []);

  // Events already queued when close() runs are dropped with it.
  watcher.on('display-changed', (info) => seen.push(info));
  await sleep(50);
  d.changeWorld({ displays: [display(1, 0, 1000)] });
  watcher.close();
  await sleep(100);
  assert.deepEqual(seen, []);
  const after = await untilProbe((p) => p.displayCallbacks === 0);
  assert.deepEqual([after.watchers, after.watchObserving, after.displayCallbacks, after.audioListeners],
    [0, [], 0, 0]);
  assert.equal(watcher.closed, true);
  watcher.close();  // a second close is harmless
});

test('a throwing listener is an uncaught exception, and the next events still come', async () => {
  const r = await runNodeAsync(`
    const d = require('./testing.js');
    const rect = (x) => ({ x, y: 0, width: 100, height: 100 });
    d.setWorld({ displays: [{ id: 1, bounds: rect(0) }] });
    const w = d.watch();
    const seen = [];
    process.on('uncaughtException', (e) => seen.push('uncaught: ' + e.message));
    w.on('display-changed', (info) => { seen.push(info.x); if (info.x === 10) throw new Error('listener broke'); });
    setTimeout(() => { d.changeWorld({ displays: [{ id: 1, bounds: rect(10) }] }); }, 50);
    setTimeout(() => { d.changeWorld({ displays: [{ id: 1, bounds: rect(20) }] }); }, 300);
    setTimeout(() => { console.log(JSON.stringify(seen)); w.close(); }, 600);
  `);
  assert.deepEqual(lastJson(r), [10, 'uncaught: listener broke', 20]);
});

test('watchers in Workers, a Worker torn down with one open, and a process ending with one open', async () => {
  const r = await runNodeAsync(`
    const { Worker } = require('worker_threads');
    const d = require('./testing.js');
    const rect = (width) => ({ x: 0, y: 0, width, height: 100 });
    d.setWorld({ displays: [{ id: 1, bounds: rect(100) }] });
    const body = \`
      const { parentPort } = require('worker_threads');
      const w = require('./testing.js').watch();
      w.on('display-changed', (info) => parentPort.postMessage(info.width));
      setInterval(() => {}, 1000);  // the watcher alone does not keep the Worker alive
      parentPort.postMessage('ready');\`;
    const workers = [0, 1].map(() => new Worker(body, { eval: true }));
    const got = [];
    let ready = 0;
    for (const w of workers) w.on('message', async (m) => {
      if (m === 'ready' && ++ready === 2) {
        await new Promise((r) => setTimeout(r, 50));
        d.changeWorld({ displays: [{ id: 1, bounds: rect(200) }] });
      } else if (m !== 'ready') {
        got.push(m);
        if (got.length === 2) {
          await workers[0].terminate();
          await new Promise((r) => setTimeout(r, 50));
          d.changeWorld({ displays: [{ id: 1, bounds: rect(300) }] });
        }
        if (got.length === 3) {
          await workers[1].terminate();
          await new Promise((r) => setTimeout(r, 100));
          const p = d.probe();
          // Left open on purpose: it must not keep this process alive.
          d.watch().on('display-added', () => {});
          console.log(JSON.stringify({ got, watchers: p.watchers, callbacks: p.displayCallbacks }));
        }
      }
    });
  `, { timeout: 30000 });
  assert.equal(r.status, 0, r.stderr);
  assert.deepEqual(lastJson(r), { got: [200, 200, 300], watchers: 0, callbacks: 0 });
});

test('the Screen Recording permission in three states through TCC, else as CoreGraphics answers', async () => {
  const states = {};
  for (const [library, code, permission] of [['fake', '0', 'denied'], ['fake', '1', 'granted'], ['fake', '2', 'granted'],
    ['fake', '7', 'granted'], ['fake-no-preflight', '2', 'denied'], [null, '2', 'granted']]) {
    const world = { screen: { permission }, ...(library && { tcc: { library } }) };
    const r = await runNodeAsync("console.log(JSON.stringify(require('./testing.js').getScreenCaptureAccess()))",
      { world, env: { FAKE_TCC_SCREEN_PREFLIGHT: code } });
    states[`${library} ${code} ${permission}`] = lastJson(r);
  }
  assert.deepEqual(states, {
    'fake 0 denied': 'granted', 'fake 1 granted': 'denied', 'fake 2 granted': 'not-determined',
    'fake 7 granted': 'granted', 'fake-no-preflight 2 denied': 'denied', 'null 2 granted': 'granted',
  });
});

test('without Screen Recording the window list withholds the titles of other processes\' windows', async () => {
  const windows = [{ id: 1, pid: process.pid, title: 'mine' }, { id: 2, pid: 4242, title: 'theirs' }];
  const titles = async () => (await d.listWindows()).map((w) => w.title);
  d.setWorld({ displays: [{ id: 1 }], windows });
  assert.deepEqual(await titles(), ['mine', 'theirs']);
  d.setWorld({ displays: [{ id: 1 }], windows, screen: { permission: 'denied' } });
  assert.deepEqual(await titles(), ['mine', null]);
});

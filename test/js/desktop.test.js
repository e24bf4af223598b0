'use strict';
// The desktop exports end to end over fake worlds and the scripted TCC
// libraries, and over the product build, where none of them exists.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const { Worker } = require('worker_threads');
const { runNodeAsync, lastJson } = require('./helpers/child');
const { d, product, root, later, sync, assertSettled, rect } = require('./helpers/world');

const TESTING = JSON.stringify(path.join(root, 'testing.js'));

test('bounds, notch and microphone apps: their values, null for nothing, malformed documents', async () => {
  d.setWorld({ desktop: {
    applications: [{ bundleId: 'com.example.editor', pid: 501 }],
    windows: [{ ownerPid: 501, bounds: rect(-1440, -120.5, 200, 150) }],
    screens: [{ frame: rect(2560, 0, 1512, 982), safeAreaTop: 32.5,
      auxiliaryTopLeft: rect(2560, 950, 662, 32), auxiliaryTopRight: rect(3410, 950, 662.25, 32) }],
    audio: { processes: [{ runningInput: true, pid: 900, bundleId: 'com.example.voice' }, { runningInput: true, pid: 12 }] },
  } });
  const bounds = d.getAppWindowBounds('com.example.editor');
  const notch = d.getNotchSize();
  assert.deepEqual(Object.entries(bounds), Object.entries(rect(-1440, -120.5, 200, 150)));
  assert.deepEqual(Object.entries(notch), [['width', 187.75], ['height', 32.5]]);
  assert.deepEqual(await d.listMicrophoneApps(), [{ pid: 900, bundleId: 'com.example.voice' }, { pid: 12, bundleId: '' }]);

  d.setWorld({ desktop: { audio: { processes: [{ runningInput: false, pid: 3 }] } } });
  assert.deepEqual([d.getAppWindowBounds('com.example.editor'), d.getNotchSize(), await d.listMicrophoneApps()],
    [null, null, []]);
  d.setWorld({ desktop: { audio: { processObjectList: false } } });
  assert.equal(await d.listMicrophoneApps(), null);

  d.setWorld({ desktop: { rawAnswers: { app_window_bounds: '{"x":1,', notch_size: '{width: 3}',
    microphone_apps_json: '[{"pid":1}' } } });
  const malformed = { bounds: sync(() => d.getAppWindowBounds('a')), notch: sync(() => d.getNotchSize()),
    apps: await later(d.listMicrophoneApps()) };
  for (const [name, prefix] of [['bounds', 'window bounds'], ['notch', 'notch size'], ['apps', 'microphone app list']]) {
    assert.equal(malformed[name].code, 'GenericFailure');
    assert.equal(malformed[name].isError, true);
    assert.match(malformed[name].message, new RegExp(`^Malformed ${prefix}: .*\\d`));
  }
});

test('the window list: front to back, owners, withheld titles, displays; its ids capture', async () => {
  d.setWorld({
    applications: [{ bundleId: 'com.example.editor', pid: 501, name: 'Editor' }, { pid: 77, name: 'Dock' },
      { bundleId: 'com.example.dock', pid: 77 },
      { bundleId: 'com.example.late', pid: 9, name: 'Late', pending: true }],  // launched after AppKit's last update
    displays: [{ id: 1, main: true, bounds: rect(0, 0, 800, 600) }, { id: 2, bounds: rect(800, 0, 800, 600) }],
    windows: [{ id: 31, pid: 501, title: 'Notes', frame: rect(10, 10, 300, 200) },
      { id: 40, pid: 77, layer: 25, titleWithheld: true, frame: rect(700, 0, 200, 40) },
      { id: 41, pid: 9, frame: rect(-500.5, 0, 300, 200) }, { id: 42, pid: null, frame: rect(0, 0, 300, 200) },
      { id: 43, pid: 501, listBounds: 'unreadable' }],
  });
  // A Worker's thread cannot turn the main run loop, so it sees the list as it was.
  const fromWorker = await new Promise((resolve, reject) => {
    const w = new Worker(`require('worker_threads').parentPort.postMessage(
      require(${TESTING}).getAppWindowBounds('com.example.late'));`, { eval: true });
    w.once('message', resolve);
    w.once('error', reject);
  });
  const list = await d.listWindows();
  const shot = await d.captureWindow(list[0].id);
  const listed = (id, pid, appId, appName, title, [x, y, width, height], layer, displayId) =>
    ({ id, pid, appId, appName, title, x, y, width, height, layer, displayId });
  assert.deepEqual(list, [
    listed(31, 501, 'com.example.editor', 'Editor', 'Notes', [10, 10, 300, 200], 0, 1),
    listed(40, 77, null, 'Dock', null, [700, 0, 200, 40], 25, 2),
    listed(41, 9, 'com.example.late', 'Late', '', [-500.5, 0, 300, 200], 0, null),
  ]);
  assert.deepEqual(Object.keys(list[0]), Object.keys(listed(0, 0, 0, 0, 0, [])));
  assert.deepEqual([shot.width, shot.height], [300, 200]);
  assert.equal(fromWorker, null);
  assert.deepEqual(d.getAppWindowBounds('com.example.late'), rect(-500.5, 0, 300, 200));
});

test('Screen Recording: the check, the request, and the permission on refused captures only', async () => {
  const answers = async (world) => {
    d.setWorld({ screen: { displays: [{ id: 1, main: true }], windows: [{ id: 5, frame: rect(0, 0, 50, 50) }], ...world } });
    return [d.getScreenCaptureAccess(), await d.requestScreenCaptureAccess(),
      await later(d.captureDisplay({ displayId: 1 })), await later(d.captureWindow(5))];
  };
  const refused = (message, extra) => ({ code: 'GenericFailure', message, isError: true, ...extra });
  const declined = refused('Failed to get shareable content: No shareable content available: Content unavailable: '
    + 'The user declined TCCs for application, window, display capture', { permission: 'screen-recording' });
  assert.deepEqual(await answers({ permission: 'denied', permissionRequest: true }), ['denied', true, declined, declined]);
  const gone = refused('Failed to get shareable content: No shareable content available: Content unavailable: gone');
  assert.deepEqual(await answers({ permission: 'unknown', content: { error: 'gone' } }), ['unknown', false, gone, gone]);
  const [word, granted, display] = await answers({ screenshot: { error: 'boom' } });
  assert.deepEqual([word, granted, 'permission' in display], ['granted', true, false]);
});

// The scripted TCC library reads these at every call; set only while no call runs.
// The requests start first: the library is loaded once for them and the word.
async function permission({ library, count = 1, env = {} }) {
  d.setWorld({ tcc: { library } });
  for (const name of ['FAKE_TCC_PREFLIGHT', 'FAKE_TCC_GRANT', 'FAKE_TCC_MODE', 'FAKE_TCC_DELAY_MS']) delete process.env[name];
  Object.assign(process.env, env);
  const requests = Promise.all(Array.from({ length: count }, () => d.requestSystemAudioAccess()));
  const word = d.getSystemAudioAccess();
  const answers = await requests;
  await assertSettled();
  return { word, answers };
}

test('concurrent audio requests each settle with the answer, without holding up the JavaScript thread', async () => {
  let ticks = 0;
  const timer = setInterval(() => ticks++, 20);
  const granted = await permission({ library: 'fake', count: 6,
    env: { FAKE_TCC_MODE: 'thread', FAKE_TCC_DELAY_MS: '500', FAKE_TCC_PREFLIGHT: '0' } });
  clearInterval(timer);
  assert.deepEqual(granted, { word: 'granted', answers: [true, true, true, true, true, true] });
  assert.ok(ticks >= 5, `the event loop stalled: ${ticks} ticks`);
  const refused = await permission({ library: 'fake', env: { FAKE_TCC_MODE: 'sync', FAKE_TCC_GRANT: '0', FAKE_TCC_PREFLIGHT: '2' } });
  assert.deepEqual(refused, { word: 'not-determined', answers: [false] });
});

test('a TCC library without one of the functions answers what it can', async () => {
  const noRequest = await permission({ library: 'fake-no-request', count: 2, env: { FAKE_TCC_PREFLIGHT: '1' } });
  const noPreflight = await permission({ library: 'fake-no-preflight', count: 1, env: { FAKE_TCC_GRANT: '0' } });
  assert.deepEqual(noRequest, { word: 'denied', answers: [null, null] });
  assert.deepEqual(noPreflight, { word: 'unknown', answers: [false] });
});

test('a prompt that is never answered keeps its Promise pending and the call in flight', async () => {
  // The pending request would keep this process alive: a child that exits by itself.
  const r = await runNodeAsync(`
    const d = require(${TESTING});
    d.setWorld({ tcc: { library: 'fake' } });
    let settled = false;
    d.requestSystemAudioAccess().finally(() => { settled = true; });
    setTimeout(() => {
      console.log(JSON.stringify({ settled, inFlight: d.probe().callsInFlight }));
      process.exit(0);
    }, 100);
  `, { env: { FAKE_TCC_MODE: 'never' }, abruptEnd: true });
  assert.equal(r.status, 0, r.stderr);
  assert.deepEqual(lastJson(r), { settled: false, inFlight: 1 });
});

test('the product build has no desktop facilities here', async () => {
  assert.deepEqual([product.getAppWindowBounds('com.apple.finder'), product.getNotchSize(), await product.listMicrophoneApps(),
    product.getSystemAudioAccess(), await product.requestSystemAudioAccess(), await product.listWindows(),
    product.getScreenCaptureAccess(), await product.requestScreenCaptureAccess()],
  [null, null, null, 'unknown', null, [], 'unknown', false]);
  assert.deepEqual(sync(() => product.getAppWindowBounds('com.apple\u0000finder')),
    { code: 'GenericFailure', message: 'Bundle ID contained a null byte', isError: true });
});

'use strict';
// The desktop exports end to end: window bounds, notch size, microphone apps
// and the system-audio permission, over fake worlds installed with setWorld
// and the scripted TCC libraries, and over the product build, where none of
// these facilities exists.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const { Worker } = require('worker_threads');
const { runNodeAsync, lastJson } = require('./helpers/child');
const { d, product, root, later, sync, assertSettled, rect } = require('./helpers/world');

// The scripted TCC library reads these at every call; set only while no call runs.
function tccEnv(vars) {
  for (const name of ['FAKE_TCC_PREFLIGHT', 'FAKE_TCC_GRANT', 'FAKE_TCC_MODE', 'FAKE_TCC_DELAY_MS']) delete process.env[name];
  Object.assign(process.env, vars);
}


test('bounds, notch and microphone apps come from the desktop', async () => {
  const world = {
    desktop: {
      applications: [
        { bundleId: 'com.example.editor', pid: 501 },
        { bundleId: 'com.example.editor.helper', pid: 600 },
        { pid: 77 },
        { bundleId: 'com.example.editor', pid: 502 },
      ],
      windows: [
        { ownerPid: 501, layer: 25, bounds: rect(0, 0, 3000, 40) },
        { ownerPid: 501, bounds: rect(0, 0, 199.5, 800) },
        { ownerPid: 600, bounds: rect(1, 1, 640, 480) },
        { ownerPid: 502, layer: 0, bounds: rect(-1440, -120.5, 200, 150) },
        { ownerPid: 501, bounds: rect(0, 0, 1600, 1000) },
      ],
      screens: [
        { frame: rect(0, 0, 2560, 1440), safeAreaTop: 0 },
        { frame: rect(2560, 0, 1512, 982), safeAreaTop: 32.5,
          auxiliaryTopLeft: rect(2560, 950, 662, 32), auxiliaryTopRight: rect(3410, 950, 662.25, 32) },
      ],
      audio: {
        processes: [
          { runningInput: true, pid: 900, bundleId: 'com.example.voice' },
          { runningInput: false, pid: 901, bundleId: 'com.example.player' },
          { runningInput: true, pid: 12 },
          { runningInput: true, pid: 900, bundleId: 'com.example.voice' },
          { runningInput: true, pid: 13, pidStatus: 560947818, bundleId: 'com.example.nopid' },
          { runningInput: true, pid: 5, bundleId: 'com.example.a' },
        ],
      },
    },
  };
  d.setWorld(world);
  const bounds = d.getAppWindowBounds('com.example.editor');
  const out = {
    bounds, keys: Object.keys(bounds),
    helper: d.getAppWindowBounds('com.example.editor.helper.sub'),
    reverse: d.getAppWindowBounds('com.example'),
    empty: d.getAppWindowBounds(''),
    notch: d.getNotchSize(), notchKeys: Object.keys(d.getNotchSize()),
    apps: await d.listMicrophoneApps(),
  };
  assert.deepEqual(out.bounds, rect(-1440, -120.5, 200, 150));
  assert.deepEqual(out.keys, ['x', 'y', 'width', 'height']);
  assert.deepEqual(out.helper, rect(1, 1, 640, 480));
  assert.equal(out.reverse, null);
  assert.equal(out.empty, null);
  assert.deepEqual(out.notch, { width: 187.75, height: 32.5 });
  assert.deepEqual(out.notchKeys, ['width', 'height']);
  assert.deepEqual(out.apps, [
    { pid: 900, bundleId: 'com.example.voice' },
    { pid: 12, bundleId: '' },
    { pid: 900, bundleId: 'com.example.voice' },
    { pid: 5, bundleId: 'com.example.a' },
  ]);
});

test('the window list: front to back, owners, withheld titles, displays; its ids capture', async () => {
  d.setWorld({
    applications: [
      { bundleId: 'com.example.editor', pid: 501, name: 'Editor' },
      { pid: 77, name: 'Dock' },
      { bundleId: 'com.example.dock', pid: 77 },
      // Launched after AppKit last updated its list.
      { bundleId: 'com.example.late', pid: 9, name: 'Late', pending: true },
    ],
    displays: [{ id: 1, main: true, bounds: rect(0, 0, 800, 600) }, { id: 2, bounds: rect(800, 0, 800, 600) }],
    windows: [
      { id: 31, pid: 501, title: 'Notes', frame: rect(10, 10, 300, 200) },
      { id: 40, pid: 77, layer: 25, titleWithheld: true, frame: rect(700, 0, 200, 40) },
      { id: 41, pid: 9, frame: rect(-500.5, 0, 300, 200) },
      { id: 42, pid: null, frame: rect(0, 0, 300, 200) },
      { id: 43, pid: 501, listBounds: 'unreadable' },
    ],
  });
  // A Worker's thread cannot turn the main run loop, so it sees the list as it was.
  const fromWorker = await new Promise((resolve, reject) => {
    const w = new Worker(`require('worker_threads').parentPort.postMessage(
      require(${JSON.stringify(require.resolve('../../testing.js'))}).getAppWindowBounds('com.example.late'));`,
    { eval: true });
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
  assert.deepEqual(Object.keys(list[0]), ['id', 'pid', 'appId', 'appName', 'title', 'x', 'y', 'width', 'height', 'layer', 'displayId']);
  assert.deepEqual([shot.width, shot.height], [300, 200]);
  assert.equal(fromWorker, null);
  assert.deepEqual(d.getAppWindowBounds('com.example.late'), rect(-500.5, 0, 300, 200));
});

test('Screen Recording: the check, the request, and the permission on refused captures only', async () => {
  const screen = { displays: [{ id: 1, main: true }], windows: [{ id: 5, frame: rect(0, 0, 50, 50) }] };
  const answers = async (world) => {
    d.setWorld({ screen: { ...screen, ...world } });
    return {
      word: d.getScreenCaptureAccess(),
      granted: await d.requestScreenCaptureAccess(),
      display: await later(d.captureDisplay({ displayId: 1 })),
      window: await later(d.captureWindow(5)),
    };
  };
  const declined = 'Failed to get shareable content: No shareable content available: Content unavailable: '
    + 'The user declined TCCs for application, window, display capture';
  const refused = { code: 'GenericFailure', message: declined, isError: true, permission: 'screen-recording' };
  assert.deepEqual(await answers({ permission: 'denied', permissionRequest: true }),
    { word: 'denied', granted: true, display: refused, window: refused });
  assert.deepEqual(await answers({ screenshot: { error: 'boom' } }), {
    word: 'granted', granted: true,
    display: { code: 'GenericFailure', message: 'Screenshot capture failed: Screenshot capture failed: Screenshot error: boom', isError: true },
    window: { code: 'GenericFailure', message: 'Window screenshot capture failed: Screenshot capture failed: Screenshot error: boom', isError: true },
  });
  const gone = { code: 'GenericFailure', isError: true,
    message: 'Failed to get shareable content: No shareable content available: Content unavailable: gone' };
  assert.deepEqual(await answers({ permission: 'unknown', content: { error: 'gone' } }),
    { word: 'unknown', granted: false, display: gone, window: gone });
});

test('nothing to report is null, and an empty microphone list is []', async () => {
  d.setWorld({ desktop: {
    applications: [{ bundleId: 'com.example.editor', pid: 501 }],
    windowListAvailable: false,
    screens: [{ frame: rect(0, 0, 1512, 982), safeAreaTop: 32,
      auxiliaryTopLeft: rect(0, 0, 756, 32), auxiliaryTopRight: rect(756, 0, 756, 32) }],
    audio: { processes: [{ runningInput: false, pid: 3 }] },
  } });
  const none = { bounds: d.getAppWindowBounds('com.example.editor'), notch: d.getNotchSize(),
    apps: await d.listMicrophoneApps() };
  d.setWorld({ desktop: { audio: { processObjectList: false } } });
  const noList = { apps: await d.listMicrophoneApps() };
  d.setWorld({ desktop: { audio: { listReadStatus: 1, processes: [{ runningInput: true, pid: 3 }] } } });
  const unreadable = { apps: await d.listMicrophoneApps() };
  assert.deepEqual(none, { bounds: null, notch: null, apps: [] });
  assert.deepEqual(noList, { apps: null });
  assert.deepEqual(unreadable, { apps: null });
});

test('a NUL in the bundle identifier throws before the native call', async () => {
  // Were the native side asked, its malformed answer would be the error.
  d.setWorld({ desktop: { rawAnswers: { app_window_bounds: 'not json' } } });
  const out = { nul: sync(() => d.getAppWindowBounds('com.example\u0000x')),
    asked: sync(() => d.getAppWindowBounds('com.example')) };
  assert.deepEqual(out.nul, { code: 'GenericFailure', message: 'Bundle ID contained a null byte', isError: true });
  assert.equal(out.asked.code, 'GenericFailure');
  assert.match(out.asked.message, /^Malformed window bounds: ./);
});

test('malformed documents fail with their prefix; odd fields are read leniently', async () => {
  const all = async (rawAnswers) => {
    d.setWorld({ desktop: { rawAnswers } });
    return { bounds: sync(() => d.getAppWindowBounds('a')), notch: sync(() => d.getNotchSize()),
      apps: await later(d.listMicrophoneApps()) };
  };
  const broken = await all({ app_window_bounds: '{"x":1,', notch_size: '{width: 3}', microphone_apps_json: '[{"pid":1}' });
  const trailing = await all({ app_window_bounds: '{"x":1,"y":2,"width":3,"height":4}x',
    notch_size: '{"width":3,"height":4} {}', microphone_apps_json: '[] ]' });
  const notArray = await all({ microphone_apps_json: { pid: 5, bundleId: 'x' } });
  const lenient = await all({
    app_window_bounds: '{"x":"7","y":true,"width":-3,"height":1.5e2}\n',
    notch_size: { width: 10 },
    microphone_apps_json: '[{"pid":0,"bundleId":"zero"},{"pid":4,"bundleId":5},{"pid":-1},' +
      '{"pid":2.5},{"pid":"8"},null,{"pid":4294967295,"bundleId":"max"},{"pid":7,"bundleId":"b"}]',
  });
  const nulls = await all({ app_window_bounds: null, notch_size: null, microphone_apps_json: null });
  for (const out of [broken, trailing]) {
    assert.equal(out.bounds.code, 'GenericFailure');
    assert.match(out.bounds.message, /^Malformed window bounds: .*\d/);
    assert.equal(out.notch.code, 'GenericFailure');
    assert.match(out.notch.message, /^Malformed notch size: .*\d/);
    assert.equal(out.apps.code, 'GenericFailure');
    assert.equal(out.apps.isError, true);
    assert.match(out.apps.message, /^Malformed microphone app list: .*\d/);
  }
  assert.deepEqual(notArray.apps, { code: 'GenericFailure', message: 'Microphone app list was not an array', isError: true });
  assert.deepEqual(lenient, {
    bounds: { value: { x: 0, y: 0, width: -3, height: 150 } },
    notch: { value: null },
    apps: { value: [{ pid: 4, bundleId: '' }, { pid: 4294967295, bundleId: 'max' }, { pid: 7, bundleId: 'b' }] },
  });
  assert.deepEqual(nulls, { bounds: { value: null }, notch: { value: null }, apps: { value: null } });
});

// The permission word, then `count` requests at once.
async function permission({ library, count = 1, env = {} }) {
  d.setWorld({ tcc: { library } });
  tccEnv(env);
  const word = d.getSystemAudioAccess();
  const answers = await Promise.all(Array.from({ length: count }, () => d.requestSystemAudioAccess()));
  await assertSettled();
  return { word, answers };
}

test('the permission word follows the preflight code', async () => {
  const codes = { 0: 'granted', 1: 'denied', 2: 'not-determined', 3: 'unknown', '-2': 'unknown' };
  const words = [];
  for (const code of Object.keys(codes)) {
    words.push((await permission({ library: 'fake', count: 0, env: { FAKE_TCC_PREFLIGHT: code } })).word);
  }
  assert.deepEqual(words, Object.values(codes));
});

test('a request resolves with what the completion reported, early or late', async () => {
  const cases = [
    [{ FAKE_TCC_MODE: 'sync', FAKE_TCC_GRANT: '1' }, true],
    [{ FAKE_TCC_MODE: 'sync', FAKE_TCC_GRANT: '0' }, false],
    [{ FAKE_TCC_MODE: 'thread', FAKE_TCC_GRANT: '1', FAKE_TCC_DELAY_MS: '150' }, true],
    [{ FAKE_TCC_MODE: 'thread', FAKE_TCC_GRANT: '0', FAKE_TCC_DELAY_MS: '50' }, false],
  ];
  for (const [env, granted] of cases) {
    assert.deepEqual((await permission({ library: 'fake', env })).answers, [granted], JSON.stringify(env));
  }
});

test('concurrent requests each settle, without holding up the JavaScript thread', async () => {
  d.setWorld({ tcc: { library: 'fake' } });
  tccEnv({ FAKE_TCC_MODE: 'thread', FAKE_TCC_DELAY_MS: '500', FAKE_TCC_PREFLIGHT: '0' });
  let ticks = 0;
  const timer = setInterval(() => ticks++, 20);
  const answers = await Promise.all(Array.from({ length: 6 }, () => d.requestSystemAudioAccess()));
  clearInterval(timer);
  assert.deepEqual(answers, [true, true, true, true, true, true]);
  assert.ok(ticks >= 5, `the event loop stalled: ${ticks} ticks`);
  assert.equal(d.getSystemAudioAccess(), 'granted');
});

test('a library without one of the functions, or no library, answers what it can', async () => {
  const noRequest = await permission({ library: 'fake-no-request', count: 2, env: { FAKE_TCC_PREFLIGHT: '1' } });
  const noPreflight = await permission({ library: 'fake-no-preflight', count: 1, env: { FAKE_TCC_GRANT: '0' } });
  const missing = await permission({ library: '/nonexistent/deskcap/libTCC.so', count: 1, env: { FAKE_TCC_PREFLIGHT: '0' } });
  assert.deepEqual(noRequest, { word: 'denied', answers: [null, null] });
  assert.deepEqual(noPreflight, { word: 'unknown', answers: [false] });
  assert.deepEqual(missing, { word: 'unknown', answers: [null] });
});

test('a prompt that is never answered keeps its Promise pending and the call in flight', async () => {
  // The pending request would keep this process alive: a child that exits by itself.
  const r = await runNodeAsync(`
    const d = require(${JSON.stringify(path.join(root, 'testing.js'))});
    d.setWorld({ tcc: { library: 'fake' } });
    let settled = false;
    d.requestSystemAudioAccess().finally(() => { settled = true; });
    setTimeout(() => {
      let refused = null;
      try { d.setWorld({}); } catch (e) { refused = e.code + ': ' + e.message; }
      console.log(JSON.stringify({ settled, inFlight: d.probe().callsInFlight, refused }));
      process.exit(0);
    }, 100);
  `, { env: { FAKE_TCC_MODE: 'never' }, abruptEnd: true });
  assert.equal(r.status, 0, r.stderr);
  assert.deepEqual(lastJson(r), { settled: false, inFlight: 1,
    refused: 'GenericFailure: setWorld: 1 call(s) of the previous world are still in flight; await them first' });
});

test('the product build has no desktop facilities here', async () => {
  const out = {
    bounds: product.getAppWindowBounds('com.apple.finder'),
    notch: product.getNotchSize(),
    apps: await product.listMicrophoneApps(),
    word: product.getSystemAudioAccess(),
    granted: await product.requestSystemAudioAccess(),
    nul: sync(() => product.getAppWindowBounds('com.apple\u0000finder')),
    windows: await product.listWindows(),
    screenWord: product.getScreenCaptureAccess(),
    screenGranted: await product.requestScreenCaptureAccess(),
  };
  assert.deepEqual(out, {
    bounds: null, notch: null, apps: null, word: 'unknown', granted: null,
    windows: [], screenWord: 'unknown', screenGranted: false,
    nul: { code: 'GenericFailure', message: 'Bundle ID contained a null byte', isError: true },
  });
});

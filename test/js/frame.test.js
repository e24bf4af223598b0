'use strict';
// The module frame: the export table, argument errors, error objects, Promise
// settlement, worker_threads environments and Buffers.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const fs = require('fs');
const { spawnSync } = require('child_process');
const { runNodeAsync, lastJson, root } = require('./helpers/child');
const { d: testing, product, later, assertSettled } = require('./helpers/world');

const INDEX = JSON.stringify(path.join(root, 'index.js'));

const EXPORTS = Object.keys(require(path.join(root, 'lib', 'exports.js')));

test('exactly the seventeen exports, each a function named for itself; testing adds setWorld, changeWorld and probe', () => {
  for (const [mod, names] of [[product, EXPORTS], [testing, [...EXPORTS, 'setWorld', 'changeWorld', 'probe']]]) {
    assert.deepEqual(Object.entries(mod).map(([key, fn]) => [key, typeof fn, fn.name]).sort(),
      names.map((name) => [name, 'function', name]).sort());
  }
});

test('every Node-API function the addon calls is one the macOS link leaves to the host', () => {
  // The Mac link allows exactly these symbols to stay undefined; any other fails it.
  const buildDir = path.resolve(root, process.env.DESKCAP_BUILD_DIR || 'build');
  const allowed = new Set(fs.readFileSync(path.join(buildDir, 'node_api_symbols.txt'), 'utf8').split('\n'));
  const nm = spawnSync('nm', ['-u', '--format=just-symbols', path.join(buildDir, 'deskcap.node')], { encoding: 'utf8' });
  assert.equal(nm.status, 0, nm.stderr);
  const used = nm.stdout.split('\n').filter((name) => /^(napi|node_api)_/.test(name));
  assert.ok(used.includes('napi_create_promise'), 'nm lists the undefined Node-API symbols');
  assert.deepEqual(used.filter((name) => !allowed.has(name)), []);
});

test('argument errors are thrown at once with message and code; valid options return a Promise', async () => {
  const display = (options) => () => product.captureDisplay(options);
  const cases = [
    [() => product.captureWindow(), 'NumberExpected', /Undefined/],
    [() => product.captureWindow('5'), 'NumberExpected', /String/],
    [() => product.getAppWindowBounds(42), 'StringExpected', /Number/],
    [() => product.captureIosDevice(), 'StringExpected', /Undefined/],
    [display({}), 'InvalidArg', 'Missing field `displayId`'],
    [display(7), 'InvalidArg', 'Missing field `displayId`'],  // a number converts to an object without the field
    [display({ displayId: 'one' }), 'NumberExpected', /^Failed to convert .*String.* on CaptureOptions\.displayId$/],
    [display({ displayId: 1, excludeWindowIds: 5 }), 'InvalidArg',
      'Given napi value is not an array on CaptureOptions.excludeWindowIds'],
    [display({ displayId: 1, excludeWindowIds: [1, 'x'] }), 'NumberExpected', /on CaptureOptions\.excludeWindowIds$/],
    [display({ displayId: 1, cropBounds: {} }), 'InvalidArg', 'Missing field `x` on CaptureOptions.cropBounds'],
    [display({ displayId: 1, cropBounds: { x: 0, y: 0, width: 1 } }), 'InvalidArg',
      'Missing field `height` on CaptureOptions.cropBounds'],
    [display({ displayId: 1, cropBounds: { x: 0, y: 0, width: '1', height: 1 } }), 'NumberExpected',
      /^Failed to convert .* on CropBounds\.width on CaptureOptions\.cropBounds$/],
  ];
  for (const [call, code, message] of cases) assert.throws(call, { name: 'Error', code, message });
  // Reading a property of null or undefined leaves V8's TypeError pending; it wins.
  assert.throws(display(undefined), TypeError);
  assert.throws(display({ displayId: 1, cropBounds: null }), TypeError);

  // Undefined cropBounds and an empty exclusion list are no crop.
  for (const call of [display({ displayId: 1 }), display({ displayId: 1, excludeWindowIds: [] }),
    display({ displayId: 1, cropBounds: undefined }), () => product.captureWindow(5)]) {
    const p = call();
    assert.ok(p instanceof Promise);
    await assert.rejects(p, { name: 'Error', code: 'GenericFailure' });
  }
});

test('a throwing getter reaches the caller unchanged and no Promise is returned', () => {
  const boom = new RangeError('from the getter');
  let result = 'untouched';
  assert.throws(() => { result = product.captureDisplay({ displayId: 1, get excludeWindowIds() { throw boom; } }); },
    (e) => e === boom);
  assert.equal(result, 'untouched');
  assert.throws(() => product.captureDisplay(new Proxy({}, { get() { throw boom; } })), (e) => e === boom);
});

test('synchronous exports ignore arguments they do not read', () => {
  assert.equal(product.getSystemAudioAccess(1, 2, 3), product.getSystemAudioAccess());
  assert.deepEqual(product.getNotchSize('x', {}), product.getNotchSize());
});

// The test switches are read as each call's work starts or each Buffer is
// made: set them only while nothing else runs in this process.
async function withEnv(name, value, call) {
  process.env[name] = value;
  try { return await later(call()); } finally { delete process.env[name]; }
}

test('faults in work reject with GenericFailure and the fault text', async () => {
  testing.setWorld({});
  const scheduler = await withEnv('DESKCAP_TEST_FAULT', 'getDisplays', () => testing.getDisplays());
  assert.deepEqual(scheduler, { code: 'GenericFailure', message: 'injected fault in getDisplays', isError: true });
  const blocking = await withEnv('DESKCAP_TEST_FAULT', 'usbAppleDeviceCount', () => testing.usbAppleDeviceCount());
  await assertSettled();
  assert.equal(blocking.code, 'GenericFailure');
  assert.match(blocking.message,
    /^Device work did not finish: task \d+ panicked with message "injected fault in usbAppleDeviceCount"$/);
});

test('Worker environments share the pool; when the last one ends, a later Worker starts it again', async () => {
  // Only Workers load the addon in this process: two at once, terminating one
  // leaves the other working; then, one at a time, each the only environment.
  const r = await runNodeAsync(`
    const { Worker } = require('worker_threads');
    const once = (w, event) => new Promise((resolve) => w.once(event, resolve));
    const worker = () => new Worker(\`
      const { parentPort } = require('worker_threads');
      const d = require(${INDEX});
      parentPort.postMessage({ names: Object.keys(d).length });
      parentPort.on('message', async (m) => {
        if (m === 'work') parentPort.postMessage({ count: await d.usbAppleDeviceCount(), log: await d.takeIosLog() });
        if (m === 'quit') process.exit(0);
      });
    \`, { eval: true });
    (async () => {
      const a = worker(), b = worker();
      const loaded = (await Promise.all([once(a, 'message'), once(b, 'message')])).map((m) => m.names);
      await a.terminate();
      b.postMessage('work');
      const answers = [await once(b, 'message')];
      await b.terminate();
      for (let i = 0; i < 3; i++) {
        const w = worker();
        await once(w, 'message');
        w.postMessage('work');
        answers.push(await once(w, 'message'));
        w.postMessage('quit');
        await once(w, 'exit');
      }
      console.log(JSON.stringify({ loaded, answers: answers.map((m) => [typeof m.count, Array.isArray(m.log)]) }));
    })();
  `);
  assert.equal(r.status, 0, r.stderr);
  assert.deepEqual(lastJson(r), { loaded: [EXPORTS.length, EXPORTS.length], answers: Array(4).fill(['number', true]) });
});

test('every result object is a plain object of data properties in a fixed order', async () => {
  testing.setWorld({
    screen: { displays: [{ id: 1, main: true, bounds: { x: 0, y: 0, width: 64, height: 48 }, scale: 2,
      notch: { width: 20, height: 4 } }],
    windows: [{ id: 7, pid: 1, frame: { x: 8, y: 8, width: 20, height: 10 }, fill: '#ff8000' }] },
    desktop: { applications: [{ bundleId: 'com.example.editor', pid: 501 }],
      windows: [{ ownerPid: 501, bounds: { x: -1440, y: -120.5, width: 200, height: 150 } }],
      audio: { processes: [{ runningInput: true, pid: 900, bundleId: 'com.example.voice' }] } },
    phone: { devices: [{ uniqueId: 'A1', name: 'Ana', modelId: 'iPhone15,2', media: ['muxed'], width: 1179, height: 2556 }] },
  });
  // Each own key, marked when it is anything but a writable, enumerable,
  // configurable data property.
  const layout = (o) => [Object.getPrototypeOf(o) === Object.prototype, ...Reflect.ownKeys(o).map((key) => {
    const p = Object.getOwnPropertyDescriptor(o, key);
    return 'value' in p && p.writable && p.enumerable && p.configurable ? key : `${String(key)}!`;
  })];
  const answers = {
    display: await testing.getDisplays(), image: [await testing.captureDisplay({ displayId: 1 })],
    window: await testing.listWindows(), app: await testing.listMicrophoneApps(), device: await testing.listIosDevices(),
    bounds: [testing.getAppWindowBounds('com.example.editor')], notch: [testing.getNotchSize()],
  };
  const layouts = Object.fromEntries(Object.entries(answers).map(([kind, list]) => [kind, list.map(layout)]));
  const windowKeys = [true, 'id', 'pid', 'appId', 'appName', 'title', 'x', 'y', 'width', 'height', 'layer', 'displayId'];
  assert.deepEqual(layouts, {
    display: [[true, 'id', 'name', 'x', 'y', 'width', 'height', 'scaleFactor', 'isPrimary']],
    image: [[true, 'buffer', 'width', 'height', 'format', 'scale']],
    window: [windowKeys, windowKeys],
    app: [[true, 'pid', 'bundleId']],
    device: [[true, 'uniqueId', 'name', 'modelId', 'width', 'height']],
    bounds: [[true, 'x', 'y', 'width', 'height']],
    notch: [[true, 'width', 'height']],
  });
});

test('a host that refuses external buffers gets a correct copy', async () => {
  testing.setWorld({ screen: {
    displays: [{ id: 1, main: true, bounds: { x: 0, y: 0, width: 64, height: 48 }, scale: 2, background: '#204060' }],
    windows: [{ id: 7, pid: 1, frame: { x: 8, y: 8, width: 20, height: 10 }, fill: '#ff8000' }],
  } });
  const external = await testing.captureDisplay({ displayId: 1 });
  const { value: copied } = await withEnv('DESKCAP_TEST_REFUSE_EXTERNAL_BUFFERS', '1',
    () => testing.captureDisplay({ displayId: 1 }));
  assert.deepEqual([Buffer.isBuffer(copied.buffer), copied.width, copied.height], [true, 128, 96]);
  assert.equal(copied.buffer.subarray(1, 4).toString(), 'PNG');
  assert.deepEqual(copied.buffer, external.buffer);
});

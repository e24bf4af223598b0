'use strict';
// The connected-phone exports end to end: over fake worlds installed with
// setWorld (which also starts the phone state afresh) and over the product
// build, where Linux shows no phone and the USB census reads sysfs.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { d, product, root, later, assertSettled } = require('./helpers/world');
const { runNodeAsync, lastJson } = require('./helpers/child');

const ID = '00008110-001E30D02E38802E';

const png = (image) => ({
  isBuffer: Buffer.isBuffer(image.buffer),
  signature: image.buffer.subarray(0, 8).toString('hex'),
  ihdrWidth: image.buffer.readUInt32BE(16),
  ihdrHeight: image.buffer.readUInt32BE(20),
  width: image.width,
  height: image.height,
  bytes: image.buffer.length,
  keys: Object.keys(image).sort(),
});

const phone = (extra = {}) => ({
  uniqueId: ID, name: "Ana's iPhone", modelId: 'iPhone15,2', media: ['muxed'], width: 1179, height: 2556,
  ...extra,
});
const scanLines = (counts) =>
  ['discovery_external_muxed', 'discovery_external_any', 'deprecated_muxed', 'deprecated_all', 'watch_session',
    'notification'].map((name, i) => {
    const [returned, fresh] = counts[i] || [0, 0];
    return `scan source=${name} returned=${returned} muxed_new=${fresh}`;
  });

test('a listing, the USB count and the log of a phone', async () => {
  const world = {
    phone: {
      devices: [phone()],
      usb: { services: [{ idVendor: 1452, idProduct: 4776, 'USB Product Name': 'iPhone',
        bNumConfigurations: 4, bConfigurationValue: 4 }] },
    },
  };
  d.setWorld(world);
  const out = {
    before: await d.takeIosLog(),
    list: await later(d.listIosDevices()),
    count: await later(d.usbAppleDeviceCount()),
    log: await d.takeIosLog(),
    again: await d.takeIosLog(),
  };
  assert.deepEqual(out.before, []);
  assert.deepEqual(out.list, {
    value: [{ uniqueId: ID, name: "Ana's iPhone", modelId: 'iPhone15,2', width: 1179, height: 2556 }],
  });
  assert.deepEqual(out.count, { value: 1 });
  assert.deepEqual(out.log, [
    'watching_for_devices',
    'list_begin camera_authorization=authorized os=Version 14.5 (Build 23F79)',
    'usb_apple_device name=iPhone vendor=0x05ac product=0x12a8 configs=4 active=4',
    'usb_scan total=1 apple=1',
    'enable_ok',
    ...scanLines([[1, 1], [1, 0], [1, 0], [1, 0], [1, 0]]),
    'list_found count=1 allow_screen_capture_flag=1',
    `capture_device name=Ana's iPhone type=AVCaptureDeviceTypeExternal media=muxed model_id=iPhone15,2 unique_id=${ID}`,
    'capture_devices total=1 with_video=1',
    'list_device id=00008110 model_id=iPhone15,2 1179x2556',
  ]);
  assert.deepEqual(out.again, []);
});

test('a capture resolves a PNG buffer of the rendered frame', async () => {
  const world = { phone: { devices: [phone({ capture: { frame: { width: 30, height: 20, color: [255, 0, 0, 255] } } })] } };
  d.setWorld(world);
  const out = { image: png(await d.captureIosDevice(ID)), log: await d.takeIosLog() };
  await assertSettled();
  assert.deepEqual(out.image, {
    isBuffer: true, signature: '89504e470d0a1a0a', ihdrWidth: 30, ihdrHeight: 20, width: 30, height: 20,
    bytes: out.image.bytes, keys: ['buffer', 'height', 'width'],
  });
  assert.equal(out.log.at(-2), "capture_session_starting name=Ana's iPhone 1179x2556");
  assert.equal(out.log.at(-1), `capture_ok id=00008110 30x20 bytes=${out.image.bytes}`);
});

test('failed captures reject with the native text, the status, or the NUL refusal', async () => {
  d.setWorld({ timeScale: 0.01, phone: { devices: [phone({ capture: { refuseOutput: true } })] } });
  const failures = {
    refused: await later(d.captureIosDevice(ID)),
    prefix: await later(d.captureIosDevice(ID.slice(0, 12))),
  };
  await assertSettled('refused output');
  assert.deepEqual(failures.refused, {
    code: 'GenericFailure', message: 'Video output was rejected by the capture session', isError: true,
  });
  assert.deepEqual(failures.prefix, { code: 'GenericFailure', message: 'Device is no longer connected', isError: true });

  const camera = 'Corvanta needs camera access to capture a connected phone. Grant it in System Settings > '
    + 'Privacy & Security > Camera.';
  d.setWorld({ phone: { devices: [phone()], camera: { status: 2 } } });
  const denied = { denied: await later(d.captureIosDevice(ID)), log: await d.takeIosLog() };
  await assertSettled('camera denied');
  assert.deepEqual(denied.denied, { code: 'GenericFailure', message: camera, isError: true, permission: 'camera' });
  assert.equal(denied.log.at(-1), 'camera_access_blocked status=denied');

  // "Device input was rejected by the capture session" is 48 bytes: its copy fails.
  d.setWorld({ allocation: { failSizes: [49] }, phone: { devices: [phone({ capture: { refuseInput: true } })] } });
  const bare = await later(d.captureIosDevice(ID));
  await assertSettled('refused input');
  assert.deepEqual(bare, { code: 'GenericFailure', message: 'Device capture failed with status 4', isError: true });

  d.setWorld({ phone: { devices: [phone()] } });
  const nul = { nul: await later(d.captureIosDevice('0000\u00008110')), log: await d.takeIosLog() };
  assert.deepEqual(nul, { nul: { code: 'GenericFailure', message: 'Device id contained a null byte', isError: true }, log: [] });
});

test('DESKCAP_IOS_LOG_STDERR=0 keeps the log off standard error, not out of takeIosLog', async () => {
  const body = `
    const d = require(${JSON.stringify(path.join(root, 'testing.js'))});
    d.setWorld({ phone: { devices: [{ uniqueId: 'p', media: ['muxed'] }] } });
    d.prewarmIosCapture().then(() => d.takeIosLog()).then((log) => console.log(JSON.stringify(log)));`;
  const quiet = await runNodeAsync(body, { env: { DESKCAP_IOS_LOG_STDERR: '0' } });
  const loud = await runNodeAsync(body, { env: { DESKCAP_IOS_LOG_STDERR: '1' } });
  assert.equal(quiet.status, 0, quiet.stderr);
  assert.deepEqual(lastJson(quiet), lastJson(loud));
  assert.equal(lastJson(quiet).at(-1), 'prewarm_done allow_flag=1');
  assert.doesNotMatch(quiet.stderr, /KR_IOS/);
  assert.match(loud.stderr, /^KR_IOS prewarm_done allow_flag=1$/m);
});

test('prewarm resolves undefined and leaves its sequence in the log', async () => {
  d.setWorld({ phone: { devices: [phone()] } });
  const first = await d.prewarmIosCapture();
  const firstLog = await d.takeIosLog();
  await d.prewarmIosCapture();
  const out = { first: first === undefined, firstLog, secondLog: await d.takeIosLog() };
  assert.equal(out.first, true);
  assert.deepEqual(out.firstLog, ['prewarm_begin', 'enable_ok', ...scanLines([[1, 1], [1, 0], [1, 0], [1, 0]]),
    'watching_for_devices', 'prewarm_done allow_flag=1']);
  assert.deepEqual(out.secondLog, ['prewarm_begin', ...scanLines([[1, 1], [1, 0], [1, 0], [1, 0], [1, 0]]),
    'prewarm_done allow_flag=1']);
});

test('a list that could not be copied rejects', async () => {
  // "[]" cannot be copied when enabling fails: the export has nothing to read.
  d.setWorld({ allocation: { failSizes: [3] }, phone: { screenCaptureProperty: { setStatus: -1 } } });
  const out = await later(d.listIosDevices());
  await assertSettled();
  assert.deepEqual(out, { code: 'GenericFailure', message: 'Could not enumerate connected devices', isError: true });
});

// Apple devices in a sysfs USB directory, counted here without the addon.
function sysfsAppleCount(dir) {
  if (!fs.existsSync(dir)) return 0;
  let count = 0;
  for (const name of fs.readdirSync(dir)) {
    try {
      if (fs.readFileSync(path.join(dir, name, 'idVendor'), 'utf8').trim() === '05ac') count += 1;
    } catch { /* an interface, or not a device */ }
  }
  return count;
}

test('product build: the machine shows no phone and counts its own USB devices', async () => {
  const out = {
    list: await later(product.listIosDevices()),
    count: await later(product.usbAppleDeviceCount()),
    capture: await later(product.captureIosDevice(ID)),
  };
  assert.deepEqual(out.list, { value: [] });
  assert.deepEqual(out.count, { value: sysfsAppleCount('/sys/bus/usb/devices') });
  assert.deepEqual(out.capture, { code: 'GenericFailure', message: 'Could not enable device screen capture', isError: true });
});

test('product build: the USB count of a built sysfs tree', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-usb-'));
  const device = (name, files) => {
    fs.mkdirSync(path.join(dir, name));
    for (const [file, value] of Object.entries(files)) fs.writeFileSync(path.join(dir, name, file), `${value}\n`);
  };
  device('usb1', { idVendor: '1d6b', idProduct: '0003' });
  device('1-1', { idVendor: '05ac', idProduct: '12a8', product: 'iPhone', bNumConfigurations: 4 });
  device('1-1:1.0', { bInterfaceClass: '06' });
  device('1-2', { idVendor: '05ac', idProduct: '0265' });
  try {
    // Read at every census; nothing else is running in this process now.
    process.env.DESKCAP_SYSFS_USB_ROOT = dir;
    const out = await later(product.usbAppleDeviceCount());
    delete process.env.DESKCAP_SYSFS_USB_ROOT;
    assert.deepEqual(out, { value: sysfsAppleCount(dir) });
    assert.equal(out.value, 2);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

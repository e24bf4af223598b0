'use strict';
// The connected-phone exports end to end, over fake worlds and over the
// product build, where Linux shows no phone.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const { d, product, root, later, assertSettled } = require('./helpers/world');
const { runNodeAsync, lastJson } = require('./helpers/child');

const ID = '00008110-001E30D02E38802E';
const phone = (extra = {}) => ({
  uniqueId: ID, name: "Ana's iPhone", modelId: 'iPhone15,2', media: ['muxed'], width: 1179, height: 2556, ...extra,
});
const failure = (message, extra) => ({ code: 'GenericFailure', message, isError: true, ...extra });

test('the listing, the USB count, the log and the prewarm of a phone', async () => {
  d.setWorld({ phone: { devices: [phone()], usb: { services: [{ idVendor: 1452, idProduct: 4776 }] } } });
  assert.deepEqual(await d.takeIosLog(), []);
  assert.deepEqual(await d.listIosDevices(),
    [{ uniqueId: ID, name: "Ana's iPhone", modelId: 'iPhone15,2', width: 1179, height: 2556 }]);
  assert.equal(await d.usbAppleDeviceCount(), 1);
  const log = await d.takeIosLog();
  assert.deepEqual([log[0], log.at(-1)], ['watching_for_devices', 'list_device id=00008110 model_id=iPhone15,2 1179x2556']);
  assert.deepEqual(await d.takeIosLog(), []);
  assert.equal(await d.prewarmIosCapture(), undefined);
  assert.equal((await d.takeIosLog()).at(-1), 'prewarm_done allow_flag=1');
});

test('a capture resolves a PNG of the frame, or rejects with the native text and the camera permission', async () => {
  d.setWorld({ phone: { devices: [phone({ capture: { frame: { width: 30, height: 20, color: [255, 0, 0, 255] } } })] } });
  const image = await d.captureIosDevice(ID);
  assert.deepEqual(Object.keys(image).sort(), ['buffer', 'height', 'width']);
  assert.deepEqual([Buffer.isBuffer(image.buffer), image.buffer.subarray(0, 8).toString('hex'),
    image.buffer.readUInt32BE(16), image.buffer.readUInt32BE(20), image.width, image.height],
  [true, '89504e470d0a1a0a', 30, 20, 30, 20]);

  // Out of memory is a failure of its own, not a refused permission.
  const frame = { capture: { frame: { width: 30, height: 20, color: [255, 0, 0, 255] } } };
  d.setWorld({ phone: { devices: [phone(frame)] }, allocation: { failSizes: [image.buffer.length] } });
  assert.deepEqual(await later(d.captureIosDevice(ID)), failure('Ran out of memory encoding the captured frame'));
  d.setWorld({ phone: { devices: [phone({ capture: { refuseOutput: true } })] } });
  assert.deepEqual(await later(d.captureIosDevice(ID)), failure('Video output was rejected by the capture session'));
  d.setWorld({ phone: { devices: [phone()], camera: { status: 2 } } });
  assert.deepEqual(await later(d.captureIosDevice(ID)), failure('Corvanta needs camera access to capture a '
    + 'connected phone. Grant it in System Settings > Privacy & Security > Camera.', { permission: 'camera' }));
  await assertSettled();
});

test('DESKCAP_IOS_LOG_STDERR=0 keeps the log off standard error, not out of takeIosLog', async () => {
  const body = `
    const d = require(${JSON.stringify(path.join(root, 'testing.js'))});
    d.setWorld({ phone: { devices: [{ uniqueId: 'p', media: ['muxed'] }] } });
    d.prewarmIosCapture().then(() => d.takeIosLog()).then((log) => console.log(JSON.stringify(log)));`;
  const quiet = await runNodeAsync(body, { env: { DESKCAP_IOS_LOG_STDERR: '0' } });
  assert.equal(quiet.status, 0, quiet.stderr);
  assert.equal(lastJson(quiet).at(-1), 'prewarm_done allow_flag=1');
  assert.doesNotMatch(quiet.stderr, /KR_IOS/);
});

test('product build: the machine shows no phone and counts its USB devices', async () => {
  assert.deepEqual(await product.listIosDevices(), []);
  assert.equal(typeof await product.usbAppleDeviceCount(), 'number');
  assert.deepEqual(await later(product.captureIosDevice(ID)), failure('Could not enable device screen capture'));
});

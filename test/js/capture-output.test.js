'use strict';
// What captureDisplay and captureWindow make of the area they capture: the
// format, the size limit and its fit rule, the cursor, the result's scale,
// and the argument errors of those options.
const test = require('node:test');
const assert = require('node:assert/strict');
const { decodePng } = require('./helpers/png');
const { d, later, sync, rect } = require('./helpers/world');

// A 2x display of 301 x 200 points (an odd pixel width) with a red window,
// and a 1x one; window 10 is 101 x 51 points on the 2x display.
const world = (extra = {}) => ({ screen: {
  displays: [{ id: 1, main: true, bounds: rect(0, 0, 301, 200), mode: { pixelWidth: 602, width: 301 }, background: '#202020' },
    { id: 2, bounds: rect(400, 0, 100, 80), mode: { pixelWidth: 100, width: 100 }, background: '#101010' }],
  windows: [{ id: 10, pid: 500, frame: rect(20, 20, 101, 51), fill: '#ff0000' }],
  ...extra,
} });
const sizeOf = (image) => [image.width, image.height];
const asked = () => {
  const c = d.probe().lastScreenshot.configuration;
  return [c.width, c.height];
};

test('the fit rule: inside both limits, aspect kept, never enlarged, after the crop', async () => {
  d.setWorld(world());
  const cases = [
    [{}, [602, 400]],
    [{ maxWidth: 602, maxHeight: 400 }, [602, 400]],              // exact fit
    [{ maxWidth: 10000, maxHeight: 10000 }, [602, 400]],          // never enlarged
    [{ maxWidth: 301 }, [301, 200]],                              // width limits
    [{ maxHeight: 100 }, [151, 100]],                             // 150.5 rounds up
    [{ maxWidth: 300, maxHeight: 100 }, [151, 100]],              // the tighter one limits
    [{ maxWidth: 1 }, [1, 1]],                                    // at least a pixel
    [{ maxWidth: 2 ** 40 }, [602, 400]],
    [{ cropBounds: rect(10, 10, 100.5, 33), maxWidth: 100 }, [100, 33]],  // 201 x 66, then the limit
  ];
  for (const [options, size] of cases) {
    const image = await d.captureDisplay({ displayId: 1, format: 'raw', ...options });
    assert.deepEqual([sizeOf(image), asked()], [size, size], JSON.stringify(options));
  }
  const win = await d.captureWindow(10, { maxWidth: 101, format: 'raw' });
  assert.deepEqual([sizeOf(win), asked()], [[101, 51], [101, 51]]);
});

test('raw is the PNG\'s pixels; format and scale say what the buffer is', async () => {
  d.setWorld(world());
  const png = await d.captureDisplay({ displayId: 1, cropBounds: rect(10, 15, 31, 17) });
  const raw = await d.captureDisplay({ displayId: 1, cropBounds: rect(10, 15, 31, 17), format: 'raw' });
  assert.deepEqual(Object.keys(raw), ['buffer', 'width', 'height', 'format', 'scale']);
  assert.deepEqual([png.format, png.scale, raw.format, raw.scale, sizeOf(raw)], ['png', 2, 'raw', 2, [62, 34]]);
  assert.equal(raw.buffer.length, 62 * 34 * 4);
  assert.ok(raw.buffer.equals(decodePng(png.buffer).rgba));
  // Scaled down, the scale maps a point of the area onto the image.
  const half = await d.captureDisplay({ displayId: 1, maxWidth: 301 });
  assert.deepEqual([half.scale, decodePng(half.buffer).at(Math.floor(25 * half.scale), 25 * half.scale)], [1, '#ff0000ff']);
  const win = await d.captureWindow(10, null);
  assert.deepEqual([win.format, win.scale, sizeOf(win)], ['png', 2, [202, 102]]);
  assert.deepEqual((await d.captureWindow(10, { maxHeight: 17 })).scale, 34 / 101);
});

test('the cursor is drawn only when asked, where the pointer is', async () => {
  d.setWorld(world({ cursor: { x: 150, y: 100, width: 4, height: 6, color: '#ff00ff' } }));
  const plain = decodePng((await d.captureDisplay({ displayId: 1 })).buffer);
  const shown = decodePng((await d.captureDisplay({ displayId: 1, showCursor: true })).buffer);
  assert.equal(d.probe().lastScreenshot.configuration.showsCursor, true);
  assert.deepEqual([plain.at(301, 201), shown.at(301, 201), shown.at(299, 201)], ['#202020ff', '#ff00ffff', '#202020ff']);
  await d.captureWindow(10, { showCursor: false });
  assert.equal(d.probe().lastScreenshot.configuration.showsCursor, false);
});

test('bad output options throw at once with the frame\'s codes', () => {
  d.setWorld(world());
  const bad = (code, message) => ({ code, message, isError: true });
  const cases = [
    [{ format: 'gif' }, bad('InvalidArg', 'Unknown format `gif`, expected `png`, `jpeg` or `raw` on CaptureOptions.format')],
    [{ format: 'PNG' }, bad('InvalidArg', 'Unknown format `PNG`, expected `png`, `jpeg` or `raw` on CaptureOptions.format')],
    [{ format: 1 }, bad('StringExpected', 'Failed to convert JavaScript value `Number` into native type `String` on CaptureOptions.format')],
    [{ quality: 0 }, bad('InvalidArg', 'Expected an integer from 1 to 100, got 0 on CaptureOptions.quality')],
    [{ quality: 101 }, bad('InvalidArg', 'Expected an integer from 1 to 100, got 101 on CaptureOptions.quality')],
    [{ quality: 50.5 }, bad('InvalidArg', 'Expected an integer from 1 to 100, got 50.5 on CaptureOptions.quality')],
    [{ quality: '80' }, bad('NumberExpected', 'Failed to convert JavaScript value `String` into native type `f64` on CaptureOptions.quality')],
    [{ maxWidth: 0 }, bad('InvalidArg', 'Expected a positive integer, got 0 on CaptureOptions.maxWidth')],
    [{ maxWidth: 1.5 }, bad('InvalidArg', 'Expected a positive integer, got 1.5 on CaptureOptions.maxWidth')],
    [{ maxHeight: -3 }, bad('InvalidArg', 'Expected a positive integer, got -3 on CaptureOptions.maxHeight')],
    [{ maxHeight: Infinity }, bad('InvalidArg', 'Expected a positive integer, got Infinity on CaptureOptions.maxHeight')],
    [{ maxHeight: NaN }, bad('InvalidArg', 'Expected a positive integer, got NaN on CaptureOptions.maxHeight')],
    [{ maxWidth: null }, bad('NumberExpected', 'Failed to convert JavaScript value `Null` into native type `f64` on CaptureOptions.maxWidth')],
    [{ showCursor: 'yes' }, bad('BooleanExpected', 'Failed to convert JavaScript value `String` into native type `bool` on CaptureOptions.showCursor')],
  ];
  for (const [options, expected] of cases) {
    assert.deepEqual(sync(() => d.captureDisplay({ displayId: 1, ...options })), expected, JSON.stringify(options));
  }
  assert.deepEqual(sync(() => d.captureWindow(10, { maxWidth: 0.1 })),
    bad('InvalidArg', 'Expected a positive integer, got 0.1 on WindowCaptureOptions.maxWidth'));
  assert.equal(d.probe().screenshotsStarted, 0);
});

test('quality is ignored by PNG and raw; defaults leave the capture as it was', async () => {
  d.setWorld(world());
  const plain = await d.captureDisplay({ displayId: 1 });
  const withQuality = await d.captureDisplay({ displayId: 1, quality: 5, format: 'png', showCursor: false });
  assert.ok(plain.buffer.equals(withQuality.buffer));
  assert.deepEqual((await later(d.captureWindow(10, { quality: 1, format: 'raw' }))).value.format, 'raw');
});

// Pillow, a decoder this project did not write: [width, height, mode, [r, g, b] at (x, y)].
function pillow(jpeg, x, y) {
  const script = 'import sys, io\nfrom PIL import Image\nim = Image.open(io.BytesIO(sys.stdin.buffer.read()))\n'
    + `print(im.format, im.width, im.height, *im.convert("RGB").getpixel((${x}, ${y})))`;
  // Not under the sanitizer runtime this process may have been started with.
  const { LD_PRELOAD, ...env } = process.env;
  const out = require('child_process').execFileSync('/usr/bin/python3', ['-c', script], { input: jpeg, env })
    .toString().trim().split(' ');
  return [out[0], Number(out[1]), Number(out[2]), out.slice(3).map(Number)];
}

test('JPEG at the fitted size and the asked quality', async () => {
  d.setWorld(world());
  const shot = await d.captureDisplay({ displayId: 1, format: 'jpeg', maxWidth: 301, quality: 95 });
  assert.deepEqual([shot.format, shot.scale, sizeOf(shot)], ['jpeg', 1, [301, 200]]);
  const [format, width, height, red] = pillow(shot.buffer, 60, 40);
  assert.deepEqual([format, width, height], ['JPEG', 301, 200]);
  assert.ok(Math.abs(red[0] - 255) + red[1] + red[2] < 24, `red window, got ${red}`);
  const rough = await d.captureWindow(10, { format: 'jpeg', quality: 1 });
  const fine = await d.captureWindow(10, { format: 'jpeg' });
  assert.ok(rough.buffer.length < fine.buffer.length);
  assert.deepEqual(pillow(fine.buffer, 0, 0).slice(0, 3), ['JPEG', 202, 102]);
});

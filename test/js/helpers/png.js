'use strict';
// Reads PNG files back with Node's zlib, independently of deskcap's encoder.
const assert = require('node:assert/strict');
const zlib = require('zlib');

// 8-bit RGBA, non-interlaced PNG with Sub-filtered rows -> {width, height, rgba, chunks, at(x, y)}.
function decodePng(buffer) {
  assert.equal(buffer.subarray(0, 8).toString('hex'), '89504e470d0a1a0a', 'PNG signature');
  const chunks = [];
  const idat = [];
  let width = 0;
  let height = 0;
  for (let offset = 8; offset < buffer.length;) {
    const length = buffer.readUInt32BE(offset);
    const type = buffer.toString('latin1', offset + 4, offset + 8);
    const data = buffer.subarray(offset + 8, offset + 8 + length);
    if (zlib.crc32) assert.equal(buffer.readUInt32BE(offset + 8 + length), zlib.crc32(buffer.subarray(offset + 4, offset + 8 + length)), `${type} CRC`);
    chunks.push(type);
    if (type === 'IHDR') {
      [width, height] = [data.readUInt32BE(0), data.readUInt32BE(4)];
      assert.deepEqual([...data.subarray(8)], [8, 6, 0, 0, 0], 'depth 8, RGBA, no interlace');
    } else if (type === 'IDAT') {
      idat.push(data);
    }
    offset += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * 4;
  assert.equal(raw.length, height * (stride + 1), 'inflated size');
  const rgba = Buffer.alloc(height * stride);
  for (let y = 0; y < height; y++) {
    assert.equal(raw[y * (stride + 1)], 1, `row ${y}: the Sub filter`);
    for (let i = 0, at = y * stride; i < stride; i++, at++)
      rgba[at] = (raw[y * (stride + 1) + 1 + i] + (i >= 4 ? rgba[at - 4] : 0)) & 0xff;
  }
  const at = (x, y) => '#' + rgba.subarray((y * width + x) * 4, (y * width + x) * 4 + 4).toString('hex');
  return { width, height, rgba, chunks, at };
}

module.exports = { decodePng };

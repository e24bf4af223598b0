'use strict';
// Reads PNG files back with Node's zlib, independently of deskcap's encoder.
const assert = require('node:assert/strict');
const zlib = require('zlib');

function paeth(a, b, c) {
  const p = a + b - c;
  const [pa, pb, pc] = [Math.abs(p - a), Math.abs(p - b), Math.abs(p - c)];
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// 8-bit RGBA, non-interlaced PNG -> {width, height, rgba, chunks, at(x, y)}.
// Every filter type is undone, not only the one deskcap writes.
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
    const filter = raw[y * (stride + 1)];
    for (let i = 0, at = y * stride; i < stride; i++, at++) {
      const a = i >= 4 ? rgba[at - 4] : 0;
      const b = y > 0 ? rgba[at - stride] : 0;
      const c = i >= 4 && y > 0 ? rgba[at - stride - 4] : 0;
      const predictor = [0, a, b, (a + b) >> 1, paeth(a, b, c)][filter];
      assert.notEqual(predictor, undefined, `filter type ${filter}`);
      rgba[at] = (raw[y * (stride + 1) + 1 + i] + predictor) & 0xff;
    }
  }
  const at = (x, y) => '#' + rgba.subarray((y * width + x) * 4, (y * width + x) * 4 + 4).toString('hex');
  return { width, height, rgba, chunks, at };
}

module.exports = { decodePng };

'use strict';
// Reads PNG files back with Node's zlib, independently of deskcap's encoder.
const assert = require('node:assert/strict');
const zlib = require('zlib');

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a);
  const pb = Math.abs(p - b);
  const pc = Math.abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// 8-bit RGBA, non-interlaced PNG -> {width, height, rgba, chunks, at(x, y)}.
// Every filter type is undone, not only the one deskcap writes.
function decodePng(buffer) {
  const signature = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
  assert.ok(buffer.subarray(0, 8).equals(signature), 'PNG signature');
  let offset = 8;
  const chunks = [];
  const idat = [];
  let width = 0;
  let height = 0;
  while (offset < buffer.length) {
    const length = buffer.readUInt32BE(offset);
    const type = buffer.toString('latin1', offset + 4, offset + 8);
    const data = buffer.subarray(offset + 8, offset + 8 + length);
    const crc = buffer.readUInt32BE(offset + 8 + length);
    assert.equal(crc, zlib.crc32 ? zlib.crc32(buffer.subarray(offset + 4, offset + 8 + length)) : crc,
      `${type} CRC`);
    chunks.push(type);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
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
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; i++) {
      const a = i >= 4 ? rgba[y * stride + i - 4] : 0;
      const b = y > 0 ? rgba[(y - 1) * stride + i] : 0;
      const c = i >= 4 && y > 0 ? rgba[(y - 1) * stride + i - 4] : 0;
      const predictor = [0, a, b, (a + b) >> 1, paeth(a, b, c)][filter];
      assert.notEqual(predictor, undefined, `filter type ${filter}`);
      rgba[y * stride + i] = (line[i] + predictor) & 0xff;
    }
  }
  const at = (x, y) => {
    const p = (y * width + x) * 4;
    return '#' + [...rgba.subarray(p, p + 4)].map((v) => v.toString(16).padStart(2, '0')).join('');
  };
  return { width, height, rgba, chunks, at };
}

module.exports = { decodePng };

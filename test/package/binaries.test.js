'use strict';
// The Linux prebuilt binaries load with the C library alone, on glibc 2.28 and
// later: their NEEDED entries, their symbol versions, their architecture. And
// the check that the build runs after each link refuses a binary that does not.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { root, ok, packed } = require('./helpers/staged');
const { needed, dynamicSymbols, glibcVersion, compareVersions } = require('../../tools/glibc-floor.js');

const FLOOR = '2.28';
const LOADER = { 'linux-x64': 'ld-linux-x86-64.so.2', 'linux-arm64': 'ld-linux-aarch64.so.1' };
const MACHINE = { 'linux-x64': 'Advanced Micro Devices X86-64', 'linux-arm64': 'AArch64' };
const skip = process.platform !== 'linux' || process.arch !== 'x64' ? 'Linux x64 only' : false;

for (const target of ['linux-x64', 'linux-arm64']) {
  test(`${target}: each binary needs only the C library and zlib, at glibc ${FLOOR} at most`, { skip }, (t) => {
    packed();
    for (const name of ['deskcap', 'deskcap_testing']) {
      const file = path.join(root, 'prebuilds', target, `${name}.glibc.node`);
      const header = ok('readelf', ['-h', file]).stdout;
      assert.match(header, new RegExp(`Machine:\\s+${MACHINE[target]}`), file);

      const libraries = needed('readelf', file);
      const allowed = ['libc.so.6', 'libm.so.6', 'libdl.so.2', 'libpthread.so.0', 'librt.so.1', 'libz.so.1', LOADER[target]];
      assert.deepEqual(libraries.filter((lib) => !allowed.includes(lib)), [], `${file} needs more`);

      const versions = new Set(dynamicSymbols('readelf', file).filter((s) => !s.defined && s.version)
        .map((s) => s.version));
      const glibc = [...versions].map(glibcVersion).filter(Boolean).sort(compareVersions);
      const highest = glibc[glibc.length - 1];
      t.diagnostic(`${name}: NEEDED ${libraries.join(' ')}; highest GLIBC_${highest}`);
      assert.ok(compareVersions(highest, FLOOR) <= 0, `${file} needs GLIBC_${highest}`);
      assert.deepEqual([...versions].filter((v) => !glibcVersion(v) && !/^ZLIB_/.test(v)), [],
        `${file} needs the C++ runtime or libgcc`);
    }
  });
}

test('the floor check refuses, and removes, a binary that needs a newer glibc or the C++ runtime', { skip }, (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-floor-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  const source = path.join(dir, 'late.cc');
  // arc4random arrived in glibc 2.36; std::string's out-of-line members are libstdc++'s.
  fs.writeFileSync(source, '#include <stdlib.h>\n#include <string>\n' +
    'extern "C" unsigned late() { return arc4random() + std::to_string(1).size(); }\n');
  const binary = path.join(dir, 'late.so');
  ok('g++', ['-shared', '-fPIC', '-O1', '-o', binary, source]);

  const r = spawnSync(process.execPath, [path.join(root, 'tools', 'glibc-floor.js'), 'check', '--floor', FLOOR,
    '--remove', 'on-fault', binary], { encoding: 'utf8' });
  assert.equal(r.status, 1);
  assert.match(r.stderr, /late\.so: above the glibc 2\.28 floor: needs libstdc\+\+\.so\.6\n/);
  assert.match(r.stderr, /: arc4random@GLIBC_2\.36\n/);
  assert.match(r.stderr, /@GLIBCXX_3\.4\.\d+\n/);
  assert.equal(fs.existsSync(binary), false);
});

#!/usr/bin/env node
// Builds the addon with CMake. DESKCAP_BUILD_DIR and DESKCAP_CMAKE_ARGS let the
// test scripts make other flavours (sanitizers) beside the default build/.
'use strict';
const { spawnSync } = require('child_process');
const path = require('path');
const os = require('os');

const root = path.resolve(__dirname, '..');
const buildDir = path.resolve(root, process.env.DESKCAP_BUILD_DIR || 'build');
const extra = (process.env.DESKCAP_CMAKE_ARGS || '').split(/\s+/).filter(Boolean);

function run(args) {
  const r = spawnSync('cmake', args, { cwd: root, stdio: 'inherit' });
  if (r.error) throw r.error;
  if (r.status !== 0) process.exit(r.status || 1);
}

run(['-S', root, '-B', buildDir, '-DCMAKE_BUILD_TYPE=Release', ...extra]);
run(['--build', buildDir, '--parallel', String(Math.max(1, os.cpus().length))]);

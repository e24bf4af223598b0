'use strict';
// tools/check-layers.js, run on small source trees in a temporary directory.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const checker = path.resolve(__dirname, '..', '..', 'tools', 'check-layers.js');

// A tree of src/ files (path -> lines of text), checked; answers the exit
// status and the lines printed.
function checkTree(files, t) {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'layers-'));
  t.after(() => fs.rmSync(root, { recursive: true, force: true }));
  for (const [file, lines] of Object.entries(files)) {
    const full = path.join(root, 'src', file);
    fs.mkdirSync(path.dirname(full), { recursive: true });
    fs.writeFileSync(full, lines.join('\n') + '\n');
  }
  const run = spawnSync(process.execPath, [checker, root], { encoding: 'utf8' });
  return { status: run.status, lines: run.stdout.trim().split('\n'), stderr: run.stderr };
}

// Every include a layer may make: its own folder, each layer below, the
// backends' subfolders, Objective-C++ imports, headers from outside the tree.
const allowed = {
  'core/error.h': ['#pragma once', '#include <string>', '#include "core/utf8.h"'],
  'core/utf8.h': ['#pragma once'],
  'compat/glibc_floor.c': ['#include <dlfcn.h>', '#include "compat/other.h"'],
  'compat/other.h': [],
  'platform/platform.h': ['#include "core/error.h"'],
  'platform/linux/screen_linux.cc': ['#include "platform/platform.h"', '#include "platform/linux/x.h"'],
  'platform/linux/x.h': ['#include <xcb/xcb.h>'],
  'platform/macos/screen_macos.mm': ['#import <Foundation/Foundation.h>', '#import "platform/platform.h"'],
  'platform/fake/world.cc': ['#include "nlohmann/json.hpp"', '#include "platform/linux/x.h"'],
  'boundary/native.h': ['#include "platform/platform.h"', '#include "core/error.h"'],
  'screen/bridge.h': ['#include "boundary/native.h"', '  #  include "platform/platform.h"'],
  'phone/phone.cc': ['#include "screen/bridge.h"'],
  'desktop/desktop.cc': ['#include "screen/bridge.h"', '#include "boundary/native.h"'],
  'testing/world.cc': ['#include "phone/phone.h"', '#include "desktop/desktop.h"'],
  'addon/module.cc': ['#include "testing/world.h"', '#include "node_api.h"'],
  'addon/testing/probe.cc': ['#include "addon/module.h"', '#include "phone/phone.h"'],
};

test('a tree whose includes only go down or stay in their folder passes', (t) => {
  const run = checkTree(allowed, t);
  assert.equal(run.status, 0, run.lines.join('\n') + run.stderr);
  assert.deepEqual(run.lines, ['check-layers: every include keeps to the layer order']);
});

test('each include upward, sideways, out of src/ or into a folder apart is reported where it is', (t) => {
  const run = checkTree({
    ...allowed,
    'platform/linux/screen_linux.cc': ['#include "platform/platform.h"', '#include "screen/capture_error.h"'],
    'platform/macos/screen_macos.mm': ['#import "platform/platform.h"', '#import "addon/module.h"'],
    'core/error.h': ['#pragma once', '#include "platform/../screen/bridge.h"'],
    'phone/phone.cc': ['#include "screen/bridge.h"', '#include "desktop/desktop.h"'],
    'desktop/desktop.cc': ['#include "phone/phone.h"'],
    'screen/bridge.h': ['#include "../addon/module.h"'],
    'boundary/native.h': ['#include "compat/other.h"'],
    'compat/other.h': ['#include "core/error.h"'],
  }, t);
  assert.equal(run.status, 1, run.stderr);
  assert.deepEqual(run.lines.sort(), [
    'boundary/native.h:1: boundary/ includes "compat/other.h" from compat/, not a layer below it',
    'check-layers: 8 problem(s) with the layer order ' +
      '(core < platform < boundary < screen < phone, desktop < watch < testing < addon)',
    'compat/other.h:1: compat/ includes "core/error.h" from core/, not a layer below it',
    'core/error.h:2: core/ includes "platform/../screen/bridge.h" from screen/, not a layer below it',
    'desktop/desktop.cc:1: desktop/ includes "phone/phone.h" from phone/, not a layer below it',
    'phone/phone.cc:2: phone/ includes "desktop/desktop.h" from desktop/, not a layer below it',
    'platform/linux/screen_linux.cc:2: platform/ includes "screen/capture_error.h" from screen/, ' +
      'not a layer below it',
    'platform/macos/screen_macos.mm:2: platform/ includes "addon/module.h" from addon/, not a layer below it',
    'screen/bridge.h:1: "../addon/module.h" is not written from src/',
  ].map((l) => (l.startsWith('check-layers') ? l : `src/${l}`)).sort());
});

test('a folder of src/ with no place in the order fails', (t) => {
  const run = checkTree({ ...allowed, 'gui/window.cc': ['#include "core/error.h"'] }, t);
  assert.equal(run.status, 1, run.stderr);
  assert.deepEqual(run.lines.slice(0, 1), ['src/gui/: a folder with no place in the layer order']);
});

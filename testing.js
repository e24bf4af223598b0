'use strict';
// The same thirteen exports over the scriptable fake world, plus setWorld and
// probe. The first world is the file named by DESKCAP_FAKE_WORLD; a bad one
// fails this require. See docs/fake-world.md.
const path = require('path');
const dir = process.env.DESKCAP_BUILD_DIR
  ? path.resolve(__dirname, process.env.DESKCAP_BUILD_DIR)
  : path.join(__dirname, 'build');
const addon = require(path.join(dir, 'deskcap_testing.node'));
addon.probe();
module.exports = addon;

'use strict';
// The same exports over the scriptable fake world, plus setWorld, changeWorld
// and probe.
// The first world is the file named by DESKCAP_FAKE_WORLD; a bad one fails
// this require. See docs/fake-world.md.
const platform = require('./lib/platform.js');

if (!platform.supported()) throw platform.unsupportedError('deskcap/testing');
const addon = require('./lib/binding.js').load('deskcap_testing');
addon.probe();
module.exports = require('./lib/stream.js').withStreams(require('./lib/watch.js').withWatch(addon));

'use strict';
// The product: the addon built against the real platform.
module.exports = require('./lib/binding.js').load('deskcap');

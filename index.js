'use strict';
// The product: the addon built against the real platform.
const path = require('path');
const dir = process.env.DESKCAP_BUILD_DIR
  ? path.resolve(__dirname, process.env.DESKCAP_BUILD_DIR)
  : path.join(__dirname, 'build');
module.exports = require(path.join(dir, 'deskcap.node'));

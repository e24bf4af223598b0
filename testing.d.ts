// deskcap/testing has the product's exports, over the fake world.
export * from './index.js';

// The installed Windows program under wine, driven from Linux over the loopback
// (tests/windows/setup-test.sh starts it and gives its addresses): the same browser and
// settings as the other browser tests.
const base = require('./playwright.config.js');

module.exports = Object.assign({}, base, {
  testMatch: 'wine.windows.js',
  workers: 1,
  retries: 0,
  // Wine starts slowly, and the simulated rack's square wave comes round at its own pace.
  timeout: 90000,
});

// morvelplint-web in a real browser: Debian's chromium (no browser is downloaded), driven by
// Playwright, against the real program with the simulated rack.
const { defineConfig } = require('@playwright/test');

module.exports = defineConfig({
  testDir: '.',
  testMatch: '*.test.js',
  timeout: 60000,
  expect: { timeout: 10000 },
  workers: 1,
  // The connection set-up waits 100 ms for the serial card's echo of its option byte, as the
  // card asks; with two browsers starting on a machine of two cores the simulated card's
  // thread now and then answers later than that, the set-up fails (the page then says so) and
  // the test finds no connection. Such a test runs once more and is reported as flaky.
  retries: 1,
  reporter: [['list']],
  outputDir: process.env.MORVELPLINT_WEB_RESULTS || 'test-results',
  use: {
    browserName: 'chromium',
    viewport: { width: 1000, height: 720 },
    launchOptions: {
      executablePath: process.env.MORVELPLINT_CHROMIUM || '/usr/bin/chromium',
      // The machine has no network beyond the loopback: no background traffic, no sandbox
      // for root.
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    },
  },
});

// morvelplint-web in a real browser: Debian's chromium (no browser is downloaded), driven by
// Playwright, against the real program with the simulated rack.
const { defineConfig } = require('@playwright/test');
const path = require('path');

module.exports = defineConfig({
  testDir: '.',
  testMatch: '*.test.js',
  timeout: 60000,
  expect: { timeout: 10000 },
  // Each test starts programs of its own (on ports and terminals the system hands out), so
  // tests may run side by side: MORVELPLINT_WEB_WORKERS of them (one by default).
  workers: Number(process.env.MORVELPLINT_WEB_WORKERS || 1),
  fullyParallel: true,
  // A test that fails is a fault: it is never run a second time to pass.
  retries: 0,
  reporter: [['list']],
  outputDir: process.env.MORVELPLINT_WEB_RESULTS || 'test-results',
  use: {
    browserName: 'chromium',
    viewport: { width: 1000, height: 720 },
    launchOptions: {
      // Debian's chromium (MORVELPLINT_CHROMIUM names another) on the last processor, at the
      // priority it is given (chromium.sh says why).
      executablePath: path.join(__dirname, 'chromium.sh'),
      // The machine has no network beyond the loopback: no background traffic, no sandbox
      // for root.
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    },
  },
});

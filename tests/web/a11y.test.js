// Every tab as a user of assistive technology meets it: axe-core's WCAG 2.0/2.1 A and AA rules
// and its best practices, with the visible text inside every name (label-content-name-mismatch),
// at a desktop's and at a phone's size, in the driving page and in a watching one, with a test
// running and without. Each finding is printed with its nodes, so that a failure says where.
const { test, expect } = require('@playwright/test');
const { default: AxeBuilder } = require('@axe-core/playwright');
const { startWeb } = require('./morvelplint');

const TABS = ['INTRO', 'SCK/ MCK', 'PCK', 'SLK', '(?)BK', '3BK', 'LKK_EVL', 'IOK', 'Instellingen',
  'Busmonitor', 'Rek', 'Kaartdiagnose', 'Help', 'Over'];
// The windows beside the pages: showing one leaves no card page, so a running test goes on.
const TOOLS = ['Busmonitor', 'Rek', 'Kaartdiagnose', 'Help', 'Over'];
const SIZES = [{ width: 1280, height: 900 }, { width: 360, height: 740 }];

let web;
test.beforeEach(async () => { web = await startWeb(); });
test.afterEach(async () => { await web.stop(); });

async function open(browser, size) {
  const page = await (await browser.newContext({ viewport: size })).newPage();
  await page.goto(web.url);
  return page;
}

// A tab chosen as a user does: from the tab list, or on a phone from the menu of pages.
async function choose(page, name) {
  const menu = page.getByRole('button', { name: 'Pagina\'s' });
  if (await menu.isVisible()) await menu.click();
  await page.getByRole('tab', { name, exact: true }).click();
  await expect(page.getByRole('tabpanel', { name, exact: true })).toBeVisible();
}

// The findings of axe on the page as it is, as lines "rule: target" (none is the goal).
async function findings(page, where) {
  // axe in the page in one run (its legacy mode): the page is one frame, and the default
  // mode's partial results of the monitor's rows and the rack's lamps take seconds to move.
  const result = await new AxeBuilder({ page }).setLegacyMode()
    .withTags(['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'best-practice'])
    .options({ rules: { 'label-content-name-mismatch': { enabled: true } }, resultTypes: ['violations'] })
    .analyze();
  const lines = [];
  result.violations.forEach((v) => v.nodes.forEach((n) => lines.push(where + ' ' + v.id + ': ' + n.target.join(' '))));
  return lines;
}

async function everyTab(page, names, where) {
  let lines = [];
  for (const name of names) {
    await choose(page, name);
    const at = Date.now();
    const found = await findings(page, where + ' ' + name);
    if (process.env.MORVELPLINT_AXE_LOG) console.log(where + ' ' + name + ': ' + (Date.now() - at) + ' ms\n' + found.join('\n'));
    lines = lines.concat(found);
  }
  return lines;
}

for (const size of SIZES) {
  test.describe(size.width + 'x' + size.height, () => {
    test.use({ viewport: size });

    test('no finding in any tab, driving and watching, with a shuttle running and without', async ({ browser }) => {
      // About a minute and a half on two busy cores: 48 views.
      test.setTimeout(240000);
      const driver = await open(browser, size);
      await expect(driver.getByText('U bestuurt het rek.')).toBeVisible();
      await expect(driver.locator('#verbinding')).toHaveText(/^Verbonden/);
      const started = Date.now();
      let lines = await everyTab(driver, TABS, 'driving');
      // On a phone the menu of pages, open.
      const menu = driver.getByRole('button', { name: 'Pagina\'s' });
      if (await menu.isVisible()) {
        await menu.click();
        await expect(driver.getByRole('tablist')).toBeVisible();
        lines = lines.concat(await findings(driver, 'driving, the menu open'));
        await driver.keyboard.press('Escape');
        await expect(driver.getByRole('tablist')).toBeHidden();
      }

      // The shuttle on (?)BK: the driver's page and its tools first, while the monitor holds
      // few rows (axe holds the page's thread, and a driver silent for 3 s is gone), then
      // every tab of a watching page, and of that page again once the shuttle has stopped.
      await choose(driver, '(?)BK');
      const xbk = driver.getByRole('tabpanel', { name: '(?)BK' });
      await xbk.getByRole('button', { name: 'Go' }).click();
      await expect(xbk.getByRole('button', { name: 'Stop' })).toBeVisible();
      lines = lines.concat(await everyTab(driver, ['(?)BK'].concat(TOOLS), 'driving, running'));
      const watcher = await open(browser, size);
      await expect(watcher.getByText('U kijkt mee: een andere pagina bestuurt het rek.')).toBeVisible();
      lines = lines.concat(await everyTab(watcher, TABS, 'watching, running'));
      await choose(driver, '(?)BK');
      await expect(driver.getByText('U bestuurt het rek.')).toBeVisible();
      await xbk.getByRole('button', { name: 'Stop' }).click();
      await expect(xbk.getByRole('button', { name: 'Go' })).toBeVisible();
      lines = lines.concat(await everyTab(watcher, TABS, 'watching'));
      console.log('axe over ' + (3 * TABS.length + 1 + TOOLS.length) + ' views at ' +
        size.width + 'x' + size.height + ': ' + (Date.now() - started) + ' ms');
      expect(lines).toEqual([]);
    });
  });
}

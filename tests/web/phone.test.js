// The SCK and (?)BK pages at a phone's size: every control a finger can hit is at least 40
// pixels, and nothing sticks out of the screen. With MORVELPLINT_SHOTS the pictures for the
// README go there.
const { test, expect } = require('@playwright/test');
const path = require('path');
const { startWeb } = require('./morvelplint');

let web;
test.beforeEach(async () => { web = await startWeb(); });
test.afterEach(async () => { await web.stop(); });

async function shot(page, name) {
  if (process.env.MORVELPLINT_SHOTS)
    await page.screenshot({ path: path.join(process.env.MORVELPLINT_SHOTS, name), fullPage: true });
}

async function expectTouchable(panel) {
  const targets = panel.locator('button, select, input[type=number], input[type=range], label.keuze');
  const count = await targets.count();
  expect(count).toBeGreaterThan(5);
  for (let i = 0; i < count; ++i) {
    const box = await targets.nth(i).boundingBox();
    expect(box.height, await targets.nth(i).evaluate((n) => n.outerHTML)).toBeGreaterThanOrEqual(40);
    expect(box.width).toBeGreaterThanOrEqual(40);
    expect(box.x + box.width).toBeLessThanOrEqual(360 + 0.5);
  }
}

test.describe('at a phone\'s size', () => {
  test.use({ viewport: { width: 360, height: 740 }, hasTouch: true, isMobile: true });

  test('the SCK and (?)BK pages by touch', async ({ page }) => {
    await page.goto(web.url);
    await expect(page.getByText('U bestuurt het rek.')).toBeVisible();
    await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
    await page.getByRole('tab', { name: 'SCK/ MCK' }).tap();
    const sck = page.getByRole('tabpanel', { name: 'SCK/ MCK' });
    await sck.getByRole('button', { name: 'D0', exact: true }).tap();
    await expect(sck.getByRole('button', { name: 'D0', exact: true })).toHaveText('1');
    await sck.getByRole('button', { name: 'Versturen' }).tap();
    await expect(sck.getByRole('img', { name: 'Kortsluitmelding: geel' })).toBeVisible();
    await expectTouchable(sck);
    await shot(page, 'web-phone-sck.png');

    await page.getByRole('tab', { name: '(?)BK' }).tap();
    const xbk = page.getByRole('tabpanel', { name: '(?)BK' });
    await xbk.getByRole('button', { name: 'Go' }).tap();
    await expect(xbk.getByRole('button', { name: 'Stop' })).toBeVisible();
    await expectTouchable(xbk);
    await shot(page, 'web-phone-xbk.png');
    await xbk.getByRole('button', { name: 'Stop' }).tap();
    expect(await page.evaluate(() => document.documentElement.scrollWidth)).toBeLessThanOrEqual(360);
  });
});

test('the pages at a desktop\'s size', async ({ page }) => {
  await page.goto(web.url);
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
  await page.getByRole('tab', { name: 'IOK' }).click();
  await expect(page.getByRole('tabpanel', { name: 'IOK' }).getByRole('button', { name: 'Versturen' })).toBeVisible();
  await shot(page, 'web-desktop-iok.png');
  await page.getByRole('tab', { name: '(?)BK' }).click();
  await shot(page, 'web-desktop-xbk.png');
});

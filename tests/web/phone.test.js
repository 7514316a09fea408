// The pages at a phone's size and at a desktop's: every control a finger can hit is at least
// 40 pixels, nothing sticks out of the screen (a row of 16 pins scrolls sideways in its own
// box), and no lamp of the rack view lies on another. With MORVELPLINT_SHOTS the pictures for
// the README go there.
const { test, expect } = require('@playwright/test');
const path = require('path');
const { startWeb, tellOnFailure } = require('./morvelplint');

let web;
test.beforeEach(async () => { web = await startWeb(); });
test.afterEach(async ({}, testInfo) => { tellOnFailure(testInfo, web); await web.stop(); });

async function shot(page, name) {
  if (process.env.MORVELPLINT_SHOTS)
    await page.screenshot({ path: path.join(process.env.MORVELPLINT_SHOTS, name), fullPage: true });
}

// No two lamps of the rack view overlap, and each has its full size.
async function expectLampsApart(page) {
  // The places' lamps are there from the start, the lines' and the latch's with the rack's
  // first state.
  await expect.poll(() => page.locator('#rek .lamp').count()).toBeGreaterThan(64 * 5 + 4 * 64);
  const boxes = await page.locator('#rek .lamp').evaluateAll((lamps) => lamps.map((lamp) => {
    const r = lamp.getBoundingClientRect();
    return { x: r.left, y: r.top, w: r.width, h: r.height, name: lamp.getAttribute('aria-label') };
  }));
  const sorted = boxes.slice().sort((a, b) => a.x - b.x);
  const overlaps = [];
  for (let i = 0; i < sorted.length; ++i) {
    const a = sorted[i];
    if (a.w < 8 || a.h < 8) overlaps.push(a.name + ' is ' + a.w + 'x' + a.h);
    for (let j = i + 1; j < sorted.length && sorted[j].x < a.x + a.w - 0.5; ++j) {
      const b = sorted[j];
      if (b.y < a.y + a.h - 0.5 && a.y < b.y + b.h - 0.5) overlaps.push(a.name + ' on ' + b.name);
    }
  }
  expect(overlaps).toEqual([]);
}

// A tab through the menu of pages when the screen is narrow.
async function choose(page, name) {
  const menu = page.getByRole('button', { name: 'Pagina\'s' });
  if (await menu.isVisible()) await menu.tap();
  const tab = page.getByRole('tab', { name, exact: true });
  if (await menu.isVisible()) await tab.tap(); else await tab.click();
  await expect(page.getByRole('tabpanel', { name, exact: true })).toBeVisible();
}

async function expectTouchable(panel, least = 6) {
  const targets = panel.locator('button, select, input[type=number], input[type=range], label.keuze');
  const count = await targets.count();
  expect(count).toBeGreaterThanOrEqual(least);
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
    // The tabs are a menu: every page and tool in it, each a finger's size, and it closes
    // with the choice.
    const menu = page.getByRole('button', { name: 'Pagina\'s' });
    await expect(page.getByRole('tab', { name: 'SCK/ MCK' })).toBeHidden();
    await menu.tap();
    await expect(menu).toHaveAttribute('aria-expanded', 'true');
    await expect(page.getByRole('tab')).toHaveText(['INTRO', 'SCK/ MCK', 'PCK', 'SLK', '(?)BK', '3BK', 'LKK_EVL',
      'IOK', 'Instellingen', 'Busmonitor', 'Rek', 'Kaartdiagnose', 'Help', 'Over']);
    await expectTouchable(page.getByRole('tablist'), 14);
    await page.getByRole('tab', { name: 'SCK/ MCK' }).tap();
    await expect(menu).toHaveAttribute('aria-expanded', 'false');
    await expect(menu).toHaveText('Pagina\'s: SCK/ MCK');
    await expect(page.getByRole('tab', { name: 'SCK/ MCK' })).toBeHidden();
    const sck = page.getByRole('tabpanel', { name: 'SCK/ MCK' });
    await sck.getByRole('button', { name: 'D0: 0', exact: true }).tap();
    await expect(sck.getByRole('button', { name: 'D0: 1', exact: true })).toHaveText('1');
    await sck.getByRole('button', { name: 'Versturen' }).tap();
    await expect(sck.getByRole('img', { name: 'Kortsluitmelding: geel' })).toBeVisible();
    await expectTouchable(sck);
    await shot(page, 'web-phone-sck.png');

    await menu.tap();
    await page.getByRole('tab', { name: '(?)BK' }).tap();
    const xbk = page.getByRole('tabpanel', { name: '(?)BK' });
    await xbk.getByRole('button', { name: 'Go' }).tap();
    await expect(xbk.getByRole('button', { name: 'Stop' })).toBeVisible();
    await expectTouchable(xbk);
    await shot(page, 'web-phone-xbk.png');
    await xbk.getByRole('button', { name: 'Stop' }).tap();
    expect(await page.evaluate(() => document.documentElement.scrollWidth)).toBeLessThanOrEqual(360);

    // LKK_EVL's four rows of 16 pins scroll sideways in their box, the page does not.
    await choose(page, 'LKK_EVL');
    const lkk = page.getByRole('tabpanel', { name: 'LKK_EVL' });
    const rows = await lkk.getByRole('button', { name: /^\d+: [01]$/ }).evaluateAll((pins) =>
      pins.map((pin) => Math.round(pin.getBoundingClientRect().top)));
    expect(new Set(rows).size).toBe(4);
    expect(rows.filter((top) => top === rows[0]).length).toBe(16);
    expect(await page.evaluate(() => document.documentElement.scrollWidth)).toBeLessThanOrEqual(360);
    await shot(page, 'web-phone-lkk_evl.png');

    await choose(page, 'Rek');
    await expectLampsApart(page);
    expect(await page.evaluate(() => document.documentElement.scrollWidth)).toBeLessThanOrEqual(360);
    await shot(page, 'web-phone-rack.png');
  });
});

test.describe('at a desktop\'s size', () => {
  test.use({ viewport: { width: 1280, height: 900 } });

  test('the pins in rows of 16, the rack view\'s lamps apart', async ({ page }) => {
    await page.goto(web.url);
    await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
    // INTRO's two pictures, the rack and the locomotive, side by side.
    await choose(page, 'INTRO');
    const pictures = await page.locator('#intro img').evaluateAll((all) => all.map((img) =>
      [img.getAttribute('src'), img.naturalWidth, img.naturalHeight, Math.round(img.getBoundingClientRect().top)]));
    expect(pictures.map((p) => p.slice(0, 3))).toEqual([['rek.svg', 240, 150], ['locomotief.svg', 240, 150]]);
    expect(pictures[0][3]).toBe(pictures[1][3]);
    await choose(page, 'SCK/ MCK');
    await shot(page, 'web-desktop-sck.png');
    await choose(page, '(?)BK');
    await shot(page, 'web-desktop-xbk.png');
    await choose(page, 'LKK_EVL');
    const pins = await page.getByRole('tabpanel', { name: 'LKK_EVL' }).getByRole('button', { name: /^\d+: [01]$/ })
      .evaluateAll((all) => all.map((pin) => Math.round(pin.getBoundingClientRect().top)));
    expect(new Set(pins).size).toBe(4);
    await shot(page, 'web-desktop-lkk_evl.png');
    await choose(page, 'IOK');
    const iok = page.getByRole('tabpanel', { name: 'IOK' });
    for (const group of ['Uitgangen', 'Ingangen']) {
      const tops = await iok.getByRole('group', { name: group }).locator('.bit, .melder')
        .evaluateAll((all) => all.map((n) => Math.round(n.getBoundingClientRect().top)));
      expect(tops.length).toBe(16);
      expect(new Set(tops).size).toBe(1);
    }
    await choose(page, 'Rek');
    await expectLampsApart(page);
    await shot(page, 'web-desktop-rack.png');
  });
});

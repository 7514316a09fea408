// Who drives: the first page drives and every other page watches, read-only, with
// "Overnemen"; a driving page gone for three seconds stops its running test and gives up
// control, which a watching page does not take by itself.
const { test, expect } = require('@playwright/test');
const { startWeb, tellOnFailure } = require('./morvelplint');

let web;
test.beforeEach(async () => { web = await startWeb(); });
test.afterEach(async ({}, testInfo) => { tellOnFailure(testInfo, web); await web.stop(); });

const drives = 'U bestuurt het rek.';
const watches = 'U kijkt mee: een andere pagina bestuurt het rek.';

test('the hand-over between two pages, and the stop three seconds after the driver closes', async ({ browser }) => {
  const first = await (await browser.newContext()).newPage();
  await first.goto(web.url);
  await expect(first.getByText(drives)).toBeVisible();
  const second = await (await browser.newContext()).newPage();
  await second.goto(web.url);
  await expect(second.getByText(watches)).toBeVisible();
  await second.getByRole('tab', { name: 'SLK' }).click();
  const watched = second.getByRole('tabpanel', { name: 'SLK' });
  await expect(watched.getByRole('radio', { name: 'Rek testen' })).toBeDisabled();

  // "Overnemen": the second page drives, the first watches.
  await second.getByRole('button', { name: 'Overnemen' }).click();
  await expect(second.getByText(drives)).toBeVisible();
  await expect(first.getByText(watches)).toBeVisible();
  await expect(second.getByRole('button', { name: 'Overnemen' })).toBeHidden();

  // The second page starts the sweep and is closed: the first sees it stop after three
  // seconds, and goes on watching.
  await watched.getByRole('radio', { name: 'Rek testen' }).check();
  await watched.getByRole('button', { name: 'Testen' }).click();
  await first.getByRole('tab', { name: 'SLK' }).click();
  const slk = first.getByRole('tabpanel', { name: 'SLK' });
  await expect(slk.getByRole('button', { name: 'Stop' })).toBeVisible();
  const closed = Date.now();
  await second.close();
  await expect(slk.getByRole('button', { name: 'Testen' })).toBeVisible({ timeout: 8000 });
  expect(Date.now() - closed).toBeGreaterThanOrEqual(2500);
  await expect(first.getByText('U kijkt mee; niemand bestuurt het rek.')).toBeVisible();
  await expect(first.getByRole('button', { name: 'Overnemen' })).toBeVisible();

  // A page opened while nobody drives takes control.
  const third = await (await browser.newContext()).newPage();
  await third.goto(web.url);
  await expect(third.getByText(drives)).toBeVisible();
  await expect(first.getByText(watches)).toBeVisible();
});

test('in English with LANG=en, the desktop\'s own words staying as they are', async ({ page }) => {
  const english = await startWeb({ env: { LANG: 'en', LANGUAGE: '' } });
  try {
    await page.goto(english.url);
    await expect(page.getByText('You drive the rack.')).toBeVisible();
    await expect(page.locator('#verbinding')).toHaveText(/^Connected/);
    await page.getByRole('tab', { name: '(?)BK' }).click();
    const xbk = page.getByRole('tabpanel', { name: '(?)BK' });
    // Too few sections: the model's message in the user's language.
    for (const group of [1, 2, 3]) {
      const box = xbk.getByRole('group', { name: 'Terugmelding ' + group });
      for (let k = 1; k <= 4; ++k) await box.getByRole('checkbox', { name: 'Sectie ' + k }).uncheck();
    }
    await xbk.getByRole('button', { name: 'Go' }).click();
    await expect(page.getByRole('alertdialog')).toContainText('Not enough sections selected');
  } finally {
    await english.stop();
  }
});

test('twelve pages at once, four browsers with three tabs each, all load and work', async ({ browser }) => {
  const contexts = [];
  for (let b = 0; b < 4; ++b) contexts.push(await browser.newContext());
  const pages = [];
  for (const context of contexts)
    for (let t = 0; t < 3; ++t) pages.push(await context.newPage());
  // Loaded one after the other (twelve loads at one moment would hold the browser's one
  // processor for seconds, and a page's heartbeat with it); open all at the same time.
  for (const page of pages) await page.goto(web.url);
  // The one that opened first drives, every other one watches.
  const states = () => Promise.all(pages.map((page) => page.locator('#besturing').textContent()));
  await expect.poll(async () => (await states()).filter((text) => text === drives).length).toBe(1);
  await expect.poll(async () => (await states()).filter((text) => text === watches).length).toBe(11);
  const driver = pages[(await states()).indexOf(drives)];
  const other = pages.find((page) => page !== driver);
  await other.getByRole('button', { name: 'Overnemen' }).click();
  await expect(other.getByText(drives)).toBeVisible();
  await expect(driver.getByText(watches)).toBeVisible();
  await expect.poll(async () => (await states()).filter((text) => text === watches).length).toBe(11);
  await Promise.all(contexts.map((context) => context.close()));
});

test('a box just ticked off stays so against a state that left before the change, until the server agrees', async ({ page }) => {
  // Between the server and the page: the server's frames held back while `held` is set, and
  // the last pages state, to send again as one that was on its way when the box changed.
  let toPage = null;
  let last = null;
  let held = null;
  await page.routeWebSocket(/\/ws/, (ws) => {
    const server = ws.connectToServer();
    ws.onMessage((message) => server.send(message));
    server.onMessage((message) => {
      if (JSON.parse(message).type === 'pages') last = message;
      if (held) held.push(message);
      else ws.send(message);
    });
    toPage = ws;
  });
  await page.goto(web.url);
  await expect(page.getByText(drives)).toBeVisible();
  await page.getByRole('tab', { name: '(?)BK' }).click();
  const box = page.getByRole('tabpanel', { name: '(?)BK' }).getByRole('group', { name: 'Terugmelding 1' })
    .getByRole('checkbox', { name: 'Sectie 1' });
  await expect(box).toBeChecked();
  const before = last;
  held = [];
  await box.uncheck();
  toPage.send(before);
  await page.evaluate(() => new Promise((resolve) => setTimeout(resolve, 100)));
  await expect(box).not.toBeChecked();
  // The server's own frames: it took the change, and a state after that shows as it is.
  await expect.poll(() => JSON.parse(last).pages.xbk.sections[0]).toBe(false);
  for (const message of held) toPage.send(message);
  held = null;
  await expect(box).not.toBeChecked();
  toPage.send(before);
  await expect(box).toBeChecked();
});

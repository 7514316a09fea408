// An adapter plugged in again, as a script or a udev rule names it: the port is a link that the
// card's new terminal is laid under by unlink and symlink, under the old terminal's number.
// morvelplint-web connects by itself each time, and the page's words reach the new card.
const { test, expect } = require('@playwright/test');
const fs = require('fs');
const path = require('path');
const { startRack, startWeb, iniFor, folder } = require('./morvelplint');


// The link made again to `target` as unlink and symlink make it where the file system gives
// the freed inode number back at once (a quiet /dev or /run): gone for a moment, then an entry
// under the same inode number with the same target and a new change time. A second name keeps
// the number meanwhile: on a busy disk any file made near it may take it.
function relink(link, target) {
  if (fs.readlinkSync(link) !== target) {
    fs.unlinkSync(link);
    fs.symlinkSync(target, link);
    return;
  }
  const aside = link + '.aside';
  fs.linkSync(link, aside);
  fs.unlinkSync(link);
  fs.linkSync(aside, link);
  fs.unlinkSync(aside);
}

// A card on the terminal number `pty`, as soon as it is free. Another test's rack that took
// the number in the moment it was free holds it for seconds; it is given up after twenty.
async function rackUnder(pty) {
  const number = (name) => parseInt(name.slice(name.lastIndexOf('/') + 1), 10);
  const held = [];
  const until = Date.now() + 20000;
  let rack = await startRack();
  while (rack.pty !== pty && Date.now() < until) {
    if (number(rack.pty) < number(pty)) {
      held.push(rack);
    } else {
      await rack.stop();
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    rack = await startRack();
  }
  for (const other of held) await other.stop();
  return rack;
}

test('a replugged adapter is taken up ten times in a row', async ({ page }) => {
  test.setTimeout(180000);
  const dir = folder();
  // The link in a folder of its own, as /dev/serial or a udev rule's folder holds it.
  const results = process.env.MORVELPLINT_WEB_RESULTS || path.join(__dirname, 'test-results');
  fs.mkdirSync(results, { recursive: true });
  const quiet = fs.mkdtempSync(path.join(results, 'replug-'));
  const link = path.join(quiet, 'ttyZELM');
  let rack = await startRack();
  fs.symlinkSync(rack.pty, link);
  const web = await startWeb({ dir, ini: iniFor(link), args: [] });
  try {
    await page.goto(web.url);
    await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
    await expect.poll(() => rack.received().length).toBe(193);
    for (let replug = 1; replug <= 10; ++replug) {
      const pty = rack.pty;
      const inode = fs.lstatSync(link).ino;
      await rack.stop();
      await expect(page.locator('#verbinding')).toHaveText(/^Niet verbonden/);
      // The loss is told in a message box, which the user closes.
      await expect(page.getByRole('alertdialog')).toContainText('De verbinding met de seriële poort is verbroken');
      await page.getByRole('button', { name: 'OK', exact: true }).last().click();
      // The number comes free once the program has let the lost terminal go; tests beside
      // this one take and free numbers too, so a lower one that is free is held meanwhile.
      rack = await rackUnder(pty);
      expect(rack.pty, 'replug ' + replug).toBe(pty);
      relink(link, rack.pty);
      expect(fs.lstatSync(link).ino).toBe(inode);
      await expect.poll(() => rack.received().length, { timeout: 8000, message: 'replug ' + replug }).toBe(193);
      await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
      const sck = page.getByRole('tabpanel', { name: 'SCK/ MCK' });
      if (!(await sck.isVisible())) await page.getByRole('tab', { name: 'SCK/ MCK' }).click();
      await sck.getByRole('button', { name: 'Versturen' }).click();
      await expect.poll(() => rack.received().length).toBe(194);
    }
  } finally {
    await web.stop();
    await rack.stop();
    fs.rmSync(quiet, { recursive: true, force: true });
  }
});

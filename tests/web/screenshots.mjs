// Pictures of the web page for the README and for looking at it: the
// worksheet and the viewer at 1366 x 768 and at a phone's width, in the
// light and the dark scheme, and the printed page (as PDF, then PNG).
//   node tests/web/screenshots.mjs OUT_DIR    (the page built, as for the test)
import { execFileSync } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { EXAMPLE, launch, openPage, startServer, top, waitForReport } from './browser.mjs';

const out = process.argv[2] ?? join(top, 'build-web-shots');
mkdirSync(out, { recursive: true });
const { server, address } = await startServer();
const { browser, reason } = await launch(['--font-render-hinting=none']);
if (!browser) {
  server.kill();
  throw new Error(`chromium cannot start here (${reason})`);
}

async function shoot(name, viewport, scheme) {
  const context = await browser.createBrowserContext();
  const page = await openPage(context, address, viewport);
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
  await page.focus('#field1');
  for (let i = 0; i < 6; ++i) {
    await page.keyboard.type(EXAMPLE[i]);
    await page.keyboard.press('Tab');
  }
  await page.keyboard.type('70');
  await page.screenshot({ path: join(out, `${name}-worksheet-${scheme}.png`), fullPage: viewport.width < 600 });
  await page.keyboard.press('Tab');
  await page.keyboard.type('55');
  await page.keyboard.press('Enter');
  await waitForReport(page);
  await page.screenshot({ path: join(out, `${name}-viewer-${scheme}.png`), fullPage: viewport.width < 600 });
  if (name === 'desktop' && scheme === 'light') {
    await page.click('#return');
    await page.keyboard.type('40');
    await page.keyboard.press('Tab');
    await page.keyboard.type('60');
    await page.keyboard.press('Enter');
    await waitForReport(page);
    await page.evaluate(() => window.dispatchEvent(new Event('beforeprint')));
    await page.pdf({ path: join(out, 'printed.pdf'), format: 'A4', printBackground: true, preferCSSPageSize: true });
    execFileSync('pdftoppm', ['-png', '-r', '70', join(out, 'printed.pdf'), join(out, 'printed')]);
  }
  await context.close();
}

try {
  for (const scheme of ['light', 'dark']) {
    await shoot('desktop', { width: 1366, height: 768 }, scheme);
    await shoot('phone', { width: 390, height: 844, deviceScaleFactor: 1, isMobile: true, hasTouch: true }, scheme);
  }
} finally {
  await browser.close();
  server.kill();
}
console.log(`screenshots in ${out}`);

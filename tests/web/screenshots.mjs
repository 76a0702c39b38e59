// Pictures of the web page for the README and for looking at it: the
// worksheet and the viewer at 1366 x 768 and at a phone's width, in the
// light and the dark scheme, and the printed page (as PDF, then PNG).
//   node tests/web/screenshots.mjs OUT_DIR    (the page built, as for the test)
import { spawn, execFileSync } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const top = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const out = process.argv[2] ?? join(top, 'build-web-shots');
mkdirSync(out, { recursive: true });
const server = spawn(process.execPath, [join(top, 'tools', 'web-server.mjs'), process.env.QUORREL_WEB_BUILD ?? join(top, 'build-web'), '0'], {
  stdio: ['ignore', 'pipe', 'inherit'],
});
const address = await new Promise((resolve) =>
  server.stdout.once('data', (line) => resolve(/http:\/\/localhost:\d+\//.exec(String(line))[0]))
);
const browser = await puppeteer.launch({
  executablePath: process.env.QUORREL_CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--lang=en-US', '--disable-gpu', '--font-render-hinting=none'],
});
const EXAMPLE = ['100', '15', '50', '10', '.6', '20', '70', '55'];

// Waits for the report; on a busy machine the long-run question may come
// first, and is answered "go on".
async function waitForReport(page) {
  for (;;) {
    const state = await page.waitForFunction(
      () =>
        !document.getElementById('viewer').hidden ? 'report' : document.getElementById('question-dialog').open ? 'question' : null,
      { timeout: 600000, polling: 100 }
    );
    if ((await state.jsonValue()) === 'report') return;
    await page.click('#question-buttons button:first-child');
  }
}

async function shoot(name, viewport, scheme) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport(viewport);
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
  await page.goto(address, { waitUntil: 'load' });
  await page.waitForSelector('body.ready #field1');
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

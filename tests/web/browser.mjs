// What the browser test, the screenshots and the benchmark share: the built
// page served on localhost by tools/web-server.mjs, Debian's chromium
// started headless through puppeteer-core, and the page driven to a report.
import { spawn } from 'node:child_process';
import { existsSync } from 'node:fs';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

export const top = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
export const pageDir = process.env.QUORREL_WEB_BUILD ?? join(top, 'build-web');
export const reportProgram = process.env.QUORREL_REPORT ?? join(top, 'build', 'src', 'cli', 'quorrel-report');
export const chromium = process.env.QUORREL_CHROMIUM ?? '/usr/bin/chromium';
export const EXAMPLE = ['100', '15', '50', '10', '.6', '20', '70', '55'];

// Serves the page on a free port; with `isolated` false the server leaves
// out the cross-origin isolation headers (the page then runs on one worker).
// Resolves with the server's process and the page's address.
export function startServer({ isolated = true } = {}) {
  return new Promise((resolve, reject) => {
    const args = [join(top, 'tools', 'web-server.mjs'), ...(isolated ? [] : ['--not-isolated']), pageDir, '0'];
    const server = spawn(process.execPath, args, { stdio: ['ignore', 'pipe', 'inherit'] });
    server.stdout.setEncoding('utf8');
    server.stdout.once('data', (line) => {
      const match = /http:\/\/localhost:(\d+)\//.exec(line);
      if (match) resolve({ server, address: match[0] });
      else reject(new Error(`the server said: ${line}`));
    });
    server.once('exit', (code) => reject(new Error(`the server ended (${code})`)));
  });
}

// Starts chromium: { browser }, or { reason } when it cannot start here.
export async function launch(extraArgs = []) {
  if (!existsSync(chromium)) return { reason: `${chromium} is not installed` };
  try {
    const browser = await puppeteer.launch({
      executablePath: chromium,
      headless: true,
      args: ['--no-sandbox', '--lang=en-US', '--disable-gpu', '--no-first-run', ...extraArgs],
      env: { ...process.env, LANG: 'en_US.UTF-8', LANGUAGE: 'en_US' },
      timeout: 60000,
    });
    return { browser };
  } catch (error) {
    return { reason: String(error.message).split('\n')[0] };
  }
}

// Opens the page in `context` (a browser or one of its contexts) and waits
// until it is ready for typing and its engine's worker has started.
export async function openPage(context, address, viewport = { width: 1366, height: 768 }) {
  const page = await context.newPage();
  await page.setViewport(viewport);
  await page.goto(address, { waitUntil: 'load' });
  await waitUntilReady(page);
  return page;
}

// After a load or a reload: the fields built and the engine's worker started.
export async function waitUntilReady(page) {
  await page.waitForSelector('body.ready[data-threads] #field1', { timeout: 60000 });
}

// How many threads the page's runs use (its engine's answer).
export const pageThreads = (page) => page.evaluate(() => Number(document.body.dataset.threads));

// Waits for the report; on a busy machine the long-run question may come
// before a run that is short on a quiet one, and is answered "go on".
export async function waitForReport(page) {
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

// The example's time in headless chromium, through the page as a user runs
// it (Compute pressed to the report shown, the engine in its worker),
// beside the native quorrel-report's with one thread and with all.
//   node tests/web/benchmark.mjs [REPETITIONS]     (the page built, as for the test)
// Prints the median and the range of each.
import { spawn, execFileSync } from 'node:child_process';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const top = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const repetitions = Number(process.argv[2] ?? 5);
const report = process.env.QUORREL_REPORT ?? join(top, 'build', 'src', 'cli', 'quorrel-report');
const EXAMPLE = ['100', '15', '50', '10', '.6', '20', '70', '55'];

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const summary = (xs) => `${median(xs).toFixed(2)} s (${Math.min(...xs).toFixed(2)}-${Math.max(...xs).toFixed(2)})`;

function nativeSeconds(args) {
  const start = process.hrtime.bigint();
  execFileSync(report, [...args, ...EXAMPLE], { stdio: 'ignore' });
  return Number(process.hrtime.bigint() - start) / 1e9;
}

const server = spawn(process.execPath, [join(top, 'tools', 'web-server.mjs'), process.env.QUORREL_WEB_BUILD ?? join(top, 'build-web'), '0'], {
  stdio: ['ignore', 'pipe', 'inherit'],
});
const address = await new Promise((resolve) =>
  server.stdout.once('data', (line) => resolve(/http:\/\/localhost:\d+\//.exec(String(line))[0]))
);
const browser = await puppeteer.launch({
  executablePath: process.env.QUORREL_CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--lang=en-US', '--disable-gpu'],
});
try {
  const page = await browser.newPage();
  await page.goto(address, { waitUntil: 'load' });
  await page.waitForSelector('body.ready #field1');
  await page.evaluate((values) => {
    document.querySelectorAll('#fields input').forEach((f, i) => (f.value = values[i]));
  }, EXAMPLE);
  const cores = await page.evaluate(() => navigator.hardwareConcurrency);
  const isolated = await page.evaluate(() => crossOriginIsolated);
  for (const prior of ['standard', 'calibrated']) {
    const web = [];
    const one = [];
    const all = [];
    for (let i = 0; i < repetitions; ++i) {
      await page.click(prior === 'standard' ? '#prior-standard' : '#prior-calibrated');
      const start = Date.now();
      await page.click('#compute');
      await page.waitForFunction(() => !document.getElementById('viewer').hidden, { timeout: 300000, polling: 50 });
      web.push((Date.now() - start) / 1000);
      await page.click('#clear-results');
      await page.click('#return');
      one.push(nativeSeconds(['--prior', prior, '--threads', '1']));
      all.push(nativeSeconds(['--prior', prior]));
    }
    console.log(`${prior}: chromium, one worker ${summary(web)}; native, one thread ${summary(one)}; native, all threads ${summary(all)}`);
  }
  console.log(`(chromium reports ${cores} cores; cross-origin isolated: ${isolated})`);
} finally {
  await browser.close();
  server.kill();
}

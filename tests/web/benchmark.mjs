// The example's time in headless chromium, through the page as a user runs
// it (Compute pressed to the report shown, the engine in its worker),
// beside the native quorrel-report's with one thread and with all.
//   node tests/web/benchmark.mjs [REPETITIONS]     (the page built, as for the test)
// Prints the median and the range of each, in seconds on the clock and in
// processor seconds (user and system time, which a busy machine does not
// inflate: the browser's processes' own, the native program's as a child).
import { spawn, execFileSync } from 'node:child_process';
import { readFileSync, readdirSync } from 'node:fs';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const top = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const repetitions = Number(process.argv[2] ?? 5);
const report = process.env.QUORREL_REPORT ?? join(top, 'build', 'src', 'cli', 'quorrel-report');
const EXAMPLE = ['100', '15', '50', '10', '.6', '20', '70', '55'];

const TICKS = 100; // the kernel's clock ticks per second, as /proc counts them

// utime + stime (fields 14 and 15), or with `children` cutime + cstime.
function processorSeconds(pid, children = false) {
  try {
    const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').replace(/^.*\) /, '').split(' ');
    const at = children ? 13 : 11;
    return (Number(fields[at]) + Number(fields[at + 1])) / TICKS;
  } catch {
    return 0; // the process has ended
  }
}

// The processor seconds of `root` and every process below it.
function treeSeconds(root) {
  const parents = new Map();
  for (const name of readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      parents.set(Number(name), Number(readFileSync(`/proc/${name}/stat`, 'utf8').replace(/^.*\) /, '').split(' ')[1]));
    } catch {
      // gone meanwhile
    }
  }
  const tree = new Set([root]);
  for (let grew = true; grew; ) {
    grew = false;
    for (const [pid, parent] of parents)
      if (!tree.has(pid) && tree.has(parent)) {
        tree.add(pid);
        grew = true;
      }
  }
  let total = 0;
  for (const pid of tree) total += processorSeconds(pid);
  return total;
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const summary = (xs) => `${median(xs).toFixed(2)} s (${Math.min(...xs).toFixed(2)}-${Math.max(...xs).toFixed(2)})`;

function nativeSeconds(args, cpu) {
  const start = process.hrtime.bigint();
  const before = processorSeconds(process.pid, true);
  execFileSync(report, [...args, ...EXAMPLE], { stdio: 'ignore' });
  cpu.push(processorSeconds(process.pid, true) - before);
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
    const webCpu = [];
    const one = [];
    const oneCpu = [];
    const all = [];
    const allCpu = [];
    for (let i = 0; i < repetitions; ++i) {
      await page.click(prior === 'standard' ? '#prior-standard' : '#prior-calibrated');
      const start = Date.now();
      const before = treeSeconds(browser.process().pid);
      await page.click('#compute');
      await page.waitForFunction(() => !document.getElementById('viewer').hidden, { timeout: 300000, polling: 50 });
      web.push((Date.now() - start) / 1000);
      webCpu.push(treeSeconds(browser.process().pid) - before);
      await page.click('#clear-results');
      await page.click('#return');
      one.push(nativeSeconds(['--prior', prior, '--threads', '1'], oneCpu));
      all.push(nativeSeconds(['--prior', prior], allCpu));
    }
    console.log(`${prior}, clock: chromium, one worker ${summary(web)}; native, one thread ${summary(one)}; native, all threads ${summary(all)}`);
    console.log(`${prior}, processor: chromium ${summary(webCpu)}; native, one thread ${summary(oneCpu)}; native, all threads ${summary(allCpu)}`);
  }
  console.log(`(chromium reports ${cores} cores; cross-origin isolated: ${isolated})`);
} finally {
  await browser.close();
  server.kill();
}

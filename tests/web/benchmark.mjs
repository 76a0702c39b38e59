// The example's time in headless chromium, through the page as a user runs
// it (Compute pressed to the report shown), with one worker (the page served
// without the cross-origin isolation headers) and with all (served with
// them: the run split over every processor the browser reports), beside the
// native quorrel-report's with one thread and with all.
//   node tests/web/benchmark.mjs [REPETITIONS]     (the page built, as for the test)
// Prints the median and the range of each, in seconds on the clock and in
// processor seconds (user and system time, which a busy machine does not
// inflate: the browser's processes' own, the native program's as a child).
import { execFileSync } from 'node:child_process';
import { readFileSync, readdirSync } from 'node:fs';
import { EXAMPLE, launch, openPage, pageThreads, reportProgram as report, startServer } from './browser.mjs';

const repetitions = Number(process.argv[2] ?? 5);

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

const servers = [await startServer({ isolated: false }), await startServer()];
const { browser, reason } = await launch();
if (!browser) {
  for (const { server } of servers) server.kill();
  throw new Error(`chromium cannot start here (${reason})`);
}

// The example in `page`, Compute pressed to the report shown: seconds on the
// clock and processor seconds of the browser's processes.
async function webSeconds(page, prior, cpu) {
  await page.click(prior === 'standard' ? '#prior-standard' : '#prior-calibrated');
  const start = Date.now();
  const before = treeSeconds(browser.process().pid);
  await page.click('#compute');
  await page.waitForFunction(() => !document.getElementById('viewer').hidden, { timeout: 300000, polling: 50 });
  const seconds = (Date.now() - start) / 1000;
  cpu.push(treeSeconds(browser.process().pid) - before);
  await page.click('#clear-results');
  await page.click('#return');
  return seconds;
}

try {
  const pages = [];
  for (const { address } of servers) {
    const page = await openPage(await browser.createBrowserContext(), address);
    await page.evaluate((values) => {
      document.querySelectorAll('#fields input').forEach((f, i) => (f.value = values[i]));
    }, EXAMPLE);
    pages.push(page);
  }
  const [oneWorker, allWorkers] = pages;
  const cores = await allWorkers.evaluate(() => navigator.hardwareConcurrency);
  const threads = [await pageThreads(oneWorker), await pageThreads(allWorkers)];
  for (const prior of ['standard', 'calibrated']) {
    const [webOne, webOneCpu, webAll, webAllCpu] = [[], [], [], []];
    const [one, oneCpu, all, allCpu] = [[], [], [], []];
    for (let i = 0; i < repetitions; ++i) {
      webOne.push(await webSeconds(oneWorker, prior, webOneCpu));
      webAll.push(await webSeconds(allWorkers, prior, webAllCpu));
      one.push(nativeSeconds(['--prior', prior, '--threads', '1'], oneCpu));
      all.push(nativeSeconds(['--prior', prior], allCpu));
    }
    console.log(
      `${prior}, clock: chromium, one worker ${summary(webOne)}; chromium, all workers ${summary(webAll)}; ` +
        `native, one thread ${summary(one)}; native, all threads ${summary(all)}`
    );
    console.log(
      `${prior}, processor: chromium, one worker ${summary(webOneCpu)}; chromium, all workers ${summary(webAllCpu)}; ` +
        `native, one thread ${summary(oneCpu)}; native, all threads ${summary(allCpu)}`
    );
  }
  console.log(`(chromium reports ${cores} cores; the pages' runs use ${threads[0]} and ${threads[1]} thread(s))`);
} finally {
  await browser.close();
  for (const { server } of servers) server.kill();
}

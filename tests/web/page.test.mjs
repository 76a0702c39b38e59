// The web page in a real browser (Debian's chromium, headless, driven by
// puppeteer-core): what a user does with the keyboard, and what the page
// must never do (send anything anywhere).
//   node tests/web/page.test.mjs [--screenshots DIR]
// Needs the page built (tools/run-web.sh build) and the native
// quorrel-report (build/src/cli/quorrel-report, or $QUORREL_REPORT).
// Exits 77 with one line saying why when chromium cannot start here.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import {
  EXAMPLE,
  launch,
  openPage,
  pageDir as page_dir,
  pageThreads,
  reportProgram as report_program,
  startServer,
  waitForReport as waitForViewer,
  waitUntilReady,
} from './browser.mjs';

const shots_at = process.argv.indexOf('--screenshots');
const shots = shots_at > 0 ? process.argv[shots_at + 1] : null;

const CAPTIONS = [
  'Mean of the control or normative sample on Task X:',
  'Standard deviation for the normative sample on Task X:',
  'Mean of the control or normative sample on Task Y:',
  'Standard deviation for the normative sample on Task Y:',
  'Correlation between Tests X and Y in normative sample:',
  'Sample size of the normative sample:',
  "Case's test score on Task X:",
  "Case's test score on Task Y:",
];

let failures = 0;
function check(condition, what, detail = '') {
  if (condition) {
    console.log(`ok   ${what}`);
  } else {
    failures++;
    console.log(`FAIL ${what}${detail ? `\n     ${detail}` : ''}`);
  }
}

// Where two texts first differ, for a failure's message.
function firstDifference(got, want) {
  const a = got.split('\n');
  const b = want.split('\n');
  for (let i = 0; i < Math.max(a.length, b.length); ++i)
    if (a[i] !== b[i]) return `line ${i + 1}: got ${JSON.stringify(a[i])}, want ${JSON.stringify(b[i])}`;
  return 'the same';
}

function native(args) {
  return execFileSync(report_program, args, { encoding: 'utf8', env: { ...process.env, LC_ALL: 'C' } });
}

const fieldValues = (page) => page.$$eval('#fields input', (inputs) => inputs.map((i) => i.value));
// The worksheet's parts (the notes box, the fields, the option groups, the
// buttons) that lie over one another on the page, as "a/b" pairs.
function overlaps(page) {
  return page.evaluate(() => {
    const parts = ['#notes', '.fields', '.test', '.prior', '.limits', '.worksheet-buttons'];
    const boxes = parts.map((selector) => [selector, document.querySelector(selector).getBoundingClientRect()]);
    const found = [];
    for (let i = 0; i < boxes.length; ++i)
      for (let j = i + 1; j < boxes.length; ++j) {
        const [a, p] = boxes[i];
        const [b, q] = boxes[j];
        if (p.left < q.right && q.left < p.right && p.top < q.bottom && q.top < p.bottom) found.push(`${a}/${b}`);
      }
    return found;
  });
}
const activeId = (page) => page.evaluate(() => document.activeElement?.id ?? '');
// Whether the focus reaches the element with this id within a few seconds: a
// dialog's close event, which moves the focus, comes a moment after the
// dialog has lost its open attribute.
const focusReaches = (page, id) =>
  page
    .waitForFunction((wanted) => document.activeElement?.id === wanted, { timeout: 5000 }, id)
    .then(
      () => true,
      () => false
    );
async function typeExample(page, values) {
  await page.focus('#field1');
  for (let i = 0; i < values.length; ++i) {
    await page.keyboard.type(values[i]);
    if (i < values.length - 1) await page.keyboard.press('Tab');
  }
}

async function main() {
  if (!existsSync(join(page_dir, 'index.html'))) throw new Error(`${page_dir} holds no page (tools/run-web.sh build)`);
  if (!existsSync(report_program)) throw new Error(`${report_program} is missing (build quorrel-report)`);
  const { browser, reason } = await launch();
  if (!browser) {
    console.log(`web page test: SKIPPED: chromium cannot start here (${reason})`);
    process.exit(77);
  }
  const { server, address } = await startServer();
  const servers = [server];
  const downloads = mkdtempSync(join(tmpdir(), 'quorrel-web-'));
  try {
    const page = await openPage(browser, address);
    const requests = [];
    page.on('request', (request) => requests.push(request.url()));
    const problems = [];
    page.on('pageerror', (error) => problems.push(error.message));
    page.on('console', (message) => message.type() === 'error' && problems.push(message.text()));

    check((await overlaps(page)).length === 0, 'at 1366 x 768 no part of the worksheet lies over another', (await overlaps(page)).join(', '));

    // A first visit: empty fields, the focus in the first.
    check(await focusReaches(page, 'field1'), 'the first visit puts the focus in the first field');

    // The example, typed with the keyboard (a comma for the point), then
    // Tab past the options and the notes to Compute, and Enter.
    const typed = [...EXAMPLE];
    typed[4] = ',6';
    await typeExample(page, typed);
    for (let i = 0; i < 4; ++i) await page.keyboard.press('Tab');
    check((await activeId(page)) === 'compute', 'Tab leads from the last field past the options and notes to Compute', await activeId(page));
    requests.length = 0;
    await page.keyboard.press('Enter');
    await waitForViewer(page);
    const text = await page.$eval('#results', (r) => r.value);
    const expected = native(EXAMPLE);
    check(text + '\n' === expected, "the report equals quorrel-report's, byte for byte", firstDifference(text + '\n', expected));
    check(requests.length === 0, 'computing makes no network request', requests.join(' '));
    // Served with the isolation headers, the run is split over every
    // processor chromium reports (the report above is its, to the byte).
    const cores = await page.evaluate(() => navigator.hardwareConcurrency);
    const threads = await pageThreads(page);
    check(
      (await page.evaluate(() => crossOriginIsolated)) && threads === Math.min(cores, 64) && (threads > 1 || cores === 1),
      'the isolated page splits the run over every processor the browser reports',
      `${threads} thread(s), ${cores} processor(s)`
    );
    check(
      (await page.$eval('#figure svg', (s) => s.getAttribute('aria-label'))).startsWith('Posterior distribution'),
      'the figure of the report is drawn'
    );
    if (shots) await page.screenshot({ path: join(shots, 'web-results-1366x768.png') });

    // Save Output: the viewer's text with CR LF line ends.
    const cdp = await page.createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await page.click('#save-output');
    for (let i = 0; i < 50 && !existsSync(join(downloads, 'results.txt')); ++i) await new Promise((r) => setTimeout(r, 100));
    const saved = existsSync(join(downloads, 'results.txt')) ? readFileSync(join(downloads, 'results.txt'), 'latin1') : '';
    check(saved === expected.replace(/\n$/, '').replace(/\n/g, '\r\n'), 'Save Output writes the text with CR LF line ends');

    // Back to the worksheet: the focus waits in the case's first score.
    await page.click('#return');
    check(await focusReaches(page, 'field7'), 'Return to Worksheet puts the focus in the case\'s score on Task X');

    // Refusals: the core's message, the field unchanged or focused.
    const refusals = [
      { field: 2, type: '0', message: `INPUT ERROR\n(  ${CAPTIONS[1]}  0.000  )\nStandard deviations must have a positive value.` },
      { field: 6, type: '2', message: `INPUT ERROR\n(  ${CAPTIONS[5]}  2.000  )\n` },
      { field: 5, type: 'a', message: 'INPUT ERROR\n\nEnter numeric data only.', keyRefused: true },
    ];
    for (const r of refusals) {
      await page.focus(`#field${r.field}`);
      const before = await page.$eval(`#field${r.field}`, (f) => f.value);
      await page.keyboard.type(r.type);
      if (!r.keyRefused) {
        await page.click('#compute');
      }
      await page.waitForSelector('#message-dialog[open]', { timeout: 10000 });
      const message = await page.$eval('#message-text', (m) => m.textContent);
      check(message.startsWith(r.message), `field ${r.field} given "${r.type}": the core's message`, JSON.stringify(message));
      await page.keyboard.press('Enter');
      await page.waitForSelector('#message-dialog:not([open])');
      check(await focusReaches(page, `field${r.field}`), `field ${r.field} given "${r.type}": the focus goes to the field`);
      if (r.keyRefused) check((await page.$eval(`#field${r.field}`, (f) => f.value)) === before, 'a refused key leaves the field as it was');
      await page.$eval(`#field${r.field}`, (f, v) => (f.value = v), EXAMPLE[r.field - 1]);
    }

    // The six-character limit cuts a seventh character.
    await page.focus('#field1');
    await page.keyboard.type('1234567');
    await page.waitForSelector('#message-dialog[open]');
    check((await page.$eval('#message-text', (m) => m.textContent)) === 'Maximum length of input is 6 characters.', 'a seventh character is refused with the core\'s message');
    await page.keyboard.press('Enter');
    check((await page.$eval('#field1', (f) => f.value)) === '123456', 'the field keeps its first six characters');
    await page.$eval('#field1', (f) => (f.value = '100'));

    // The control data is back after a reload, the case's scores are not.
    await page.reload({ waitUntil: 'load' });
    await waitUntilReady(page);
    check(
      JSON.stringify(await fieldValues(page)) === JSON.stringify(['100', '15', '50', '10', '0.6', '20', '', '']),
      'a reload restores the control data',
      JSON.stringify(await fieldValues(page))
    );
    check(await focusReaches(page, 'field7'), 'after a reload the focus waits in the case\'s first score');

    // The page may not connect anywhere: its policy stops a request out.
    const violated = await page.evaluate(async () => {
      let directive = null;
      document.addEventListener('securitypolicyviolation', (e) => (directive = e.violatedDirective));
      await fetch('http://127.0.0.1:9/').catch(() => {});
      await new Promise((resolve) => setTimeout(resolve, 200));
      return directive;
    });
    check(violated === 'connect-src', 'the content security policy refuses a connection out', violated);

    // The unstandardized test runs with standard theory only.
    await page.click('#test-unstandardized');
    check(
      await page.evaluate(() => document.getElementById('prior-standard').checked && document.getElementById('prior-group').disabled),
      'the unstandardized test selects standard theory and disables the prior'
    );
    await page.click('#test-standardized');
    check(
      await page.evaluate(() => document.getElementById('prior-calibrated').checked && !document.getElementById('prior-group').disabled),
      'the standardized test selects the calibrated prior again'
    );

    // Every field, option and button has the name a screen reader says.
    const tree = await page.accessibility.snapshot({ interestingOnly: false });
    const named = [];
    const walk = (node) => {
      if (['textbox', 'radio', 'button', 'checkbox', 'combobox'].includes(node.role)) named.push(node);
      (node.children ?? []).forEach(walk);
    };
    walk(tree);
    const names = named.map((n) => n.name);
    check(named.every((n) => n.name && n.name.trim() !== ''), 'no control without a name', JSON.stringify(named.filter((n) => !n.name)));
    for (const name of [
      ...CAPTIONS,
      'Bayesian STANDARDIZED difference test',
      'Bayesian UNSTANDARDIZED difference test',
      'Calibrated (Recommended)',
      'Standard Theory (Jeffreys prior)',
      'two-sided',
      'one-sided lower',
      'one-sided upper',
      "User's Notes:",
      'Compute',
      'Clear Data',
    ])
      check(names.includes(name), `a screen reader names "${name}"`);

    // Offline: the page comes back and computes without a network.
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null || navigator.serviceWorker.ready.then(() => true), { timeout: 20000 });
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.setOfflineMode(true);
    await page.reload({ waitUntil: 'load' });
    await waitUntilReady(page);
    await page.focus('#field7');
    await page.keyboard.type('70');
    await page.keyboard.press('Tab');
    await page.keyboard.type('55');
    await page.keyboard.press('Enter');
    await waitForViewer(page);
    check((await page.$eval('#results', (r) => r.value)) + '\n' === expected, 'offline, the page computes the same report');
    check((await pageThreads(page)) === threads, 'offline, the kept files keep the page isolated and its run split', String(await pageThreads(page)));
    await page.setOfflineMode(false);
    await page.click('#clear-results');
    await page.click('#return');

    // Cancel during a long calibrated run: no report, and the next run works.
    await page.$eval('#field5', (f) => (f.value = '.9999'));
    await page.click('#compute');
    const asked = await Promise.race([
      page.waitForSelector('#question-dialog[open]', { timeout: 60000 }).then(() => true),
      page.waitForSelector('#progress-dialog[open]', { timeout: 60000 }).then(() => false),
    ]);
    if (asked) {
      const question = await page.$eval('#question-text', (q) => q.textContent);
      check(/minute|second/i.test(question), 'the long-run question comes before the calibrated run', question);
      await page.click('#question-buttons button:first-child');
    }
    await page.waitForSelector('#progress-dialog[open]', { timeout: 30000 });
    if (shots) await page.screenshot({ path: join(shots, 'web-progress-1366x768.png') });
    await page.keyboard.press('Enter');
    check(await page.$eval('#progress-dialog', (d) => d.open), 'Enter in the progress window does not cancel the run');
    await page.click('#cancel');
    await page.waitForSelector('#progress-dialog:not([open])');
    check(await page.$eval('#viewer', (v) => v.hidden), 'Cancel leaves the worksheet shown');
    check(await focusReaches(page, 'field1'), 'after Cancel the focus is in the first field', await activeId(page));
    check((await page.$eval('#results', (r) => r.value)) === '', 'Cancel leaves no report');
    // The next run, with two lines of notes, Compute clicked while the notes
    // are still tall with the focus.
    await page.$eval('#field5', (f) => (f.value = '.6'));
    await page.focus('#notes');
    await page.keyboard.type('Patient A');
    await page.keyboard.press('Enter');
    await page.keyboard.type('second line');
    await page.click('#compute');
    await waitForViewer(page);
    const withNotes = native(['--notes', 'Patient A', '--notes', 'second line', ...EXAMPLE]);
    const got = (await page.$eval('#results', (r) => r.value)) + '\n';
    check(got === withNotes, 'after a Cancel the next run gives the report, with the notes', firstDifference(got, withNotes));
    await page.click('#return');

    // Clear Data empties the fields, forgets the control data, focuses field 1.
    await page.click('#clear-data');
    check((await fieldValues(page)).every((v) => v === ''), 'Clear Data empties every field');
    check(await focusReaches(page, 'field1'), 'Clear Data puts the focus in the first field');
    await page.reload({ waitUntil: 'load' });
    await waitUntilReady(page);
    check((await fieldValues(page)).every((v) => v === ''), 'after Clear Data a reload restores nothing');
    // (The policy's own refusal above is the one error expected.)
    const unexpected = problems.filter((p) => !p.includes('http://127.0.0.1:9/'));
    check(unexpected.length === 0, 'no script error on the page', unexpected.join(' | '));

    // A server that does not send the isolation headers: one worker, the
    // same report.
    const plain = await startServer({ isolated: false });
    servers.push(plain.server);
    // ... here on a phone's screen, in one column.
    const single = await openPage(await browser.createBrowserContext(), plain.address, { width: 390, height: 844 });
    check((await overlaps(single)).length === 0, "at a phone's width no part of the worksheet lies over another", (await overlaps(single)).join(', '));
    await typeExample(single, EXAMPLE);
    await single.keyboard.press('Enter');
    await waitForViewer(single);
    const singleText = (await single.$eval('#results', (r) => r.value)) + '\n';
    check(
      !(await single.evaluate(() => crossOriginIsolated)) && (await pageThreads(single)) === 1,
      'served without the isolation headers, the page runs on one worker',
      String(await pageThreads(single))
    );
    check(singleText === expected, 'on one worker the report is the same, byte for byte', firstDifference(singleText, expected));
  } finally {
    await browser.close();
    for (const s of servers) s.kill();
  }
  if (failures > 0) {
    console.log(`web page test: ${failures} check(s) failed`);
    process.exit(1);
  }
  console.log('web page test: passed');
}

main().catch((error) => {
  console.log(`web page test: FAILED: ${error.stack ?? error}`);
  process.exit(1);
});

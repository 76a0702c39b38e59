// The page: the worksheet and the results viewer on the analysis core.
// Every rule, message and report line comes from the core (core.js); this
// file only wires the controls to it, in the page's own words where it
// speaks for itself (loading, storage, the progress window).
import { Core, FIELD_COUNT } from './core.js';
import { figureSvg } from './figure.js';

const STORAGE_KEY = 'quorrel.controlData';
const SEPARATOR_LINE = '_'.repeat(96);
const PROGRESS_DELAY_MS = 1000;
const LONG_RUN_SECONDS = 60;

const $ = (id) => document.getElementById(id);
// The user's decimal separator, from the browser's own locale.
const separator = new Intl.NumberFormat().format(1.5).includes(',') ? ',' : '.';

let core = null;
const fields = [];
const reports = []; // per report in the viewer: what its figure needs

// ---- Messages, the beep and questions --------------------------------------

let audio = null;
function beep() {
  try {
    audio = audio ?? new AudioContext();
    const tone = audio.createOscillator();
    const gain = audio.createGain();
    tone.frequency.value = 880;
    gain.gain.value = 0.1;
    tone.connect(gain).connect(audio.destination);
    tone.start();
    tone.stop(audio.currentTime + 0.12);
  } catch {
    // No sound on this device: the message says it all.
  }
}

// The core's messages break lines with a carriage return.
const shownText = (text) => text.replace(/\r\n?/g, '\n');

// A modal message with one OK button; resolves when it is closed, after the
// focus has gone to `focusAfter` (when given).
function showMessage(text, { caption = 'Warning', focusAfter = null } = {}) {
  const dialog = $('message-dialog');
  $('message-caption').textContent = caption;
  $('message-text').textContent = shownText(text);
  return new Promise((resolve) => {
    dialog.addEventListener(
      'close',
      () => {
        if (focusAfter) focusAfter.focus();
        resolve();
      },
      { once: true }
    );
    dialog.showModal();
    $('message-ok').focus();
  });
}

// A modal question; resolves with the index of the answer chosen (the last
// one when Escape closes it).
function ask(text, answers) {
  const dialog = $('question-dialog');
  $('question-text').textContent = shownText(text);
  const box = $('question-buttons');
  box.replaceChildren();
  return new Promise((resolve) => {
    let chosen = answers.length - 1;
    answers.forEach((answer, index) => {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = answer;
      button.addEventListener('click', () => {
        chosen = index;
        dialog.close();
      });
      box.append(button);
    });
    dialog.addEventListener('close', () => resolve(chosen), { once: true });
    dialog.showModal();
    box.firstElementChild.focus();
  });
}

$('message-ok').addEventListener('click', () => $('message-dialog').close());

// ---- The fields ------------------------------------------------------------

function buildFields() {
  const box = $('fields');
  for (let i = 0; i < FIELD_COUNT; ++i) {
    const row = document.createElement('div');
    row.className = 'field';
    const label = document.createElement('label');
    label.htmlFor = `field${i + 1}`;
    label.id = `label${i + 1}`;
    label.textContent = core.caption(i);
    const input = document.createElement('input');
    input.type = 'text';
    input.id = `field${i + 1}`;
    input.autocomplete = 'off';
    input.spellcheck = false;
    input.setAttribute('autocapitalize', 'off');
    input.setAttribute('autocorrect', 'off');
    row.append(label, input);
    box.append(row);
    fields.push(input);
    wireField(input, i);
  }
}

function wireField(input, index) {
  input.addEventListener('focus', () => input.select());
  // Each typed or pasted character goes through the core's key filter: a
  // refused one keeps the whole insertion out, a comma comes in as a point.
  input.addEventListener('beforeinput', (event) => {
    if (!event.inputType.startsWith('insert')) return;
    let typed = event.data;
    if (typed === null && event.dataTransfer) typed = event.dataTransfer.getData('text/plain');
    if (typed === null || typed === '') return;
    let passed = '';
    for (const character of typed) {
      const kept = core.filterKey(character);
      if (kept === '') {
        event.preventDefault();
        const message = core.message();
        if (core.beeped()) beep();
        showMessage(message, { focusAfter: input });
        return;
      }
      passed += kept;
    }
    if (passed !== typed) {
      event.preventDefault();
      input.setRangeText(passed, input.selectionStart, input.selectionEnd, 'end');
      input.dispatchEvent(new Event('input', { bubbles: true }));
    }
  });
  // Text that came in without a cancellable key (a phone keyboard's
  // composition, autofill) passes the same filter afterwards: a refused
  // character puts the text back as it was, a comma becomes a point.
  let lastValue = '';
  input.addEventListener('focus', () => (lastValue = input.value));
  input.addEventListener('input', () => {
    let passed = '';
    for (const character of input.value) {
      const kept = core.filterKey(character);
      if (kept === '') {
        const message = core.message();
        if (core.beeped()) beep();
        input.value = lastValue;
        showMessage(message, { focusAfter: input });
        return;
      }
      passed += kept;
    }
    if (passed !== input.value) {
      const at = input.selectionStart;
      input.value = passed;
      input.setSelectionRange(at, at);
    }
    lastValue = input.value;
  });
  // The six-character limit, after every change of the text.
  input.addEventListener('input', () => {
    lastValue = input.value.slice(0, core.maxInputLength());
    if (input.value.length <= core.maxInputLength()) return;
    const kept = core.limitLength(input.value);
    const message = core.message();
    const beeped = core.beeped();
    input.value = kept;
    if (beeped) beep();
    if (message) showMessage(message, { focusAfter: input });
    input.select();
  });
  // Enter in the case's score on Task Y computes.
  if (index === FIELD_COUNT - 1)
    input.addEventListener('keydown', (event) => {
      if (event.key === 'Enter' && !event.isComposing) {
        event.preventDefault();
        compute();
      }
    });
}

const texts = () => fields.map((f) => f.value);
const focusField = (index) => fields[index]?.focus();
const focusForNextCase = () => focusField(fields[0].value === '' ? 0 : 6);

// ---- Options and notes ---------------------------------------------------------

const checkedValue = (name) => Number(document.querySelector(`input[name="${name}"]:checked`).value);

function options() {
  const test = checkedValue('test');
  return { test, prior: test === 1 ? 1 : checkedValue('prior'), limits: checkedValue('limits') };
}

// The unstandardized test always runs with standard theory; the
// standardized test goes back to the calibrated prior.
function coupleTestAndPrior() {
  const unstandardized = $('test-unstandardized').checked;
  $(unstandardized ? 'prior-standard' : 'prior-calibrated').checked = true;
  $('prior-group').disabled = unstandardized;
}
$('test-standardized').addEventListener('change', coupleTestAndPrior);
$('test-unstandardized').addEventListener('change', coupleTestAndPrior);

function noteLines() {
  const lines = $('notes').value.split(/\r\n|\n|\r/);
  if (lines.length > 0 && lines[lines.length - 1] === '') lines.pop();
  return lines;
}

// ---- Control data kept in the browser ----------------------------------------

function keepControlData(text) {
  try {
    localStorage.setItem(STORAGE_KEY, text);
  } catch (error) {
    return `The control data could not be kept in this browser (${error.message}).`;
  }
  return null;
}

async function restoreControlData() {
  let text = null;
  try {
    text = localStorage.getItem(STORAGE_KEY);
  } catch {
    text = null; // storage switched off: the fields start empty
  }
  if (text === null) return;
  const { values, message } = core.readDataFileText(text);
  values.forEach((value, i) => (fields[i].value = value));
  if (message) await showMessage(message, { caption: 'Quorrel' });
}

function clearData() {
  for (const field of fields) field.value = '';
  $('notes').value = '';
  try {
    localStorage.removeItem(STORAGE_KEY);
  } catch {
    // nothing kept, nothing to remove
  }
  focusField(0);
}

// ---- The engine's worker -------------------------------------------------------

let worker = null;
let workerReady = null;
let nextId = 1;
const waiting = new Map();

function startWorker() {
  worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  workerReady = new Promise((resolve, reject) => {
    worker.onmessage = (event) => {
      const answer = event.data;
      if (answer.type === 'ready') {
        // How many threads the runs use, for whoever looks (the browser test).
        document.body.dataset.threads = String(answer.threads);
        resolve();
      }
      else if (answer.type === 'error') reject(new Error(answer.message));
      else waiting.get(answer.id)?.(answer);
    };
    worker.onerror = (event) => reject(new Error(event.message || 'The analysis could not start.'));
  });
  worker.postMessage({ type: 'start', separator });
}

// Sends `request` to the worker; `onAnswer` sees every answer to it.
async function send(request, onAnswer) {
  await workerReady;
  const id = nextId++;
  waiting.set(id, onAnswer);
  worker.postMessage({ ...request, id });
  return id;
}

function estimate(request) {
  return new Promise((resolve, reject) => {
    send({ ...request, type: 'estimate' }, (answer) => {
      waiting.delete(answer.id);
      if (answer.type === 'failed') reject(new Error(answer.message));
      else resolve(answer);
    }).catch(reject);
  });
}

// Runs the analysis; resolves with the worker's last answer, or with
// {status: 'cancelled'} when the user cancels.
function run(request) {
  return new Promise((resolve, reject) => {
    const bar = $('progress-bar');
    const dialog = $('progress-dialog');
    bar.value = 0;
    $('progress-text').textContent = '';
    let shown = false;
    const timer = setTimeout(() => {
      shown = true;
      dialog.showModal();
      // The focus on the window, not on Cancel: as on the desktop, an Enter
      // meant for something else does not cancel a long run.
      dialog.focus();
    }, PROGRESS_DELAY_MS);
    const finish = (answer) => {
      clearTimeout(timer);
      if (shown) dialog.close();
      resolve(answer);
    };
    $('cancel').onclick = () => {
      // A run cannot be stopped from outside its thread: the worker ends,
      // and a new one waits for the next run.
      worker.terminate();
      waiting.clear();
      startWorker();
      finish({ status: 'cancelled' });
    };
    dialog.oncancel = (event) => event.preventDefault(); // Escape is not Cancel
    send({ ...request, type: 'run' }, (answer) => {
      if (answer.type === 'progress') {
        bar.max = answer.total;
        bar.value = answer.drawn;
        $('progress-text').textContent =
          `${Math.floor((100 * answer.drawn) / answer.total)}% of ${answer.total.toLocaleString()} draws`;
      } else if (answer.type === 'done') {
        waiting.delete(answer.id);
        finish(answer);
      } else if (answer.type === 'failed') {
        waiting.delete(answer.id);
        finish({ status: 3, message: answer.message, refused: -1 });
      }
    }).catch((error) => {
      clearTimeout(timer);
      if (shown) dialog.close();
      reject(error);
    });
  });
}

// ---- Compute -------------------------------------------------------------------

let computing = false;

async function compute() {
  if (computing || !core) return;
  const values = texts();
  const refused = core.checkFields(values);
  if (refused >= 0) {
    await showMessage(core.message(), { focusAfter: fields[refused] });
    return;
  }
  computing = true;
  const screen = $('screen');
  screen.inert = true;
  try {
    const storageProblem = keepControlData(core.dataFileText(values));
    if (storageProblem) await showMessage(storageProblem, { caption: 'Quorrel' });
    const request = { texts: values, options: options(), notes: noteLines() };
    let usedStandardTheory = false;
    if (request.options.prior === 0) {
      const { seconds, question, choices } = await estimate(request);
      if (seconds > LONG_RUN_SECONDS) {
        const choice = await ask(question, choices);
        if (choice === 2) return;
        if (choice === 1) {
          request.options = { ...request.options, prior: 1 };
          usedStandardTheory = true;
        }
      }
    }
    request.holdsText = $('results').value !== '';
    const answer = await run(request);
    if (answer.status === 'cancelled' || answer.status === 2) {
      screen.inert = false;
      focusField(0);
      return;
    }
    if (answer.status !== 0) {
      screen.inert = false;
      await showMessage(answer.message, {
        caption: answer.status === 1 ? 'Warning' : 'Quorrel',
        focusAfter: fields[answer.refused >= 0 ? answer.refused : 0],
      });
      return;
    }
    if (usedStandardTheory) $('prior-standard').checked = true;
    showReport(answer, {
      caseX: core.readNumber(6, values[6]) ?? 0,
      caseY: core.readNumber(7, values[7]) ?? 0,
      notes: request.notes,
      options: request.options,
    });
  } catch (error) {
    screen.inert = false;
    await showMessage(String(error.message ?? error), { caption: 'Quorrel', focusAfter: fields[0] });
  } finally {
    screen.inert = false;
    computing = false;
  }
}

// ---- The viewer ------------------------------------------------------------------

const results = $('results');

function showReport(answer, analysis) {
  reports.push({ ...analysis, results: answer.results, summary: answer.summary });
  // The report's lines end with a line feed; the viewer's text joins lines.
  const lines = answer.report.replace(/\n$/, '');
  results.value = results.value === '' ? lines : `${results.value}\n${lines}`;
  $('worksheet').hidden = true;
  $('viewer').hidden = false;
  document.title = 'Results viewer: Quorrel';
  showFigure(reports.length - 1);
  results.focus();
  const start = results.value.length - lines.length;
  results.setSelectionRange(start, start);
  results.scrollTop = results.scrollHeight;
  $('return').focus();
}

// The report that holds the text cursor: the reports are told apart by the
// separator line that starts every report after the first.
function reportAtCursor() {
  const before = results.value.slice(0, results.selectionStart);
  const count = before.split('\n').filter((line) => line === SEPARATOR_LINE).length;
  return Math.min(count, reports.length - 1);
}

function showFigure(index) {
  const figure = $('figure');
  if (index < 0 || index >= reports.length) {
    figure.replaceChildren();
    return;
  }
  if (figure.dataset.report === String(index)) return;
  figure.dataset.report = String(index);
  figure.innerHTML = figureSvg(reports[index], separator, index + 1);
}

for (const type of ['click', 'keyup', 'select'])
  results.addEventListener(type, () => showFigure(reportAtCursor()));

function saveOutput() {
  const text = results.value.replace(/\r?\n/g, '\r\n');
  const url = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = 'results.txt';
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// The page to print: each report with its figure on a page of its own, in
// a fixed-width font.
function preparePrint() {
  const area = $('print-area');
  area.replaceChildren();
  const pieces = [[]];
  for (const line of results.value.split('\n')) {
    if (line === SEPARATOR_LINE) pieces.push([]);
    else pieces[pieces.length - 1].push(line);
  }
  pieces.forEach((lines, index) => {
    const page = document.createElement('section');
    page.className = 'print-page';
    const pre = document.createElement('pre');
    pre.textContent = lines.join('\n');
    page.append(pre);
    if (index < reports.length) {
      const figure = document.createElement('div');
      figure.className = 'print-figure';
      figure.innerHTML = figureSvg(reports[index], separator, index + 1);
      page.append(figure);
    }
    area.append(page);
  });
}
window.addEventListener('beforeprint', preparePrint);

function clearResults() {
  results.value = '';
  reports.length = 0;
  delete $('figure').dataset.report;
  showFigure(-1);
  results.focus();
}

function returnToWorksheet() {
  $('viewer').hidden = true;
  $('worksheet').hidden = false;
  document.title = 'Quorrel';
  focusForNextCase();
}

// ---- Start ---------------------------------------------------------------------

$('compute').addEventListener('click', compute);
$('clear-data').addEventListener('click', clearData);
$('save-output').addEventListener('click', saveOutput);
$('print').addEventListener('click', () => {
  preparePrint();
  window.print();
});
$('clear-results').addEventListener('click', clearResults);
$('return').addEventListener('click', returnToWorksheet);

// The notes grow while they have the focus and hold more than one line.
const notes = $('notes');
const sizeNotes = (event) => {
  if (notes.value.includes('\n') || event?.key === 'Enter') notes.classList.add('tall');
};
notes.addEventListener('focus', sizeNotes);
notes.addEventListener('keyup', sizeNotes);
notes.addEventListener('blur', () => notes.classList.remove('tall'));

async function start() {
  try {
    core = await Core.load(separator);
  } catch (error) {
    $('loading').textContent = `The analysis could not be loaded: ${error.message ?? error}`;
    return;
  }
  buildFields();
  startWorker();
  $('loading').hidden = true;
  document.body.classList.add('ready');
  await restoreControlData();
  focusForNextCase();
  if ('serviceWorker' in navigator && location.protocol !== 'file:')
    navigator.serviceWorker.register('sw.js').catch(() => {
      // Without it the page still works, only not offline.
    });
}

start();

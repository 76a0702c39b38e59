// The engine's own thread: the page sends the fields, the options and the
// notes; the worker runs the core and sends back the progress, then the
// report, the results and the summary of the draws.  A run cannot be
// interrupted from outside while it computes, so the page cancels a run by
// ending this worker (and with it the workers of its threads) and starting
// another.
// Where the page is cross-origin isolated the browser shares memory between
// workers: the run is split over as many threads as it reports processors
// (the same digits as one).  Elsewhere it runs on this worker alone.
import { Core } from './core.js';

let core = null;
let separator = '.';

async function start() {
  try {
    const shared = self.crossOriginIsolated === true && typeof SharedArrayBuffer === 'function';
    const threads = shared ? navigator.hardwareConcurrency : 1;
    try {
      core = await Core.load(separator, threads);
    } catch (error) {
      // The library with threads could not start (its files, or the memory
      // for its workers): one thread gives the same report.
      if (threads <= 1) throw error;
      core = await Core.load(separator, 1);
    }
    postMessage({ type: 'ready', threads: core.threads });
  } catch (error) {
    postMessage({ type: 'error', message: String(error && error.message ? error.message : error) });
  }
}

function prepare(request) {
  core.setOptions(request.options);
  core.setNotes(request.notes ?? []);
}

onmessage = (event) => {
  const request = event.data;
  try {
    answer(request);
  } catch (error) {
    // The page is told, rather than left waiting for an answer.
    postMessage({ type: 'failed', id: request.id, message: String(error && error.message ? error.message : error) });
  }
};

function answer(request) {
  if (request.type === 'start') {
    separator = request.separator ?? '.';
    start();
    return;
  }
  if (!core) return;
  if (request.type === 'estimate') {
    prepare(request);
    const seconds = core.expectedSeconds(request.texts);
    postMessage({
      type: 'estimate',
      id: request.id,
      seconds,
      question: seconds > 0 ? core.longRunQuestion(seconds) : '',
      choices: [0, 1, 2].map((i) => core.longRunChoice(i)),
    });
  } else if (request.type === 'run') {
    prepare(request);
    const status = core.run(request.texts, (drawn, total) => {
      postMessage({ type: 'progress', id: request.id, drawn, total });
      return 0;
    });
    const done = status === 0;
    postMessage({
      type: 'done',
      id: request.id,
      status,
      message: core.message(),
      refused: core.refusedField(),
      report: done ? core.report(request.holdsText) : '',
      results: done ? core.results() : null,
      summary: done ? core.drawsSummary() : null,
    });
  }
}

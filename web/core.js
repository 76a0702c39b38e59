// The analysis core, compiled to WebAssembly, seen from JavaScript: each
// method hands one call of the core's C interface across and brings its
// answer back as JavaScript values.  No rule, message or report line is made
// here; the page shows what the core returns.  Used by the page (key filter,
// number reader, checks, data text) and by the worker (runs).

export const FIELD_COUNT = 8;
// The most threads a run uses.
const MAX_THREADS = 64;

export class Core {
  constructor(module, separator) {
    this.m = module;
    this.session = module._quorrel_session_new(separator.charCodeAt(0));
    if (!this.session) throw new Error('The analysis could not start: memory is short.');
    this.onProgress = null;
    this.progressFunction = 0;
    this.threads = 1;
  }

  // Loads the core's module (the .wasm beside this file).  With `threads`
  // above 1 (only where the browser shares memory between workers) it is
  // the build with threads, its pool of workers started before the first
  // run: a run holds its thread, and a worker cannot start meanwhile.
  // `threads` is then how many threads the runs use (one core's answer).
  // A worker of the pool that cannot start would leave the module never
  // ready, the error unseen: the load fails instead when the workers'
  // script cannot be read, or when a worker writes an error while loading.
  static async load(separator, threads = 1) {
    const wanted = Math.min(Math.max(1, Math.floor(threads) || 1), MAX_THREADS);
    let module;
    if (wanted > 1) {
      const script = await fetch(new URL('./quorrel-core-threads.worker.js', import.meta.url));
      if (!script.ok) throw new Error(`quorrel-core-threads.worker.js: ${script.status}`);
      const { default: create } = await import('./quorrel-core-threads.mjs');
      let fail = null;
      const failed = new Promise((resolve, reject) => (fail = reject));
      const printErr = (text) => {
        console.error(text);
        fail(new Error(text));
      };
      module = await Promise.race([create({ quorrelWorkers: wanted - 1, printErr }), failed]);
    } else {
      const { default: create } = await import('./quorrel-core.mjs');
      module = await create();
    }
    const core = new Core(module, separator);
    core.threads = module._quorrel_set_threads(wanted);
    return core;
  }

  text(pointer) {
    return pointer ? this.m.UTF8ToString(pointer) : '';
  }

  // Runs `work` with a zero-terminated copy of `value` in the core's memory.
  withString(value, work) {
    const size = this.m.lengthBytesUTF8(value) + 1;
    const pointer = this.m._malloc(size);
    try {
      this.m.stringToUTF8(value, pointer, size);
      return work(pointer);
    } finally {
      this.m._free(pointer);
    }
  }

  // Runs `work` with the core's `const char* const texts[8]`.
  withTexts(texts, work) {
    const pointers = [];
    const array = this.m._malloc(4 * FIELD_COUNT);
    try {
      for (let i = 0; i < FIELD_COUNT; ++i) {
        const value = String(texts[i] ?? '');
        const size = this.m.lengthBytesUTF8(value) + 1;
        const pointer = this.m._malloc(size);
        this.m.stringToUTF8(value, pointer, size);
        pointers.push(pointer);
        this.m.setValue(array + 4 * i, pointer, 'i32');
      }
      return work(array);
    } finally {
      for (const pointer of pointers) this.m._free(pointer);
      this.m._free(array);
    }
  }

  message() {
    return this.text(this.m._quorrel_message(this.session));
  }
  beeped() {
    return this.m._quorrel_beeped(this.session) !== 0;
  }
  caption(field) {
    return this.text(this.m._quorrel_field_caption(field));
  }
  maxInputLength() {
    return this.m._quorrel_max_input_length();
  }

  // The character a typed one becomes ('' when the key is discarded; then
  // message() says why and beeped() is true).
  filterKey(character) {
    const code = this.m._quorrel_filter_key(this.session, character.codePointAt(0));
    return code === 0 ? '' : String.fromCodePoint(code);
  }

  // The text a field keeps after a key release.
  limitLength(value) {
    return this.withString(value, (p) => this.text(this.m._quorrel_limit_length(this.session, p)));
  }

  // The number reader on one field's text: the value, or null when refused.
  readNumber(field, value) {
    const out = this.m._malloc(8);
    try {
      const ok = this.withString(value, (p) => this.m._quorrel_read_number(this.session, field, p, out));
      return ok ? this.m.getValue(out, 'double') : null;
    } finally {
      this.m._free(out);
    }
  }

  setOptions({ test, prior, limits }) {
    return this.m._quorrel_set_options(this.session, test, prior, limits);
  }

  setNotes(lines) {
    this.m._quorrel_clear_notes(this.session);
    for (const line of lines) this.withString(line, (p) => this.m._quorrel_add_note(this.session, p));
  }

  // -1 when every field is accepted, else the first refused field.
  checkFields(texts) {
    return this.withTexts(texts, (t) => this.m._quorrel_check_fields(this.session, t));
  }

  expectedSeconds(texts) {
    return this.withTexts(texts, (t) => this.m._quorrel_expected_seconds(this.session, t));
  }
  longRunQuestion(seconds) {
    return this.text(this.m._quorrel_long_run_question(this.session, seconds));
  }
  longRunChoice(index) {
    return this.text(this.m._quorrel_long_run_choice(index));
  }

  // Runs the analysis; `onProgress(drawn, total)` is called a few dozen
  // times.  Returns the core's status (0 done, 1 refused, 2 stopped, 3 failed).
  run(texts, onProgress) {
    if (!this.progressFunction)
      this.progressFunction = this.m.addFunction(
        (context, drawn, total) => (this.onProgress ? this.onProgress(drawn, total) || 0 : 0),
        'iiii'
      );
    this.onProgress = onProgress ?? null;
    try {
      return this.withTexts(texts, (t) =>
        this.m._quorrel_run(this.session, t, this.progressFunction, 0)
      );
    } finally {
      this.onProgress = null;
    }
  }

  refusedField() {
    return this.m._quorrel_refused_field(this.session);
  }
  report(viewerHoldsText) {
    return this.text(this.m._quorrel_report(this.session, viewerHoldsText ? 1 : 0));
  }
  results() {
    const values = [];
    for (let i = 0; i < 10; ++i) values.push(this.m._quorrel_result(this.session, i));
    return values;
  }

  // The summary of the finished run's draws, for the figure.
  drawsSummary() {
    const s = this.session;
    const bins = this.m._quorrel_draws_bins(s);
    const counts = [];
    for (let k = 0; k < bins; ++k) counts.push(this.m._quorrel_draws_count(s, k));
    return {
      low: this.m._quorrel_draws_low(s),
      binWidth: this.m._quorrel_draws_bin_width(s),
      counts,
      below: this.m._quorrel_draws_below(s),
      above: this.m._quorrel_draws_above(s),
    };
  }

  dataFileText(texts) {
    return this.withTexts(texts, (t) => this.text(this.m._quorrel_data_file_text(this.session, t)));
  }

  // The control values a kept data text restores, as the fields show them,
  // and the message when a token is no number.
  readDataFileText(text) {
    const count = this.withString(text, (p) => this.m._quorrel_read_data_file_text(this.session, p));
    const values = [];
    for (let i = 0; i < count; ++i) values.push(this.text(this.m._quorrel_restored_value(this.session, i)));
    return { values, message: this.message() };
  }
}

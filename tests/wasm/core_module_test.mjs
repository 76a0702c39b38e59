// The library for web pages as a page's script uses it, here under Node:
// the ES module loads, the C interface is called through the loader's
// helpers, the example's report arrives byte for byte as the native
// quorrel-report prints it (the file given), the progress function is
// called from inside the run and stops it when it returns non-zero.
// With THREADS, the library built with threads splits the run over that
// many, with the same report.
//   node core_module_test.mjs build-wasm/quorrel-core.mjs expected-report.txt
//   node core_module_test.mjs build-wasm/quorrel-core-threads.mjs expected-report.txt THREADS
import { readFileSync } from "node:fs";
import { pathToFileURL } from "node:url";
import { resolve } from "node:path";

const [modulePath, expectedPath, threadsText] = process.argv.slice(2);
const threads = Number(threadsText ?? 1);
const { default: createQuorrelCore } = await import(pathToFileURL(resolve(modulePath)).href);
const core = await createQuorrelCore(threads > 1 ? { quorrelWorkers: threads - 1 } : {});

// The eight field texts as the C array the interface takes.
function fieldTexts(texts) {
  const array = core._malloc(4 * texts.length);
  texts.forEach((text, i) => {
    const size = core.lengthBytesUTF8(text) + 1;
    const pointer = core._malloc(size);
    core.stringToUTF8(text, pointer, size);
    core.setValue(array + 4 * i, pointer, "i32");
  });
  return array;
}

let failures = 0;
function check(what, actual, expected) {
  if (actual !== expected) {
    console.error(`FAILED ${what}:\n  got      ${JSON.stringify(actual)}\n  expected ${JSON.stringify(expected)}`);
    failures++;
  }
}
check("the threads a run uses", core._quorrel_set_threads(threads), threads);

const session = core._quorrel_session_new(".".charCodeAt(0));
const example = fieldTexts(["100", "15", "50", "10", ".6", "20", "70", "55"]);
let calls = 0;
let stopAt = Infinity;
const progress = core.addFunction((context, drawn, total) => {
  calls++;
  check("the run's total", total, 1000000);
  return calls >= stopAt ? 1 : 0;
}, "iiii");

check("the run of the example", core._quorrel_run(session, example, progress, 0), 0);
check("the example's report", core.UTF8ToString(core._quorrel_report(session, 0)),
      readFileSync(expectedPath, "utf8"));
if (calls < 2) check("progress calls during the run", calls >= 2, true);

calls = 0;
stopAt = 1;
check("a run its progress function stops", core._quorrel_run(session, example, progress, 0), 2);
check("the stopped run's report", core.UTF8ToString(core._quorrel_report(session, 0)), "");

const refused = fieldTexts(["100", "0", "50", "10", ".6", "20", "70", "55"]);
check("the refused field", core.ccall("quorrel_check_fields", "number", ["number", "number"],
                                      [session, refused]), 1);
check("its message", core.cwrap("quorrel_message", "string", ["number"])(session),
      "INPUT ERROR\r(  Standard deviation for the normative sample on Task X:  0.000  )\r" +
      "Standard deviations must have a positive value.");
core._quorrel_session_free(session);

if (failures > 0) process.exit(1);
console.log(`core_module_test: the library's example report, progress and refusal pass (${threads} thread(s))`);
process.exit(0); // the threads' workers would keep Node running

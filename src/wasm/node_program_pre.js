// Under Node, before the program's code runs.
if (typeof process == "object" && typeof require == "function") {
  // The .wasm file beside the program is read here: the loader would
  // otherwise hand the file's path to Node's fetch, which takes only URLs,
  // and stop there.
  if (!Module["wasmBinary"]) {
    Module["wasmBinary"] = require("fs").readFileSync(__filename.replace(/\.m?js$/, ".wasm"));
  }
  // On the real file system (NODERAWFS) the loader takes standard input,
  // output and error for terminals whatever they are; a program that asks
  // (quorrel-report shows its progress line only on a terminal) is told
  // what Node knows.
  var onRuntimeInitialized = Module["onRuntimeInitialized"];
  Module["onRuntimeInitialized"] = function () {
    if (typeof FS == "object" && FS.streams) {
      for (var fd = 0; fd < 3; fd++) {
        if (FS.streams[fd] && "nfd" in FS.streams[fd]) {
          FS.streams[fd].tty = require("tty").isatty(FS.streams[fd].nfd);
        }
      }
    }
    if (onRuntimeInitialized) onRuntimeInitialized();
  };
}

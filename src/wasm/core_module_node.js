// Under Node the loader of this ES module reaches for CommonJS's require,
// __filename and __dirname, which an ES module lacks: they are made here
// from the module's own address.  In a browser they stay undefined.
var require, __filename, __dirname;
if (typeof process == "object" && typeof process.versions == "object" &&
    typeof process.versions.node == "string") {
  const { createRequire } = await import("module");
  require = createRequire(import.meta.url);
  __filename = require("url").fileURLToPath(import.meta.url);
  __dirname = require("path").dirname(__filename);
}

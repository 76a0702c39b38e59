// Serves a built page folder on localhost only, with the headers the page
// relies on: its content security policy (no connection out), cross-origin
// isolation (so that the browser shares memory between workers, and the
// engine splits a run over the processors), and the right types for the
// WebAssembly core and the modules.
//   node tools/web-server.mjs [--not-isolated] FOLDER [PORT]
// PORT 0: any free port.  --not-isolated leaves out the two isolation
// headers, as a server that does not send them: the page then runs on one
// worker.  Prints "Quorrel is at http://localhost:PORT/" once it listens.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize, sep } from 'node:path';

const args = process.argv.slice(2);
const isolated = !args.includes('--not-isolated');
const [folder, portText] = args.filter((a) => a !== '--not-isolated');
const root = normalize(folder ?? '.');
const port = Number(portText ?? 8023);
const types = {
  '.html': 'text/html; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.webmanifest': 'application/manifest+json',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
};
const policy =
  "default-src 'none'; script-src 'self' 'wasm-unsafe-eval'; worker-src 'self'; connect-src 'self'; " +
  "style-src 'self'; img-src 'self' data: blob:; manifest-src 'self'; media-src 'none'; " +
  "object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

const server = createServer(async (request, response) => {
  const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
  const file = normalize(join(root, path.endsWith('/') ? path + 'index.html' : path));
  if (request.method !== 'GET' && request.method !== 'HEAD') {
    response.writeHead(405).end();
    return;
  }
  if (file !== root && !file.startsWith(root.endsWith(sep) ? root : root + sep)) {
    response.writeHead(403).end();
    return;
  }
  try {
    const body = await readFile(file);
    response.writeHead(200, {
      'Content-Type': types[extname(file)] ?? 'application/octet-stream',
      'Content-Security-Policy': policy,
      ...(isolated && {
        'Cross-Origin-Opener-Policy': 'same-origin',
        'Cross-Origin-Embedder-Policy': 'require-corp',
      }),
      'Cross-Origin-Resource-Policy': 'same-origin',
      'X-Content-Type-Options': 'nosniff',
      'Referrer-Policy': 'no-referrer',
      'Cache-Control': 'no-cache',
    });
    response.end(request.method === 'HEAD' ? undefined : body);
  } catch {
    response.writeHead(404, { 'Content-Type': 'text/plain' }).end('Not found\n');
  }
});
server.listen(port, '127.0.0.1', () => {
  console.log(`Quorrel is at http://localhost:${server.address().port}/`);
});
for (const signal of ['SIGINT', 'SIGTERM']) process.on(signal, () => server.close(() => process.exit(0)));

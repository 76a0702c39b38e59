// Keeps the page's files in the browser, so that it opens and computes
// without a network after the first visit.  The cache's name changes with
// every build of the page (tools/run-web.sh writes it), so a new build
// replaces the old files together: a page never mixes the core of one build
// with the scripts of another.
const CACHE = 'quorrel-@BUILD_ID@';
const FILES = [
  './',
  'index.html',
  'style.css',
  'app.js',
  'core.js',
  'figure.js',
  'worker.js',
  'quorrel-core.mjs',
  'quorrel-core.wasm',
  'quorrel-core-threads.mjs',
  'quorrel-core-threads.wasm',
  'quorrel-core-threads.worker.js',
  'manifest.webmanifest',
  'icon.svg',
  'icon-256.png',
];

self.addEventListener('install', (event) => {
  event.waitUntil(
    caches
      .open(CACHE)
      .then((cache) => cache.addAll(FILES))
      .then(() => self.skipWaiting())
  );
});

self.addEventListener('activate', (event) => {
  event.waitUntil(
    caches
      .keys()
      .then((names) => Promise.all(names.filter((n) => n.startsWith('quorrel-') && n !== CACHE).map((n) => caches.delete(n))))
      .then(() => self.clients.claim())
  );
});

// The page's own files from the cache; nothing else is ever asked for.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(
    caches.open(CACHE).then((cache) =>
      cache.match(request, { ignoreSearch: true }).then((kept) => kept ?? fetch(request))
    )
  );
});

'use strict';
// Shared fixtures for the page tier: Debian's Chromium driven by playwright-core, the two
// companion pages opened from the source tree, and the commands they send read from the
// navigations that the browser reports (as the native side reads them).

const fs = require('node:fs');
const path = require('node:path');
const { pathToFileURL } = require('node:url');
const { chromium } = require('playwright-core');

const pageRoot = path.resolve(__dirname, '..', '..', 'page');
const artifacts = path.resolve(__dirname, 'artifacts');

const pages = [
  { folder: 'IO11', lang: 'zh', settingsWord: 'setfull' },
  { folder: 'IOEN', lang: 'en', settingsWord: 'setfullen' },
];

function pageUrl(folder) {
  return pathToFileURL(path.join(pageRoot, folder, 'IO.htm')).href;
}

function chromiumPath() {
  const candidates = [process.env.BREVANT_CHROMIUM, '/usr/lib/chromium/chromium', '/usr/bin/chromium'];
  for (const c of candidates) {
    if (c && fs.existsSync(c)) return c;
  }
  throw new Error('Chromium not found: install the Debian package "chromium" or set BREVANT_CHROMIUM');
}

async function launch() {
  return chromium.launch({
    executablePath: chromiumPath(),
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--allow-file-access-from-files',
    ],
  });
}

// Splits a reported URL as the native side does: percent-decoded (the engines escape the
// backtick, spaces and non-ASCII), the fragment between the first and the second "#", split
// at each backtick, and each piece percent-decoded again (the page's own escapes). Returns
// null for a navigation that carries no command.
function parseCommand(url) {
  const pieces = decodeURIComponent(url).split('#');
  if (pieces.length < 2) return null;
  const fragment = pieces[1];
  if (fragment.indexOf('`') < 0) return null;
  const parts = fragment.split('`').map(decodeURIComponent);
  return { word: parts[0], args: parts.slice(1) };
}

// Opens one companion page and records every navigation of its main frame.
async function openPage(browser, folder, options = {}) {
  const context = await browser.newContext({
    viewport: options.viewport || { width: 360, height: 640 },
    deviceScaleFactor: options.scale || 1,
    colorScheme: options.colorScheme || 'light',
  });
  const page = await context.newPage();
  const url = pageUrl(folder);
  const rec = {
    page,
    url,
    navigations: [], // every main-frame URL after the initial load
    requests: [], // every request after the initial load
    errors: [],
    dialogs: [],
    popups: 0,
    loaded: false,
  };
  // Commands start during the load ("WebOk"): record every main-frame navigation except
  // the load of the page itself.
  page.on('framenavigated', (frame) => {
    if (frame === page.mainFrame() && (rec.loaded || frame.url() !== url)) rec.navigations.push(frame.url());
  });
  page.on('request', (req) => {
    if (rec.loaded) rec.requests.push(req.url());
  });
  page.on('pageerror', (err) => rec.errors.push(String(err)));
  page.on('console', (msg) => {
    if (msg.type() === 'error') rec.errors.push(msg.text());
  });
  page.on('dialog', (d) => {
    rec.dialogs.push(d.message());
    d.dismiss().catch(() => {});
  });
  page.on('popup', () => {
    rec.popups += 1;
  });
  // The page keeps script errors from reaching the messenger (window.onerror); listen
  // beside it so that a test still sees every one.
  await page.addInitScript(() => {
    window.__pageErrors = [];
    window.addEventListener('error', (e) => window.__pageErrors.push(String(e.message)));
  });
  await page.goto(url, { waitUntil: 'load' });
  rec.loaded = true;
  rec.close = () => context.close();
  rec.scriptErrors = () => page.evaluate(() => window.__pageErrors);
  // Every command the page sent so far, parsed; navigations without a command left out.
  rec.commands = () => rec.navigations.map(parseCommand).filter(Boolean);
  rec.clear = () => {
    rec.navigations.length = 0;
  };
  // Waits until at least n commands were reported.
  rec.waitCommands = async (n, timeoutMs = 2000) => {
    const end = Date.now() + timeoutMs;
    while (rec.commands().length < n && Date.now() < end) {
      await new Promise((r) => setTimeout(r, 10));
    }
    // A short grace period so that an unexpected extra command shows up too.
    await new Promise((r) => setTimeout(r, 60));
    return rec.commands();
  };
  return rec;
}

// The texts of the conversation, oldest first.
async function conversation(page) {
  return page.evaluate(() =>
    Array.prototype.map.call(document.querySelectorAll('#messages .msg'), (m) => {
      const one = (sel) => {
        const el = m.querySelector(sel);
        return el ? el.textContent : null;
      };
      return {
        own: m.classList.contains('out'),
        pending: m.classList.contains('pending'),
        failed: m.classList.contains('failed'),
        who: one('.who'),
        tag: one('.tag'),
        src: one('.src'),
        tr: one('.tr'),
      };
    })
  );
}

// One line of script as the native side builds it: the function name and its arguments,
// each in single quotes, joined by "," without blanks. The native side writes quotes as
// their tokens, and escapes what a string literal cannot hold as it stands.
function scriptLine(fn, args) {
  const quoted = args.map(
    (a) =>
      "'" +
      a
        .replace(/\\/g, '\\\\')
        .replace(/\r/g, '\\r')
        .replace(/\n/g, '\\n')
        .replace(/\u2028/g, '\\u2028')
        .replace(/\u2029/g, '\\u2029') +
      "'"
  );
  return fn + '(' + quoted.join(',') + ')';
}

module.exports = { pages, pageRoot, artifacts, pageUrl, launch, openPage, parseCommand, conversation, scriptLine };

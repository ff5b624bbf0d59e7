'use strict';
// The Windows WebBrowser control runs the pages: every script must be ES5, every page must ask
// for the newest document mode, and nothing may load from outside the plug-in folder.

const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const acorn = require('acorn');
const { pages, pageRoot } = require('./helpers');

function filesUnder(dir, ext) {
  const out = [];
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const full = path.join(dir, entry.name);
    if (entry.isDirectory()) out.push(...filesUnder(full, ext));
    else if (entry.name.toLowerCase().endsWith(ext)) out.push(full);
  }
  return out;
}

function parseEs5(code, where) {
  try {
    acorn.parse(code, { ecmaVersion: 5, sourceType: 'script', allowReserved: false });
  } catch (err) {
    assert.fail(`${where}: not ES5: ${err.message}`);
  }
}

// Things ES5 syntax allows but the Windows control lacks or that would let text run as code.
const forbidden = [
  [/\.classList\b/, 'classList (missing on SVG in the Windows control)'],
  [/\bfetch\s*\(/, 'fetch'],
  [/\.innerHTML\b|\.outerHTML\b|insertAdjacentHTML|document\.write/, 'markup from strings'],
  [/\beval\s*\(|new\s+Function\b|setTimeout\s*\(\s*['"]|setInterval\s*\(\s*['"]/, 'code from strings'],
  [/javascript:/i, 'javascript: URLs'],
  [/\.dataset\b/, 'dataset'],
  [/\bPromise\b|\bMap\s*\(|\bSet\s*\(|Object\.assign|\.includes\s*\(|\.startsWith\s*\(|\.endsWith\s*\(/, 'ES2015 library'],
];

describe('scripts are ES5 and safe for the Windows control', () => {
  const scripts = filesUnder(pageRoot, '.js');
  it('there are scripts to check', () => {
    assert.ok(scripts.length >= 1);
  });
  for (const file of scripts) {
    it(path.relative(pageRoot, file), () => {
      const code = fs.readFileSync(file, 'utf8');
      parseEs5(code, file);
      for (const [re, what] of forbidden) assert.ok(!re.test(code), `${file} uses ${what}`);
    });
  }
});

describe('pages', () => {
  for (const info of pages) {
    const file = path.join(pageRoot, info.folder, 'IO.htm');
    it(`${info.folder}/IO.htm: document mode, encoding, inline scripts, no external resources`, () => {
      const html = fs.readFileSync(file, 'utf8');
      assert.match(html, /^<!DOCTYPE html>/);
      // Must come first in <head> to take effect in the Windows control.
      assert.match(html, /<head>\s*<meta http-equiv="X-UA-Compatible" content="IE=edge">/);
      assert.match(html, /<meta charset="utf-8">/);
      const inline = [...html.matchAll(/<script\b([^>]*)>([\s\S]*?)<\/script>/gi)];
      for (const [, attrs, code] of inline) {
        if (!/\bsrc=/.test(attrs)) parseEs5(code, `${file} inline script`);
      }
      assert.ok(!/\son[a-z]+\s*=/i.test(html), 'no inline event handlers');
      const refs = [...html.matchAll(/\b(?:src|href)="([^"]*)"/gi)].map((m) => m[1]);
      assert.ok(refs.length >= 2);
      for (const ref of refs) {
        assert.ok(!/^[a-z][a-z0-9+.-]*:|^\/\//i.test(ref), `external resource ${ref}`);
        assert.ok(fs.existsSync(path.resolve(path.dirname(file), ref)), `missing ${ref}`);
      }
      const css = fs.readFileSync(path.join(pageRoot, 'common', 'io.css'), 'utf8');
      assert.ok(!/url\s*\(|@import/i.test(css), 'the style sheet loads nothing');
      assert.ok(!/var\(--/.test(css), 'no CSS variables (the Windows control has none)');
    });
  }

  it('both pages carry the same controls and texts, only their language differs', () => {
    const shape = (folder) => {
      const html = fs.readFileSync(path.join(pageRoot, folder, 'IO.htm'), 'utf8');
      return {
        ids: [...html.matchAll(/\bid="([^"]+)"/g)].map((m) => m[1]),
        texts: [...html.matchAll(/\b(data-t-[a-z-]+)=/g)].map((m) => m[1]),
      };
    };
    assert.deepEqual(shape('IO11'), shape('IOEN'));
  });
});

'use strict';
// Every text that reaches PushMsg comes from another person or from the translation server.
// Hostile texts pushed as source, translation and sender name must run nothing, navigate
// nowhere, load nothing and be shown as the text they are.

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { pages, launch, openPage } = require('./helpers');

// text: what is pushed; tr: how it shows as a translation when that differs (the engines'
// wrapping tags are removed there, entities read; the result is still only text).
const hostile = [
  { text: '<script>__trap()</script>', tr: '__trap()' },
  { text: '<img src=x onerror=__trap()>', tr: '' },
  { text: '<svg onload=__trap()>', tr: '' },
  { text: '<iframe src="javascript:__trap()"></iframe>', tr: '' },
  { text: 'javascript:__trap()' },
  { text: '<a href="javascript:__trap()">click</a>', tr: 'click' },
  { text: '"><img src=x onerror=__trap()>', tr: '">' },
  { text: "'><script>__trap()</script>", tr: "'>__trap()" },
  { text: '</script><script>__trap()</script>', tr: '__trap()' },
  { text: "');__trap();//" },
  { text: '");__trap();//' },
  { text: "\\');__trap();//" },
  { text: '\\' },
  { text: 'end with a backslash\\' },
  { text: '\\x3cscript\\x3e__trap()\\x3c/script\\x3e' },
  { text: '\\u003cimg src=x onerror=__trap()\\u003e' },
  { text: 'line\u2028separator' },
  { text: 'paragraph\u2029separator' },
  { text: '\u202Eevil override\u202C then text' },
  { text: '\u200F\u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627' },
  { text: 'x'.repeat(20000) },
  { text: '长'.repeat(5000) },
  { text: 'word '.repeat(3000).trim() },
  { text: '<body onload=__trap()>', tr: '' },
  { text: '<div style="background:url(javascript:__trap())">x</div>', tr: 'x' },
  { text: '<math><mi xlink:href="javascript:__trap()">m</mi></math>', tr: 'm' },
  { text: '<object data="javascript:__trap()">', tr: '' },
  { text: '<embed src="javascript:__trap()">', tr: '' },
  { text: '<meta http-equiv="refresh" content="0;url=javascript:__trap()">', tr: '' },
  { text: '<form action="javascript:__trap()"><button>go</button></form>', tr: 'go' },
  { text: '<base href="javascript:__trap()//">', tr: '' },
  { text: '<input autofocus onfocus=__trap()>', tr: '' },
  { text: '<details open ontoggle=__trap()>', tr: '' },
  { text: '<video><source onerror=__trap()></video>', tr: '' },
  { text: '<style>@import "javascript:__trap()";</style>', tr: '@import "javascript:__trap()";' },
  { text: "{{constructor.constructor('__trap()')()}}" },
  { text: '${__trap()}' },
  { text: '&lt;script&gt;__trap()&lt;/script&gt;', tr: '<script>__trap()</script>' },
  { text: '&#60;img src=x onerror=__trap()&#62;', tr: '<img src=x onerror=__trap()>' },
  { text: '%3Cscript%3E__trap()%3C/script%3E' },
  { text: 'data:text/html,<script>__trap()</script>', tr: 'data:text/html,__trap()' },
  { text: 'http://example.invalid/page#Word_From_User`x`english' },
  { text: 'IO.htm#setclose`' },
  { text: 'see www.example.invalid or mailto:a@example.invalid' },
  { text: '<!--<script>__trap()</script>-->', tr: '' },
  { text: '<scr<script>ipt>__trap()</script>', tr: '<script>__trap()' },
  { text: '<IMG SRC=JaVaScRiPt:__trap()>', tr: '' },
  { text: '<a href=# onclick=__trap()>x</a>', tr: 'x' },
  { text: "' onmouseover='__trap()" },
  { text: '" autofocus onfocus="__trap()' },
  { text: '</textarea><script>__trap()</script>', tr: '__trap()' },
  { text: ']]><script>__trap()</script>', tr: ']]>__trap()' },
  { text: '<?xml version="1.0"?><x/>', tr: '<?xml version="1.0"?>' },
  { text: '<<script>__trap()//<</script>', tr: '<__trap()//<' },
  { text: 'nul\u0000inside' },
  { text: '\uD83D\uDC69\u200D\uD83D\uDCBB \uD83D\uDD25 emoji' },
  { text: 'tab\tand\r\ncrlf' },
  { text: '__proto__' },
  { text: 'constructor' },
  { text: 'window.location="http://example.invalid"' },
];

let browser;
before(async () => {
  browser = await launch();
});
after(async () => {
  await browser.close();
});

describe('hostile texts', () => {
  it(`the table holds at least 50 texts (${hostile.length})`, () => {
    assert.ok(hostile.length >= 50);
  });

  for (const info of pages) {
    it(`${info.folder}: nothing runs, nothing navigates, every text shown literally`, async () => {
      const rec = await openPage(browser, info.folder, { viewport: { width: 340, height: 600 } });
      const { page } = rec;
      try {
        await rec.waitCommands(1);
        rec.clear();
        await page.evaluate(() => {
          window.__trapped = 0;
          window.__trap = function () {
            window.__trapped += 1;
          };
          window.alert = window.__trap;
        });
        const texts = hostile.map((h) => h.text);
        // Each text as an incoming source, as a translation, as a sender, and as an own
        // message; the last one also as a translation offered for review.
        await page.evaluate((list) => {
          for (const t of list) {
            window.PushMsg(t, 'ok', 'false', 'Pclose', 'Single', 'bob', 'true');
            window.PushMsg('ok', t, 'false', 'Pclose', 'Single', 'bob', 'true');
            window.PushMsg('ok', 'ok', 'false', 'Pclose', 'Single', t, 'true');
            window.PushMsg(t, t, 'true', 'Pclose', 'Double', t, 'true');
          }
        }, texts);
        // Let anything that was going to load or fire do so.
        await page.waitForTimeout(300);

        const shown = await page.evaluate(() =>
          Array.prototype.map.call(document.querySelectorAll('#messages .msg'), (m) => {
            const one = (sel) => {
              const el = m.querySelector(sel);
              return el ? el.textContent : null;
            };
            return { src: one('.src'), tr: one('.tr'), who: one('.who') };
          })
        );
        assert.equal(shown.length, hostile.length * 4);
        const trim = (s) => s.replace(/^[\s\u3000]+|[\s\u3000]+$/g, '');
        const me = await page.evaluate(() => document.body.getAttribute('data-t-me'));
        const them = await page.evaluate(() => document.body.getAttribute('data-t-them'));
        hostile.forEach((h, i) => {
          const literal = trim(h.text) || null;
          const asTranslation = trim(h.tr === undefined ? h.text : h.tr) || null;
          const [asSrc, asTr, asName, own] = shown.slice(i * 4, i * 4 + 4);
          assert.equal(asSrc.src, literal, `source #${i}`);
          assert.equal(asTr.tr, asTranslation, `translation #${i}`);
          assert.equal(asName.who, literal || them, `name #${i}`);
          assert.deepEqual([own.src, own.tr, own.who], [literal, asTranslation, me], `own #${i}`);
        });

        // Only the page's own elements: no element came from a text.
        const tags = await page.evaluate(() => {
          const seen = {};
          document.querySelectorAll('#messages *').forEach((el) => {
            seen[el.tagName] = true;
          });
          return Object.keys(seen).sort();
        });
        assert.deepEqual(tags, ['DIV', 'SPAN']);
        // Long texts wrap inside the window instead of widening it.
        const overflow = await page.evaluate(() => {
          const c = document.getElementById('conversation');
          return c.scrollWidth - c.clientWidth;
        });
        assert.ok(overflow <= 0, `conversation overflows by ${overflow}px`);

        // A hostile translation offered for review is only text in the input area.
        for (const h of hostile.slice(0, 12)) {
          await page.evaluate((t) => window.PushMsg('ok', t, 'true', 'Popen', 'Single', 'me', 'false'), h.text);
          assert.equal(await page.inputValue('#input'), trim(h.tr === undefined ? h.text : h.tr));
        }

        await page.waitForTimeout(100);
        assert.equal(await page.evaluate(() => window.__trapped), 0, 'a trap was called');
        assert.deepEqual(rec.navigations, [], 'the page navigated');
        assert.deepEqual(rec.requests, [], 'the page loaded something');
        assert.deepEqual(rec.dialogs, []);
        assert.equal(rec.popups, 0);
        assert.deepEqual(rec.errors, []);
        assert.deepEqual(await rec.scriptErrors(), []);
      } finally {
        await rec.close();
      }
    });
  }
});

'use strict';
// The companion pages' functions and commands, in Chromium, for both interface languages.

const { describe, it, before, after, beforeEach, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { pages, launch, openPage, conversation, scriptLine } = require('./helpers');

let browser;
before(async () => {
  browser = await launch();
});
after(async () => {
  await browser.close();
});

for (const info of pages) {
  describe(`page ${info.folder}/IO.htm`, () => {
    let rec;
    let page;
    beforeEach(async () => {
      rec = await openPage(browser, info.folder);
      page = rec.page;
    });
    afterEach(async () => {
      // Whatever a test did, the page only ever navigated to its own file and ran clean.
      for (const u of rec.navigations) {
        assert.ok(u.startsWith(rec.url + '#'), `navigated away: ${u}`);
      }
      assert.deepEqual(rec.errors, []);
      assert.deepEqual(await rec.scriptErrors(), []);
      assert.deepEqual(rec.dialogs, []);
      await rec.close();
    });

    async function type(text) {
      await page.click('#input');
      await page.keyboard.type(text);
    }

    async function sendTyped(text) {
      await type(text);
      await page.keyboard.press('Enter');
    }

    const afterWebOk = async (n) => (await rec.waitCommands(n + 1)).slice(1);

    it('reports WebOk exactly once on load, as a command the native side reads', async () => {
      const cmds = await rec.waitCommands(1);
      assert.deepEqual(cmds, [{ word: 'WebOk', args: [''] }]);
      // The URL carries a backtick (reported escaped), without which the native side ignores it.
      assert.equal(rec.navigations[0], rec.url + '#WebOk%60');
      await page.waitForTimeout(150);
      assert.equal(rec.commands().length, 1);
    });

    describe('init_web sets the controls and what the next text is sent with', () => {
      const cases = [
        { args: ['false', 'Pclose', 'Single', '', 'english'], lan: 'en', fmt: 'single', preview: false },
        { args: ['false', 'Popen', 'Double', 'x9', 'japaness'], lan: 'ja', fmt: 'double', preview: true },
        { args: ['false', 'Pclose', 'Double', '', 'japaness'], lan: 'ja', fmt: 'double', preview: false },
        // Unknown values fall back to the defaults rather than to a half-set state.
        { args: ['false', '', 'single', '', 'EN'], lan: 'en', fmt: 'single', preview: false },
      ];
      for (const c of cases) {
        it(`init_web(${c.args.join(',')})`, async () => {
          await page.evaluate((a) => window.init_web.apply(null, a), c.args);
          const shown = await page.evaluate(() => ({
            en: document.getElementById('lan-en').getAttribute('aria-pressed'),
            ja: document.getElementById('lan-ja').getAttribute('aria-pressed'),
            single: document.getElementById('fmt-single').getAttribute('aria-pressed'),
            double: document.getElementById('fmt-double').getAttribute('aria-pressed'),
            preview: document.getElementById('preview').getAttribute('aria-checked'),
          }));
          assert.deepEqual(shown, {
            en: String(c.lan === 'en'),
            ja: String(c.lan === 'ja'),
            single: String(c.fmt === 'single'),
            double: String(c.fmt === 'double'),
            preview: String(c.preview),
          });
          await sendTyped('ok');
          const [cmd] = await afterWebOk(1);
          assert.deepEqual(cmd, {
            word: 'Word_From_User',
            args: [
              'ok',
              c.lan === 'ja' ? 'japaness' : 'english',
              c.preview ? 'Popen' : 'Pclose',
              c.fmt === 'double' ? 'Double' : 'Single',
              c.args[3],
            ],
          });
        });
      }
    });

    describe('sending typed text', () => {
      it('Enter sends the exact command URL, arguments in order', async () => {
        await page.evaluate(() => window.init_web('false', 'Pclose', 'Single', 'p1', 'english'));
        await sendTyped('hello world');
        await afterWebOk(1);
        assert.equal(rec.navigations[1], rec.url + '#Word_From_User%60hello%20world%60english%60Pclose%60Single%60p1');
        assert.equal(await page.inputValue('#input'), '');
      });

      it('the Send button does the same as Enter; blank text sends nothing', async () => {
        await type('   ');
        await page.keyboard.press('Enter');
        await page.click('#send');
        await type('你好');
        await page.click('#send');
        const cmds = await afterWebOk(1);
        assert.deepEqual(cmds, [{ word: 'Word_From_User', args: ['你好', 'english', 'Pclose', 'Single', ''] }]);
      });

      it('Shift+Enter starts a new line, carried as CR LF', async () => {
        await type('line one');
        await page.keyboard.press('Shift+Enter');
        await page.keyboard.type('line two');
        await page.waitForTimeout(50);
        assert.equal((await rec.commands()).length, 1);
        assert.equal(await page.inputValue('#input'), 'line one\nline two');
        await page.keyboard.press('Enter');
        const [cmd] = await afterWebOk(1);
        assert.equal(cmd.args[0], 'line one\r\nline two');
        assert.ok(rec.navigations[1].includes('line%20one%0D%0Aline%20two'));
      });

      it('the same text sent twice gives two commands', async () => {
        await sendTyped('again');
        await sendTyped('again');
        await sendTyped('again');
        const cmds = await afterWebOk(3);
        assert.equal(cmds.length, 3);
        for (const c of cmds) assert.deepEqual(c, { word: 'Word_From_User', args: ['again', 'english', 'Pclose', 'Single', ''] });
        // Any step in between carries no command (no backtick): the native side ignores it.
        for (const u of rec.navigations) {
          assert.ok(u.endsWith('#') || u.includes('%60'), u);
        }
      });

      it('writes quotes, question marks, backticks, "#" and "%" so that the native side splits and reads them as typed', async () => {
        const typed = 'It\'s "ok"? #1 50% a`b %25 %60';
        await sendTyped(typed);
        const [cmd] = await afterWebOk(1);
        assert.deepEqual(cmd.args, ['It9kosys 9kodyok9kody\uFF1F #1 50% a`b %25 %60', 'english', 'Pclose', 'Single', '']);
        // Exactly five arguments survive the split: nothing in the text split it further.
        assert.equal(rec.navigations[1].split('#').length, 2);
      });

      it('the extra value from init_web goes back encoded the same way', async () => {
        await page.evaluate(() => window.init_web('false', 'Pclose', 'Single', "a'b#c`d", 'english'));
        await sendTyped('x');
        const [cmd] = await afterWebOk(1);
        assert.equal(cmd.args[4], 'a9kosyb#c`d');
      });

      it('shows a pending text while it is translated, replaced by the answer', async () => {
        await sendTyped('早上好');
        let conv = await conversation(page);
        assert.equal(conv.length, 1);
        assert.equal(conv[0].pending, true);
        assert.equal(conv[0].src, '早上好');
        await page.evaluate(() => window.PushMsg('早上好', 'Good morning', 'true', 'Pclose', 'Single', 'me', 'true'));
        conv = await conversation(page);
        assert.equal(conv.length, 1);
        assert.deepEqual(
          { own: conv[0].own, pending: conv[0].pending, src: conv[0].src, tr: conv[0].tr },
          { own: true, pending: false, src: '早上好', tr: 'Good morning' }
        );
      });

      it('refuses a text with markup at once, says why in its language and keeps it', async () => {
        const reason = info.lang === 'zh' ? '含有网页标记 <td> 的文字无法发送' : 'Text with the markup <td> cannot be sent';
        for (const typed of ['a <td> b', '<DIV>x']) {
          await page.fill('#input', '');
          await sendTyped(typed);
          assert.equal(await page.inputValue('#input'), typed);
          assert.equal(await page.$eval('#hint', (h) => h.classList.contains('refused')), true);
        }
        await page.fill('#input', '');
        await sendTyped('a <td> b');
        assert.ok((await page.textContent('#hint')).startsWith(reason), await page.textContent('#hint'));
        assert.deepEqual(await conversation(page), []);
        // Editing takes the reason away; the lower-case word is not markup the host takes.
        await page.keyboard.press('Backspace');
        assert.equal(await page.$eval('#hint', (h) => h.classList.contains('refused')), false);
        await page.fill('#input', '');
        await sendTyped('a <div> b');
        const cmds = await afterWebOk(1);
        assert.deepEqual(cmds, [{ word: 'Word_From_User', args: ['a <div> b', 'english', 'Pclose', 'Single', ''] }]);
      });

      it('an overtaken pending text is marked as unanswered and can be edited again', async () => {
        await sendTyped('first');
        await sendTyped('second');
        await page.evaluate(() => window.PushMsg('second', 'zweite', 'true', 'Pclose', 'Single', 'me', 'true'));
        const conv = await conversation(page);
        assert.deepEqual(
          conv.map((m) => [m.src, m.pending, m.failed]),
          [
            ['first', true, true],
            ['second', false, false],
          ]
        );
        await page.click('.msg.failed .again');
        assert.equal(await page.inputValue('#input'), 'first');
        assert.equal((await conversation(page)).length, 1);
        // The native side says a text was not sent: marked at once, the one before it stays.
        await page.fill('#input', '');
        await sendTyped('third');
        await sendTyped('fourth');
        await page.evaluate(() => window.PushMsg('third', '9konotran', 'true', 'Pclose', 'Single', '', 'true'));
        assert.deepEqual(
          (await conversation(page)).map((m) => [m.src, m.pending, m.failed]),
          [
            ['second', false, false],
            ['third', true, true],
            ['fourth', true, false],
          ]
        );
      });
    });

    describe('controls', () => {
      const controls = [
        ['#lan-ja', 'set_ja'],
        ['#lan-en', 'set_en'],
        ['#fmt-double', 'set_double'],
        ['#fmt-single', 'set_single'],
        ['#preview', 'set_previewopen'],
        ['#preview', 'set_previewcclose'],
        ['#settings', info.settingsWord],
        ['#collapse', 'setclose'],
        ['#stop', 'skype_stop'],
        ['#stop', 'skype_open'],
        ['#ui-lan', 'msn_buy'],
      ];
      it('every control sends its command word', async () => {
        for (const [sel] of controls) await page.click(sel);
        const cmds = await afterWebOk(controls.length);
        assert.deepEqual(
          cmds.map((c) => c.word),
          controls.map((c) => c[1])
        );
        for (const c of cmds) assert.deepEqual(c.args, ['']);
      });

      it('the same control twice sends its word twice', async () => {
        await page.click('#lan-en');
        await page.click('#lan-en');
        await page.click('#collapse');
        await page.click('#collapse');
        const cmds = await afterWebOk(4);
        assert.deepEqual(
          cmds.map((c) => c.word),
          ['set_en', 'set_en', 'setclose', 'setclose']
        );
      });

      it('the page keeps the chosen settings and sends them with the next text', async () => {
        await page.click('#lan-ja');
        await page.click('#fmt-double');
        await page.click('#preview');
        rec.clear();
        await sendTyped('設定');
        const [cmd] = await rec.waitCommands(1);
        assert.deepEqual(cmd.args, ['設定', 'japaness', 'Popen', 'Double', '']);
      });

      it('stopping shows a notice whose button reopens', async () => {
        await page.click('#stop');
        assert.equal(await page.isVisible('#stopped'), true);
        await page.click('#reopen');
        assert.equal(await page.isVisible('#stopped'), false);
        const cmds = await afterWebOk(2);
        assert.deepEqual(
          cmds.map((c) => c.word),
          ['skype_stop', 'skype_open']
        );
      });
    });

    describe('PushMsg', () => {
      it('shows an incoming message with its sender, source and translation', async () => {
        // As the native side pushes it: translation still padded from its brackets.
        await page.evaluate(() => window.PushMsg('How are you？', ' 你好吗？ ', 'false', 'Pclose', 'Single', 'bob', 'true'));
        const [m] = await conversation(page);
        assert.deepEqual(m, { own: false, pending: false, failed: false, who: 'bob', tag: null, src: 'How are you？', tr: '你好吗？' });
      });

      it('marks an incoming message whose translation never came back', async () => {
        await page.evaluate(() => window.PushMsg('See you at 8', '9konotran', 'false', 'Pclose', 'Single', 'bob', 'true'));
        const [m] = await conversation(page);
        const failed = await page.evaluate(() => document.body.getAttribute('data-t-failed'));
        assert.deepEqual(m, { own: false, pending: false, failed: true, who: 'bob', tag: null, src: 'See you at 8', tr: null });
        assert.equal(await page.evaluate(() => document.querySelector('#messages .msg .state').textContent), failed);
      });

      const ownCases = [
        { format: 'Single', preview: 'Pclose', flag: 'true', tag: null },
        { format: 'Double', preview: 'Pclose', flag: 'true', tag: 'double' },
        { format: 'Single', preview: 'Pclose', flag: 'false', tag: null },
        { format: 'Double', preview: 'Popen', flag: 'true', tag: 'double' },
      ];
      for (const c of ownCases) {
        it(`shows an own sent message (${c.format}, ${c.preview}, ${c.flag})`, async () => {
          await page.evaluate((a) => window.PushMsg.apply(null, a), ['谢谢', 'Thank you', 'true', c.preview, c.format, 'alice', c.flag]);
          const [m] = await conversation(page);
          const doubleTag = await page.evaluate(() => document.body.getAttribute('data-t-double'));
          assert.deepEqual(m, {
            own: true,
            pending: false,
            failed: false,
            who: await page.evaluate(() => document.body.getAttribute('data-t-me')),
            tag: c.tag ? doubleTag : null,
            src: '谢谢',
            tr: 'Thank you',
          });
          assert.equal(await page.inputValue('#input'), '');
        });
      }

      it('incoming and own messages are told apart at a glance', async () => {
        await page.evaluate(() => {
          window.PushMsg('hi', '嗨', 'false', 'Pclose', 'Single', 'bob', 'true');
          window.PushMsg('你好', 'hello', 'true', 'Pclose', 'Single', 'me', 'true');
        });
        const look = await page.evaluate(() =>
          Array.prototype.map.call(document.querySelectorAll('#messages .msg'), (m) => {
            const b = m.querySelector('.bubble').getBoundingClientRect();
            return { left: b.left, right: b.right, bg: getComputedStyle(m.querySelector('.bubble')).backgroundColor };
          })
        );
        const width = await page.evaluate(() => document.getElementById('conversation').clientWidth);
        assert.ok(look[0].left < 20, 'incoming on the left');
        assert.ok(look[1].right > width - 20, 'own on the right');
        assert.notEqual(look[0].bg, look[1].bg);
      });

      it('quote tokens, "%20" and markup in the translation are shown as the user expects', async () => {
        await page.evaluate(() =>
          window.PushMsg(
            'It9kosys%20a9kodytest9kody？',
            '[ <FONT face=9kody宋体9kody color=#000000>这是9kody测试9kody</FONT> ]'.replace(/[\[\]]/g, ''),
            'false',
            'Pclose',
            'Single',
            'o9kosybrien',
            'true'
          )
        );
        const [m] = await conversation(page);
        assert.equal(m.src, 'It\'s a"test"？');
        assert.equal(m.tr, '这是"测试"');
        assert.equal(m.who, "o'brien");
      });

      it('a script line built as the native side builds it arrives intact', async () => {
        const line = scriptLine('PushMsg', ['a\\b 9kosyc9kosy\r\nd\u2028e', 'f', 'false', 'Pclose', 'Single', 'bob', 'true']);
        await page.evaluate(line);
        const [m] = await conversation(page);
        assert.equal(m.src, "a\\b 'c'\r\nd\u2028e");
      });

      it('keeps the newest message at the bottom, scrolled into view', async () => {
        await page.evaluate(() => {
          for (let i = 1; i <= 40; i += 1) window.PushMsg('message ' + i, '消息 ' + i, 'false', 'Pclose', 'Single', 'bob', 'true');
        });
        const conv = await conversation(page);
        assert.equal(conv[conv.length - 1].src, 'message 40');
        const pos = await page.evaluate(() => {
          const c = document.getElementById('conversation');
          return { gap: c.scrollHeight - c.scrollTop - c.clientHeight, scrolled: c.scrollTop };
        });
        assert.ok(pos.scrolled > 0);
        assert.ok(pos.gap <= 1, `not at the bottom: ${pos.gap}`);
      });

      it('bfocus puts the caret in the input area', async () => {
        await page.click('#lan-en');
        await page.evaluate(() => window.bfocus());
        assert.equal(await page.evaluate(() => document.activeElement.id), 'input');
      });
    });

    describe('preview flow', () => {
      it('first answer goes to the input for review, the next send hands it over', async () => {
        await page.evaluate(() => window.init_web('false', 'Popen', 'Single', '', 'english'));
        const labels = () => page.evaluate(() => document.getElementById('send-label').textContent);
        const body = (k) => page.evaluate((key) => document.body.getAttribute('data-t-' + key), k);
        assert.equal(await labels(), await body('btn-translate'));

        await sendTyped('明天见');
        let cmds = await afterWebOk(1);
        assert.deepEqual(cmds[0].args, ['明天见', 'english', 'Popen', 'Single', '']);

        await page.evaluate(() => window.PushMsg('明天见', 'See you tomorrow', 'true', 'Popen', 'Single', 'me', 'false'));
        assert.equal(await page.inputValue('#input'), 'See you tomorrow');
        assert.equal(await page.isVisible('#review'), true);
        assert.equal(await page.textContent('#review-source'), '明天见');
        assert.equal((await conversation(page)).length, 0, 'nothing is shown as sent yet');
        assert.equal(await labels(), await body('btn-send'));
        assert.equal(await page.evaluate(() => document.activeElement.id), 'input');

        // The user edits the translation, then sends it as it stands.
        await page.keyboard.type('!');
        await page.keyboard.press('Enter');
        cmds = await afterWebOk(2);
        assert.deepEqual(cmds[1].args, ['See you tomorrow!', 'english', 'Popen', 'Single', '']);
        assert.equal(await page.isVisible('#review'), false);

        await page.evaluate(() => window.PushMsg('See you tomorrow!', '明天见！', 'true', 'Popen', 'Single', 'me', 'true'));
        const conv = await conversation(page);
        assert.equal(conv.length, 1);
        assert.deepEqual([conv[0].own, conv[0].pending, conv[0].src, conv[0].tr], [true, false, 'See you tomorrow!', '明天见！']);
        assert.equal(await labels(), await body('btn-translate'));
      });

      it('turning preview off leaves the review', async () => {
        await page.evaluate(() => window.init_web('false', 'Popen', 'Single', '', 'english'));
        await page.evaluate(() => window.PushMsg('好', 'Fine', 'true', 'Popen', 'Single', 'me', 'false'));
        assert.equal(await page.isVisible('#review'), true);
        await page.click('#preview');
        assert.equal(await page.isVisible('#review'), false);
        await page.click('#send');
        const cmds = await afterWebOk(2);
        assert.deepEqual(cmds[0].word, 'set_previewcclose');
        assert.deepEqual(cmds[1].args, ['Fine', 'english', 'Pclose', 'Single', '']);
      });
    });
  });
}

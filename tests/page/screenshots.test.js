'use strict';
// Screenshots of both pages with a short conversation, light and dark, for people to look at
// (tests/page/artifacts/). The test checks that the page drew what it was given.

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { pages, artifacts, launch, openPage, conversation } = require('./helpers');

let browser;
before(async () => {
  fs.mkdirSync(artifacts, { recursive: true });
  browser = await launch();
});
after(async () => {
  await browser.close();
});

async function shortConversation(page) {
  await page.evaluate(() => {
    window.init_web('false', 'Pclose', 'Double', '', 'english');
    window.PushMsg('Hi! Did you get the samples I sent on Monday？', '嗨！你收到我周一寄的样品了吗？', 'false', 'Pclose', 'Double', 'bob.lee', 'true');
    window.PushMsg('收到了，质量很好，谢谢！', 'Yes, I got them. The quality is great, thank you!', 'true', 'Pclose', 'Double', 'me', 'true');
    window.PushMsg('Great. Can we talk about the price tomorrow at 10？', '太好了。我们明天十点谈谈价格可以吗？', 'false', 'Pclose', 'Double', 'bob.lee', 'true');
  });
  await page.click('#input');
  await page.keyboard.type('可以，明天上午十点见。');
  await page.keyboard.press('Enter');
}

describe('screenshots', () => {
  for (const info of pages) {
    for (const scheme of ['light', 'dark']) {
      it(`${info.folder} ${scheme}`, async () => {
        const rec = await openPage(browser, info.folder, { colorScheme: scheme, scale: 2, viewport: { width: 360, height: 640 } });
        try {
          await shortConversation(rec.page);
          const conv = await conversation(rec.page);
          assert.equal(conv.length, 4);
          assert.equal(conv[3].pending, true);
          const bg = await rec.page.evaluate(() => getComputedStyle(document.body).backgroundColor);
          const dark = bg !== 'rgb(244, 245, 247)';
          assert.equal(dark, scheme === 'dark', `scheme not applied: ${bg}`);
          await rec.page.screenshot({ path: path.join(artifacts, `${info.folder}-${scheme}.png`), animations: 'disabled' });
        } finally {
          await rec.close();
        }
      });
    }

    it(`${info.folder} preview`, async () => {
      const rec = await openPage(browser, info.folder, { scale: 2, viewport: { width: 360, height: 640 } });
      try {
        await rec.page.evaluate(() => {
          window.init_web('false', 'Popen', 'Single', '', 'japaness');
          window.PushMsg('お疲れ様です。資料を確認しました。', '辛苦了。资料已经确认了。', 'false', 'Pclose', 'Single', 'tanaka', 'true');
          window.PushMsg('谢谢，下周见面详谈吧。', 'ありがとうございます。来週お会いして詳しく話しましょう。', 'true', 'Popen', 'Single', 'me', 'false');
        });
        assert.equal(await rec.page.isVisible('#review'), true);
        await rec.page.screenshot({ path: path.join(artifacts, `${info.folder}-preview.png`), animations: 'disabled' });
      } finally {
        await rec.close();
      }
    });
  }
});

/*
 * The companion page: the conversation with its translations and the input area.
 *
 * Runs in the Windows WebBrowser control, WebKitGTK and Chromium, so it is plain ES5:
 * no let/const, arrow functions, template literals, classList on SVG or fetch.
 *
 * Native side -> page: init_web, PushMsg and bfocus, called by one line of script.
 * Page -> native side: a fragment navigation of this very file,
 *   IO.htm#command`argument1`argument2 ...
 * which the native side reads before the navigation happens.
 *
 * Every text that reaches PushMsg comes from another person or from the translation
 * server: it is only ever put on screen as a text node.
 */
(function () {
  'use strict';

  var doc = document;
  var body = doc.body;

  // Longest conversation kept on screen; older messages are dropped from the top.
  var kMaxMessages = 400;
  // After this long without an answer a pending text is shown as not translated.
  var kPendingTimeoutMs = 45000;
  // The translation of an incoming message for which no translation came back.
  var kNoTranslation = '9konotran';

  var state = {
    lan: 'english', // "english" or "japaness"
    preview: 'Pclose', // "Popen" or "Pclose"
    format: 'Single', // "Single" or "Double"
    extra: '', // handed back with every typed text
    stopped: false,
    reviewing: false, // the input holds a translation waiting to be sent
    reviewSource: '', // the typed text whose translation is under review
    lastCommand: null,
    webOkSent: false
  };

  // Texts waiting for their translation, oldest first: { el, key, text, timer }.
  var pending = [];

  function byId(id) {
    return doc.getElementById(id);
  }

  // Interface texts live in the page itself (data-t-* on <body>), so both pages share this
  // script and differ only in their language.
  function t(key) {
    return body.getAttribute('data-t-' + key) || '';
  }

  function setText(el, value) {
    while (el.firstChild) {
      el.removeChild(el.firstChild);
    }
    el.appendChild(doc.createTextNode(value));
  }

  function hasClass(el, name) {
    return (' ' + el.className + ' ').indexOf(' ' + name + ' ') >= 0;
  }

  function setClass(el, name, on) {
    var has = hasClass(el, name);
    if (on && !has) {
      el.className = el.className ? el.className + ' ' + name : name;
    } else if (!on && has) {
      el.className = (' ' + el.className + ' ').replace(' ' + name + ' ', ' ').replace(/^\s+|\s+$/g, '');
    }
  }

  function str(value) {
    return value === undefined || value === null ? '' : String(value);
  }

  /* ---------------------------------------------------------------- commands */

  var ownFile = (function () {
    var path = str(window.location.pathname);
    var cut = Math.max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    return path.substring(cut + 1) || 'IO.htm';
  })();

  // One argument as the native side can split and read it: the quote tokens, the
  // full-width question mark, "%", "`" and "#" escaped twice ("%2525", "%2560", "%2523": the
  // native side undoes the browser's escapes, splits at "#" and "`", then undoes ours in each
  // piece, so they arrive as typed), line breaks as CR LF escapes (browsers drop raw line
  // breaks from a URL) and no other control characters.
  function encodeArgument(value) {
    return str(value)
      .replace(/%/g, '%2525')
      .replace(/'/g, '9kosy')
      .replace(/"/g, '9kody')
      .replace(/\?/g, '\uFF1F')
      .replace(/`/g, '%2560')
      .replace(/#/g, '%2523')
      .replace(/\r\n|[\r\n\u2028\u2029]/g, '\n')
      .replace(/\t/g, ' ')
      .replace(/[\x00-\x09\x0b-\x1f\x7f]/g, '')
      .replace(/\n/g, '%0D%0A');
  }

  function go(url) {
    // replace() leaves no history entry, so Back can never replay an old command.
    window.location.replace(url);
  }

  function sendCommand(word, args) {
    var line = word;
    var i;
    for (i = 0; i < args.length; i += 1) {
      line += '`' + encodeArgument(args[i]);
    }
    // The native side ignores a URL without a backtick, so a command without arguments
    // carries one empty argument.
    if (args.length === 0) {
      line += '`';
    }
    // Some engines fire nothing for a navigation to the fragment already shown; step onto
    // the bare fragment first (it has no backtick, so the native side ignores it).
    if (line === state.lastCommand) {
      go(ownFile + '#');
    }
    state.lastCommand = line;
    go(ownFile + '#' + line);
  }

  /* ----------------------------------------------------------- shown texts */

  // Texts from the native side carry the quote tokens and may carry "%20" for a space.
  function decodeTokens(value) {
    return str(value).replace(/9kosy/g, "'").replace(/9kody/g, '"').replace(/%20/g, ' ');
  }

  var kEntities = { lt: '<', gt: '>', amp: '&', quot: '"', apos: "'", nbsp: '\u00A0' };

  function decodeEntities(value) {
    return value.replace(/&(#[xX][0-9a-fA-F]{1,6}|#[0-9]{1,7}|[a-zA-Z]+);/g, function (all, name) {
      var code;
      if (name.charAt(0) === '#') {
        code = name.charAt(1) === 'x' || name.charAt(1) === 'X' ? parseInt(name.substring(2), 16) : parseInt(name.substring(1), 10);
        if (code > 0 && code < 0xd800) {
          return String.fromCharCode(code);
        }
        if (code >= 0xe000 && code <= 0xffff) {
          return String.fromCharCode(code);
        }
        if (code > 0xffff && code <= 0x10ffff) {
          code -= 0x10000;
          return String.fromCharCode(0xd800 + (code >> 10), 0xdc00 + (code & 0x3ff));
        }
        return all;
      }
      return kEntities.hasOwnProperty(name.toLowerCase()) ? kEntities[name.toLowerCase()] : all;
    });
  }

  // The translation engines wrap a translation in the message's own tags (a font tag, for
  // instance): show the words only. The result still goes on screen as a text node.
  function stripMarkup(value) {
    var plain = value
      .replace(/<!--[\s\S]*?-->/g, '')
      .replace(/<\/?[A-Za-z][A-Za-z0-9:-]*(\s[^<>]*)?\/?>/g, '');
    return decodeEntities(plain);
  }

  function trimText(value) {
    return value.replace(/^[\s\u3000]+|[\s\u3000]+$/g, '');
  }

  function pad2(n) {
    return n < 10 ? '0' + n : String(n);
  }

  function clockText() {
    var now = new Date();
    return pad2(now.getHours()) + ':' + pad2(now.getMinutes());
  }

  /* ----------------------------------------------------------- conversation */

  var conv = byId('conversation');
  var convList = byId('messages');
  var emptyNote = byId('empty');

  function scrollToNewest() {
    conv.scrollTop = conv.scrollHeight;
  }

  function element(tag, className, content) {
    var el = doc.createElement(tag);
    if (className) {
      el.className = className;
    }
    if (content !== undefined) {
      el.appendChild(doc.createTextNode(content));
    }
    return el;
  }

  function trimConversation() {
    while (convList.childNodes.length > kMaxMessages) {
      convList.removeChild(convList.firstChild);
    }
  }

  function addToConversation(el, before) {
    if (emptyNote) {
      emptyNote.parentNode.removeChild(emptyNote);
      emptyNote = null;
    }
    if (before) {
      convList.replaceChild(el, before);
    } else {
      convList.appendChild(el);
    }
    trimConversation();
    scrollToNewest();
  }

  function buildMessage(own, source, translation, name, format) {
    var item = element('div', own ? 'msg out' : 'msg in');
    var meta = element('div', 'meta');
    var bubble = element('div', 'bubble');
    if (own) {
      meta.appendChild(element('span', 'who', t('me')));
      if (format === 'Double') {
        meta.appendChild(element('span', 'tag', t('double')));
      }
    } else {
      meta.appendChild(element('span', 'who', name || t('them')));
    }
    meta.appendChild(element('span', 'time', clockText()));
    if (source) {
      bubble.appendChild(element('div', 'src', source));
    }
    if (translation) {
      bubble.appendChild(element('div', 'tr', translation));
    }
    item.appendChild(meta);
    item.appendChild(bubble);
    return item;
  }

  // How a typed text comes back in an own PushMsg: the native side restores the quotes and
  // question marks, may append "~?" and may keep the full-width stand-ins.
  function matchKey(value) {
    return trimText(
      str(value)
        .replace(/\uFF1F/g, '?')
        .replace(/\uFF05/g, '%')
        .replace(/\uFF03/g, '#')
        .replace(/\uFF40/g, '`')
        .replace(/~\?$/, '')
        .replace(/\s+/g, ' ')
    );
  }

  function markUnanswered(entry) {
    if (entry.timer) {
      window.clearTimeout(entry.timer);
      entry.timer = null;
    }
    if (hasClass(entry.el, 'failed')) {
      return;
    }
    setClass(entry.el, 'failed', true);
    var status = entry.el.getElementsByTagName('span');
    var i;
    for (i = 0; i < status.length; i += 1) {
      if (hasClass(status[i], 'state')) {
        setText(status[i], t('failed'));
      }
    }
    var again = element('button', 'again', t('edit-again'));
    again.type = 'button';
    again.onclick = function () {
      setInput(entry.text);
      removePending(entry);
      input.focus();
    };
    entry.bubble.appendChild(again);
  }

  // `shown`: the source and translation to show for a text that is not shown as it was sent.
  function addPending(text, handingOver, shown) {
    var item = element('div', 'msg out pending');
    var meta = element('div', 'meta');
    var bubble = element('div', 'bubble');
    meta.appendChild(element('span', 'who', t('me')));
    var status = element('span', 'state', handingOver ? t('sending') : t('translating'));
    meta.appendChild(status);
    meta.appendChild(element('span', 'dots', '\u2022\u2022\u2022'));
    bubble.appendChild(element('div', 'src', shown ? shown.source : text));
    if (shown) {
      bubble.appendChild(element('div', 'tr', shown.translation));
    }
    item.appendChild(meta);
    item.appendChild(bubble);
    var entry = {
      el: item,
      bubble: bubble,
      key: matchKey(text),
      text: shown ? shown.translation : text,
      shown: shown || null,
      timer: null
    };
    entry.timer = window.setTimeout(function () {
      markUnanswered(entry);
    }, kPendingTimeoutMs);
    pending.push(entry);
    addToConversation(item);
  }

  function removePending(entry) {
    var i = pending.indexOf(entry);
    if (i >= 0) {
      pending.splice(i, 1);
    }
    if (entry.timer) {
      window.clearTimeout(entry.timer);
    }
    if (entry.el.parentNode) {
      entry.el.parentNode.removeChild(entry.el);
    }
  }

  // The pending entry that an own message answers. Earlier ones were overtaken: the send
  // translator works on one text at a time, so their answers are not coming.
  function takePending(source) {
    var key = matchKey(source);
    var found = -1;
    var i;
    for (i = 0; i < pending.length; i += 1) {
      if (pending[i].key === key) {
        found = i;
        break;
      }
    }
    if (found < 0) {
      found = 0;
    }
    var entry = pending[found] || null;
    for (i = 0; i < found; i += 1) {
      markUnanswered(pending[i]);
    }
    if (entry) {
      pending.splice(found, 1);
      if (entry.timer) {
        window.clearTimeout(entry.timer);
      }
    }
    return entry;
  }

  /* ----------------------------------------------------------------- input */

  var input = byId('input');
  var sendButton = byId('send');
  var sendLabel = byId('send-label');
  var hint = byId('hint');
  var review = byId('review');
  var reviewSource = byId('review-source');

  function autosize() {
    input.style.height = 'auto';
    var max = 132;
    var wanted = input.scrollHeight + 2;
    input.style.height = (wanted > max ? max : wanted) + 'px';
    input.style.overflowY = wanted > max ? 'auto' : 'hidden';
  }

  function setInput(value) {
    input.value = value;
    autosize();
    // Caret at the end, where the user goes on writing.
    if (typeof input.setSelectionRange === 'function') {
      try {
        input.setSelectionRange(value.length, value.length);
      } catch (ignored) {
        // not focusable yet
      }
    }
  }

  // Markup words the messenger would take for page structure: such a text never reaches the
  // contact, so it is refused here, at once, rather than left waiting for a translation.
  var kRefusedMarkup = ['<html>', '</html>', '<h1>', '<table>', '<DIV>', '<tr>', '<td>'];

  function refusedMarkup(text) {
    var i;
    for (i = 0; i < kRefusedMarkup.length; i += 1) {
      if (text.indexOf(kRefusedMarkup[i]) >= 0) {
        return kRefusedMarkup[i];
      }
    }
    return '';
  }

  function refreshComposer() {
    var reviewing = state.reviewing;
    var previewing = state.preview === 'Popen' && !reviewing;
    setText(sendLabel, previewing ? t('btn-translate') : t('btn-send'));
    setText(hint, reviewing ? t('hint-review') : previewing ? t('hint-preview') : t('hint-send'));
    setClass(hint, 'refused', false);
    review.style.display = reviewing ? '' : 'none';
    setClass(byId('composer'), 'reviewing', reviewing);
  }

  function leaveReview() {
    state.reviewing = false;
    state.reviewSource = '';
    setText(reviewSource, '');
    refreshComposer();
  }

  function enterReview(source, translation) {
    state.reviewing = true;
    state.reviewSource = source;
    setText(reviewSource, source);
    setInput(translation);
    refreshComposer();
    input.focus();
    setInput(translation);
  }

  function squareBrackets(value) {
    return value.replace(/\[/g, '\uFF3B').replace(/\]/g, '\uFF3D');
  }

  function submit() {
    // Spaces and blank lines around the text are typing leftovers, not part of the message.
    var text = trimText(input.value);
    if (!text) {
      input.focus();
      return;
    }
    var markup = refusedMarkup(text);
    if (markup) {
      setText(hint, t('refused').replace('{markup}', markup));
      setClass(hint, 'refused', true);
      input.focus();
      return;
    }
    var sent = text;
    var shown = null;
    if (state.reviewing && state.format === 'Double') {
      // Bilingual: the native side hands a reviewed text over as it stands, breaking
      // "source[ translation ]" into the format's two lines at its brackets, so the texts' own
      // brackets are written full-width.
      sent = squareBrackets(state.reviewSource) + '[ ' + squareBrackets(text) + ' ]';
      shown = { source: state.reviewSource, translation: text };
    }
    sendCommand('Word_From_User', [sent, state.lan, state.preview, state.format, state.extra]);
    addPending(sent, state.reviewing, shown);
    if (state.reviewing) {
      leaveReview();
    }
    setInput('');
    input.focus();
  }

  /* -------------------------------------------------------------- controls */

  function press(el, on) {
    setClass(el, 'on', on);
    el.setAttribute('aria-pressed', on ? 'true' : 'false');
  }

  function refreshControls() {
    press(byId('lan-en'), state.lan === 'english');
    press(byId('lan-ja'), state.lan === 'japaness');
    press(byId('fmt-single'), state.format === 'Single');
    press(byId('fmt-double'), state.format === 'Double');
    var previewButton = byId('preview');
    setClass(previewButton, 'on', state.preview === 'Popen');
    previewButton.setAttribute('aria-checked', state.preview === 'Popen' ? 'true' : 'false');
    setText(byId('pair'), state.lan === 'japaness' ? t('pair-ja') : t('pair-en'));
    var stop = byId('stop');
    setClass(stop, 'on', state.stopped);
    stop.setAttribute('title', state.stopped ? t('reopen') : t('stop'));
    stop.setAttribute('aria-label', state.stopped ? t('reopen') : t('stop'));
    byId('stopped').style.display = state.stopped ? '' : 'none';
    refreshComposer();
  }

  function onClick(id, handler) {
    byId(id).addEventListener('click', function (event) {
      event.preventDefault();
      handler();
    }, false);
  }

  onClick('lan-en', function () {
    state.lan = 'english';
    refreshControls();
    sendCommand('set_en', []);
  });
  onClick('lan-ja', function () {
    state.lan = 'japaness';
    refreshControls();
    sendCommand('set_ja', []);
  });
  onClick('fmt-single', function () {
    state.format = 'Single';
    refreshControls();
    sendCommand('set_single', []);
  });
  onClick('fmt-double', function () {
    state.format = 'Double';
    refreshControls();
    sendCommand('set_double', []);
  });
  onClick('preview', function () {
    var opening = state.preview !== 'Popen';
    state.preview = opening ? 'Popen' : 'Pclose';
    if (!opening && state.reviewing) {
      leaveReview();
    }
    refreshControls();
    sendCommand(opening ? 'set_previewopen' : 'set_previewcclose', []);
  });
  onClick('settings', function () {
    sendCommand(body.getAttribute('data-settings-command') || 'setfull', []);
  });
  onClick('collapse', function () {
    sendCommand('setclose', []);
  });
  function toggleStopped() {
    state.stopped = !state.stopped;
    refreshControls();
    sendCommand(state.stopped ? 'skype_stop' : 'skype_open', []);
  }
  onClick('stop', toggleStopped);
  onClick('reopen', toggleStopped);
  onClick('ui-lan', function () {
    sendCommand('msn_buy', []);
  });
  onClick('send', submit);

  input.addEventListener('keydown', function (event) {
    var key = event.keyCode || event.which;
    // Enter that confirms an input-method composition belongs to the IME.
    if (key !== 13 || event.isComposing || key === 229) {
      return;
    }
    if (event.shiftKey) {
      return; // a new line
    }
    event.preventDefault();
    submit();
  }, false);
  input.addEventListener('input', function () {
    autosize();
    if (hasClass(hint, 'refused')) {
      refreshComposer();
    }
  }, false);

  // A file or link dropped on the page would navigate the companion away from itself.
  function guardDrop(event) {
    if (event.target !== input) {
      event.preventDefault();
      if (event.dataTransfer) {
        event.dataTransfer.dropEffect = 'none';
      }
    }
  }
  doc.addEventListener('dragover', guardDrop, false);
  doc.addEventListener('drop', guardDrop, false);

  /* ------------------------------------------------- calls from the native side */

  window.init_web = function (StartFlag, PreviewMode, ShowFormat, PageExtra, ForeignLan) {
    state.preview = PreviewMode === 'Popen' ? 'Popen' : 'Pclose';
    state.format = ShowFormat === 'Double' ? 'Double' : 'Single';
    state.extra = str(PageExtra);
    state.lan = ForeignLan === 'japaness' ? 'japaness' : 'english';
    if (state.preview !== 'Popen' && state.reviewing) {
      leaveReview();
    }
    refreshControls();
  };

  window.PushMsg = function (source, translation, own, preview, format, name, flag) {
    var src = decodeTokens(source);
    var tr = trimText(stripMarkup(decodeTokens(translation)));
    var who = decodeTokens(name);
    if (own !== 'true') {
      // The native side's word for "no engine answered": the message is shown untranslated.
      var none = trimText(str(translation)) === kNoTranslation;
      var incoming = buildMessage(false, trimText(src), none ? '' : tr, trimText(who), format);
      if (none) {
        setClass(incoming, 'failed', true);
        incoming.getElementsByTagName('div')[0].appendChild(element('span', 'state', t('failed')));
      }
      addToConversation(incoming);
      return;
    }
    var entry = takePending(src);
    // The native side's word for "not sent": the text is marked and can be edited again.
    if (trimText(str(translation)) === kNoTranslation) {
      if (!entry) {
        addPending(src, false, null);
        entry = pending.pop();
      }
      markUnanswered(entry);
      scrollToNewest();
      return;
    }
    // Preview: the first answer is the translation for the user to check and edit; the
    // next send hands it over as it stands.
    if (preview === 'Popen' && flag === 'false') {
      if (entry) {
        removePending(entry);
      }
      enterReview(trimText(src), tr);
      scrollToNewest();
      return;
    }
    // A reviewed bilingual text is shown as the two texts the contact got, not as its
    // combined form and that form's translation.
    var message = entry && entry.shown
      ? buildMessage(true, entry.shown.source, entry.shown.translation, who, format)
      : buildMessage(true, trimText(src), tr, who, format);
    if (entry && entry.el.parentNode === convList) {
      addToConversation(message, entry.el);
    } else {
      addToConversation(message);
    }
  };

  window.bfocus = function () {
    input.focus();
    setInput(input.value);
  };

  // A script error must never pop up a dialog inside the messenger.
  window.onerror = function () {
    return true;
  };

  refreshControls();
  autosize();

  function reportReady() {
    if (!state.webOkSent) {
      state.webOkSent = true;
      sendCommand('WebOk', []);
    }
  }
  if (doc.readyState === 'complete') {
    reportReady();
  } else {
    window.addEventListener('load', reportReady, false);
  }
})();

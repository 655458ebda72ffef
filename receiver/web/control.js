// The control page's own part: the key from the address, the receiver's
// state. Everything the receiver says is set as text, never as markup.
const control = (() => {
  const found = /(?:^#|&)key=([0-9a-f]+)/.exec(location.hash);
  if (found) {
    sessionStorage.setItem('trackwire-key', found[1]);
    // The key stays out of the address bar, which may be on stream.
    history.replaceState(null, '', location.pathname);
  }
  const key = sessionStorage.getItem('trackwire-key') ?? '';
  // A call under /control/api/; its JSON answer, or an error with the
  // receiver's words.
  async function call(name, body) {
    const options = {method: body === undefined ? 'GET' : 'POST', cache: 'no-store',
                     headers: {'X-Trackwire-Key': key}};
    if (body !== undefined) {
      options.headers['Content-Type'] = 'application/json';
      options.body = JSON.stringify(body);
    }
    const response = await fetch('/control/api/' + name, options);
    const answer = await response.json().catch(() => ({}));
    if (!response.ok) throw new Error(answer.error ?? ('HTTP ' + response.status));
    return answer;
  }
  return {key, call};
})();

if (!control.key) document.getElementById('no-key').hidden = false;

// The page's own sections, kept fresh by asking for the state every second
// and a half (every ten while the page is hidden).
(() => {
  const byId = (id) => document.getElementById(id);
  // An element with text, never markup.
  function element(tag, text, className) {
    const made = document.createElement(tag);
    if (text !== undefined) made.textContent = text;
    if (className) made.className = className;
    return made;
  }
  // The time alone for today, else with the day.
  function localTime(utc) {
    const time = new Date(utc);
    if (isNaN(time.getTime())) return String(utc ?? '');
    return time.toDateString() === new Date().toDateString()
        ? time.toLocaleTimeString() : time.toLocaleString();
  }
  function songText(song) {
    if (!song) return '';
    const parts = [song.artist, song.title].filter((part) => part);
    return parts.length ? parts.join(' - ') : (song.album || '(no title)');
  }

  // The overlay's address for the switches chosen.
  const switches = byId('switches');
  function overlayQuery() {
    const form = new FormData(switches);
    const query = new URLSearchParams({overlay: '1'});
    if (form.get('theme') !== 'dark') query.set('theme', form.get('theme'));
    if (form.get('align') !== 'left') query.set('align', form.get('align'));
    const width = Number(form.get('width'));
    if (Number.isInteger(width) && width >= 200 && width <= 3840) query.set('width', width);
    const hide = Number(form.get('hide'));
    if (Number.isInteger(hide) && hide >= 1 && hide <= 3600) query.set('hide', hide);
    if (form.get('scroll')) query.set('scroll', '1');
    if (!form.get('cover')) query.set('cover', '0');
    return query.toString();
  }
  let overlayBase = location.origin + '/';
  let previewQuery = null;
  function showOverlay() {
    const query = overlayQuery();
    byId('overlay-address').textContent = overlayBase + '?' + query;
    if (query !== previewQuery) {
      previewQuery = query;
      byId('overlay-preview').src = '/?' + query;
    }
  }
  switches.addEventListener('input', showOverlay);
  switches.addEventListener('submit', (event) => event.preventDefault());
  for (const choice of document.querySelectorAll('input[name="backdrop"]')) {
    choice.addEventListener('change', () => {
      byId('preview-box').className = 'preview backdrop-' + choice.value;
    });
  }

  // Copies the text of the element the button names; where the browser
  // does not let the page, the text is selected for Ctrl+C.
  async function copy(button) {
    const source = byId(button.dataset.copy);
    const text = source.textContent;
    try {
      await navigator.clipboard.writeText(text);
      button.textContent = 'Copied';
    } catch (error) {
      const range = document.createRange();
      range.selectNodeContents(source);
      const selection = getSelection();
      selection.removeAllRanges();
      selection.addRange(range);
      button.textContent = 'Press Ctrl+C';
    }
    setTimeout(() => { button.textContent = 'Copy'; }, 2000);
  }
  document.addEventListener('click', (event) => {
    const button = event.target.closest('button[data-copy]');
    if (button) copy(button);
  });

  function showProblems(state) {
    const list = byId('problem-list');
    list.replaceChildren();
    for (const problem of state.problems) {
      let where = problem.subject;
      if (problem.kind === 'settings') {
        where = 'trackwire_receiver.ini';
        if (problem.line !== null) where += ', line ' + problem.line;
        if (problem.section) where += ', ' + problem.section;
      }
      const item = element('li');
      item.dir = 'auto';
      // A service's problem starts with its name.
      if (problem.kind !== 'service') item.append(element('strong', where + ': '));
      item.append(problem.text);
      item.append(element('span', ' (since ' + localTime(problem.since) + ')', 'muted'));
      list.append(item);
    }
    byId('no-problems').hidden = state.problems.length > 0;
    const services = byId('service-list');
    services.replaceChildren();
    const words = {waiting: 'nothing sent yet', working: 'works',
                   failing: 'failing', refused: 'credentials refused',
                   redirected: 'a redirect refused'};
    for (const service of state.services) {
      const item = element('li', undefined, service.health);
      let text = service.name + ': ' + (words[service.health] ?? service.health);
      if (service.health !== 'waiting') text += ' since ' + localTime(service.since);
      item.textContent = text;
      services.append(item);
    }
    byId('no-services').hidden = state.services.length > 0;
  }

  // The tab opened by "Connect Last.fm", until Last.fm's page is known.
  let lastfmTab = null;
  function showLastFm(lastfm) {
    const waiting = lastfm.stage === 'waiting';
    byId('lastfm-text').textContent = lastfm.problem ? lastfm.problem
        : waiting ? 'Waiting for you to allow the receiver on Last.fm…'
        : lastfm.stage === 'token' ? 'Asking Last.fm…'
        : lastfm.connected ? 'Connected: each song goes to Last.fm, and each play that counts as a scrobble.'
        : lastfm.set_up ? 'Not connected.'
        : 'Not set up: the key and secret of your own Last.fm API account go into the Last.fm settings below.';
    byId('lastfm-connect').textContent = lastfm.connected ? 'Connect again' : 'Connect Last.fm';
    byId('lastfm-disconnect').hidden = !lastfm.connected;
    byId('lastfm-allow').hidden = !waiting;
    if (waiting) byId('lastfm-page').href = lastfm.page;
    if (lastfmTab && waiting) {
      lastfmTab.location.href = lastfm.page;
      lastfmTab = null;
    } else if (lastfmTab && lastfm.stage === 'idle') {
      lastfmTab.close();
      lastfmTab = null;
    }
  }

  function copyLine(text, id) {
    const line = element('div', undefined, 'copy-line');
    const code = element('code', text);
    code.id = id;
    const button = element('button', 'Copy');
    button.type = 'button';
    button.dataset.copy = id;
    line.append(code, button);
    return line;
  }
  let shownFiles = '';
  function showFiles(files) {
    const key = JSON.stringify(files);
    if (key === shownFiles) return;
    shownFiles = key;
    const list = byId('file-list');
    list.replaceChildren();
    files.forEach((file, i) => {
      const item = element('li');
      item.append(copyLine(file.path, 'file-' + i));
      list.append(item);
    });
  }

  function showHistory(history) {
    const list = byId('history-list');
    list.replaceChildren();
    for (const song of history) {
      const item = element('li', localTime(song.time) + '  ' + songText(song));
      item.dir = 'auto';
      list.append(item);
    }
    byId('no-history').hidden = history.length > 0;
  }

  let shownState = '';
  function show(state) {
    // Most answers are the one before: nothing to lay out again.
    const text = JSON.stringify(state);
    if (text === shownState) return;
    shownState = text;
    byId('listen').textContent = state.listen +
        (state.listen.startsWith('0.0.0.0:') ? ' (every address of this PC)' : '');
    byId('now').textContent = state.song
        ? songText(state.song) + (state.idle ? ' (idle: cleared)' : '')
        : 'Waiting for the first song';
    byId('last-report').textContent = state.last_report
        ? songText(state.last_report) + ', ' + localTime(state.last_report.received) +
          ', from ' + state.last_report.from
        : 'None since the start';
    if (state.page && overlayBase !== state.page) {
      overlayBase = state.page;
      showOverlay();
    }
    showProblems(state);
    showLastFm(state.lastfm);
    showFiles(state.files);
    showHistory(state.history);
    const summary = byId('summary');
    const count = state.problems.length;
    summary.textContent = 'Listening on ' + state.listen + ' · ' +
        (count === 0 ? 'everything works' : count + (count === 1 ? ' problem' : ' problems'));
    summary.classList.toggle('trouble', count > 0);
  }

  let timer = null;
  async function refresh() {
    clearTimeout(timer);
    if (!control.key) {
      byId('summary').textContent = 'Not connected: this address has no key.';
      return;
    }
    try {
      show(await control.call('state'));
    } catch (error) {
      const summary = byId('summary');
      summary.textContent = error instanceof TypeError
          ? 'The receiver does not answer; trying again…' : error.message;
      summary.classList.add('trouble');
      shownState = '';
    }
    timer = setTimeout(refresh, document.hidden ? 10000 : 1500);
  }
  document.addEventListener('visibilitychange', () => {
    if (!document.hidden) refresh();
  });

  const result = byId('action-result');
  async function act(name, body, done) {
    try {
      show(await control.call(name, body));
      result.textContent = done;
    } catch (error) {
      result.textContent = error.message;
    }
  }
  byId('test-song').addEventListener('submit', (event) => {
    event.preventDefault();
    const form = new FormData(event.target);
    act('test', {artist: form.get('artist'), album: form.get('album'),
                 title: form.get('title')}, 'The test song is on the overlay and in the files.');
  });
  byId('lastfm-connect').addEventListener('click', () => {
    // Opened now, while the click lets it; Last.fm's page goes into it once
    // the receiver has a token. It gets no hold on this page.
    lastfmTab = window.open('about:blank', '_blank');
    if (lastfmTab) lastfmTab.opener = null;
    act('lastfm/connect', {}, '');
    setTimeout(refresh, 300);
  });
  byId('lastfm-disconnect').addEventListener('click', () => {
    act('lastfm/disconnect', {}, 'Disconnected: the session is gone from the settings file.');
  });
  byId('clear-song').addEventListener('click', () => {
    act('clear', {}, 'Cleared: the files show their idle text until the next song.');
  });

  showOverlay();
  refresh();
})();

// The status page: the session, the event stream (closed while the page is
// hidden), the banner when the recorder program is away, and the commands.
'use strict';

const qw = {
  session: null,
  cards: new Map(),
  stream: null,
  retryTimer: null,
  admin: null,
  linkState: 'connecting',
  webDown: false,
};

function goLogin() { window.location.replace('/login'); }

const api = {
  async get(path) {
    try {
      const res = await fetch(path, { credentials: 'same-origin', cache: 'no-store' });
      if (res.status === 401) { goLogin(); return null; }
      const body = await res.json().catch(() => ({}));
      if (!res.ok) { showNotice(t('commandFailed', body.message || body.error || res.status), true); return null; }
      return body;
    } catch (e) { return null; }
  },
  async post(path, payload) {
    try {
      const res = await fetch(path, {
        method: 'POST',
        credentials: 'same-origin',
        headers: { 'Content-Type': 'application/json', 'X-CSRF-Token': qw.session ? qw.session.csrf : '' },
        body: JSON.stringify(payload || {}),
      });
      if (res.status === 401) { goLogin(); return null; }
      const body = await res.json().catch(() => ({}));
      if (!res.ok) { showNotice(t('commandFailed', body.message || body.error || res.status), true); return null; }
      return body;
    } catch (e) {
      showNotice(t('webUnreachable'), true);
      return null;
    }
  },
};

let noticeTimer = null;
function showNotice(text, isError) {
  const n = document.getElementById('notice');
  n.textContent = text;
  n.className = 'notice' + (isError ? ' error' : '');
  n.hidden = false;
  clearTimeout(noticeTimer);
  noticeTimer = setTimeout(() => { n.hidden = true; }, 8000);
}

function setBanner(text, kind) {
  const b = document.getElementById('banner');
  b.hidden = !text;
  b.textContent = text || '';
  b.dataset.kind = kind || '';
}

function updateBanner(view) {
  if (qw.webDown) { setBanner(t('webUnreachable'), 'web'); return; }
  const state = view ? view.link.state : qw.linkState;
  const texts = {
    'connecting': 'linkConnecting', 'not-running': 'linkNotRunning', 'not-answering': 'linkNotAnswering',
    'no-access': 'linkNoAccess', 'incompatible': 'linkIncompatible',
  };
  if (state !== 'up') { setBanner(t(texts[state] || 'linkNotAnswering'), state); return; }
  if (view && view.program && view.program.closing) { setBanner(t('closing'), 'closing'); return; }
  if (view && view.program && view.program.startup_done === false) { setBanner(t('startup'), 'startup'); return; }
  setBanner('', '');
}

async function command(recorder, what) {
  const res = await api.post('/api/recorders/' + recorder + '/' + what);
  if (res && res.ok && res.recorder && res.recorder.recorder) {
    const card = qw.cards.get(res.recorder.recorder);
    if (card && res.recorder.state) card.update(Object.assign({}, card.data, res.recorder), performance.now());
  }
}

function render(view) {
  const now = performance.now();
  qw.linkState = view.link.state;
  updateBanner(view);
  const list = document.getElementById('recorders');
  const seen = new Set();
  for (const r of view.recorders) {
    seen.add(r.recorder);
    let card = qw.cards.get(r.recorder);
    if (!card) {
      card = new RecorderCard(r.recorder, { canOperate: qw.session.role !== 'listen', command });
      qw.cards.set(r.recorder, card);
      list.append(card.root);
    }
    card.update(r, now);
  }
  for (const [n, card] of qw.cards) {
    if (!seen.has(n)) { card.root.remove(); qw.cards.delete(n); }
  }
  [...qw.cards.keys()].sort((a, b) => a - b).forEach((n) => list.append(qw.cards.get(n).root));
  document.getElementById('none').hidden = view.link.state !== 'up' || view.recorders.length > 0;
  document.body.dataset.link = view.link.state;
  if (qw.admin && view.link.state === 'up') qw.admin.onStatus(view);
  if (window.qwFirstStatusMs === undefined) window.qwFirstStatusMs = performance.now();
  window.qwStatusCount = (window.qwStatusCount || 0) + 1;
}

function renderLevels(ev) {
  const now = performance.now();
  window.qwLevelEvents = (window.qwLevelEvents || 0) + 1;
  for (const r of ev.recorders || []) {
    const card = qw.cards.get(r.recorder);
    if (card && r.peak_dbfs) card.setLevels(r.peak_dbfs, now);
  }
}

function openStream() {
  if (qw.stream || document.hidden) return;
  clearTimeout(qw.retryTimer);
  const es = new EventSource('/api/events');
  qw.stream = es;
  es.addEventListener('status', (e) => {
    qw.webDown = false;
    render(JSON.parse(e.data));
  });
  es.addEventListener('levels', (e) => renderLevels(JSON.parse(e.data)));
  es.addEventListener('logout', () => { closeStream(); goLogin(); });
  es.onerror = () => {
    if (es.readyState !== EventSource.CLOSED) {
      // The browser reconnects by itself; say so meanwhile.
      qw.webDown = true;
      updateBanner(null);
      return;
    }
    closeStream();
    // Closed for good (a refusal): is the session over, or the server away?
    fetch('/api/session', { credentials: 'same-origin', cache: 'no-store' }).then((res) => {
      if (res.status === 401) { goLogin(); return; }
      qw.webDown = !res.ok;
      updateBanner(null);
      qw.retryTimer = setTimeout(openStream, 2000);
    }).catch(() => {
      qw.webDown = true;
      updateBanner(null);
      qw.retryTimer = setTimeout(openStream, 2000);
    });
  };
}

function closeStream() {
  if (qw.stream) { qw.stream.close(); qw.stream = null; }
}

function tick() {
  const now = performance.now();
  for (const card of qw.cards.values()) card.tick(now);
}

async function start() {
  const session = await api.get('/api/session');
  if (!session) {
    qw.webDown = true;
    updateBanner(null);
    setTimeout(start, 2000);
    return;
  }
  qw.session = session;
  document.getElementById('who').textContent = session.user + ' (' + session.role + ')';
  document.getElementById('instance').textContent = session.instance ? '· instance ' + session.instance : '';
  document.getElementById('logout').addEventListener('click', async () => {
    closeStream();
    await api.post('/api/logout');
    goLogin();
  });
  if (session.role === 'admin') {
    qw.admin = new AdminPanel(api);
    qw.admin.loadTrace();
  }
  // No stream, and so no levels, while the page cannot be seen.
  document.addEventListener('visibilitychange', () => {
    if (document.hidden) closeStream();
    else openStream();
  });
  setInterval(tick, 500);
  openStream();
}

document.addEventListener('DOMContentLoaded', start);

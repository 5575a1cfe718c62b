// One panel per recorder in service, as the main window shows it: label,
// state in words and colour, REC lamp (lit only while a file is written),
// elapsed time, file, size, format, input (and "absent"), free space and
// time left, silence, last incident, level meters in dBFS with peak hold,
// and the REC / PAUSE / STOP buttons for operators.
'use strict';

const METER_FLOOR = -60;      // dBFS at the left end of a meter
const PEAK_HOLD_MS = 1500;    // a peak mark stays this long...
const PEAK_FALL_DB_S = 20;    // ...then falls at this rate

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

function baseName(path) {
  if (!path) return '';
  const i = path.lastIndexOf('/');
  return i >= 0 ? path.slice(i + 1) : path;
}

function sizeText(bytes) {
  if (bytes === undefined || bytes === null) return t('none');
  let v = Number(bytes);
  let u = 0;
  while (v >= 1024 && u < QW_T.units.length - 1) { v /= 1024; u += 1; }
  const digits = u === 0 ? 0 : (v < 10 ? 2 : (v < 100 ? 1 : 0));
  return v.toLocaleString(QW_LANG, { maximumFractionDigits: digits, minimumFractionDigits: digits }) + ' ' + QW_T.units[u];
}

function durationText(seconds) {
  if (seconds === undefined || seconds === null || !isFinite(seconds)) return t('none');
  const s = Math.max(0, Math.floor(seconds));
  const d = Math.floor(s / 86400);
  const hh = String(Math.floor((s % 86400) / 3600)).padStart(2, '0');
  const mm = String(Math.floor((s % 3600) / 60)).padStart(2, '0');
  const ss = String(s % 60).padStart(2, '0');
  return (d > 0 ? d + ' ' + QW_T.days + ' ' : '') + hh + ':' + mm + ':' + ss;
}

function stateWords(r) {
  // French: the main window's own words; English: by state.
  if (QW_LANG === 'fr' && r.state_text) return r.state_text;
  return (QW_T.state[r.state] || r.state);
}

function fraction(db) {
  if (db === undefined || db === null || !isFinite(db)) return 0;
  return Math.min(1, Math.max(0, (db - METER_FLOOR) / -METER_FLOOR));
}

class Meter {
  constructor(container) {
    this.root = el('div', 'meter');
    this.bar = el('div', 'meter-bar');
    this.peak = el('div', 'meter-peak');
    this.value = el('span', 'meter-value', '');
    const track = el('div', 'meter-track');
    track.append(this.bar, this.peak);
    this.root.append(track, this.value);
    container.append(this.root);
    this.hold = -Infinity;
    this.holdAt = 0;
  }

  set(db, now) {
    const level = (db === undefined || db === null) ? -Infinity : db;
    let held = this.hold;
    if (this.holdAt && now - this.holdAt > PEAK_HOLD_MS) {
      held = this.hold - PEAK_FALL_DB_S * (now - this.holdAt - PEAK_HOLD_MS) / 1000;
    }
    if (level >= held) { this.hold = level; this.holdAt = now; held = level; }
    const f = fraction(level);
    this.bar.style.width = (f * 100).toFixed(1) + '%';
    this.bar.className = 'meter-bar' + (level > -6 ? ' hot' : level > -18 ? ' warm' : '');
    this.peak.style.left = 'calc(' + (fraction(held) * 100).toFixed(1) + '% - 2px)';
    this.peak.hidden = !isFinite(held) || held <= METER_FLOOR;
    this.value.textContent = isFinite(level) && level > -120 ? level.toFixed(1) + ' dBFS' : '−∞ dBFS';
    this.root.dataset.db = isFinite(level) ? level.toFixed(1) : '';
  }
}

class RecorderCard {
  constructor(number, actions) {
    this.number = number;
    this.actions = actions;
    this.root = el('article', 'card');
    this.root.id = 'rec-' + number;
    this.root.dataset.recorder = number;

    const head = el('header', 'card-head');
    this.title = el('h2', 'card-title');
    this.lamp = el('span', 'rec-lamp', 'REC');
    this.lamp.setAttribute('aria-label', 'REC');
    this.state = el('span', 'state');
    this.tag = el('span', 'tag', t('logging'));
    this.tag.hidden = true;
    const badges = el('span', 'badges');
    badges.append(this.state, this.lamp);
    head.append(this.title, this.tag, badges);

    this.elapsed = el('div', 'elapsed', '00:00:00');
    this.meters = el('div', 'meters');
    this.meterList = [];

    this.fields = el('dl', 'fields');
    this.rows = {};
    for (const key of ['file', 'size', 'format', 'device', 'freeSpace']) {
      const dt = el('dt', '', t(key));
      const dd = el('dd', 'f-' + key);
      this.fields.append(dt, dd);
      this.rows[key] = dd;
    }
    this.silence = el('p', 'silence', '');
    this.silence.hidden = true;
    this.incident = el('p', 'last-incident', '');
    this.incident.hidden = true;

    this.root.append(head, this.elapsed, this.meters, this.fields, this.silence, this.incident);
    if (actions.canOperate) {
      this.buttons = el('div', 'buttons');
      this.recBtn = this.button('rec', 'btn-rec', () => actions.command(number, 'start'));
      this.pauseBtn = this.button('pause', 'btn-pause', () =>
        actions.command(number, this.data && this.data.state === 'paused' ? 'continue' : 'pause'));
      this.stopBtn = this.button('stop', 'btn-stop', () => this.confirmStop());
      this.root.append(this.buttons);
    }
    this.data = null;
    this.elapsedBase = 0;
    this.elapsedAt = 0;
  }

  button(key, cls, onClick) {
    const b = el('button', 'cmd ' + cls, t(key));
    b.type = 'button';
    b.addEventListener('click', onClick);
    this.buttons.append(b);
    return b;
  }

  confirmStop() {
    // A second press within four seconds stops: a recording is not stopped by a slip.
    if (this.stopArmed) {
      clearTimeout(this.stopArmed);
      this.stopArmed = null;
      this.stopBtn.textContent = t('stop');
      this.stopBtn.classList.remove('armed');
      this.actions.command(this.number, 'stop');
      return;
    }
    this.stopBtn.textContent = t('confirmStop');
    this.stopBtn.classList.add('armed');
    this.stopArmed = setTimeout(() => {
      this.stopArmed = null;
      this.stopBtn.textContent = t('stop');
      this.stopBtn.classList.remove('armed');
    }, 4000);
  }

  update(r, now) {
    this.data = r;
    this.title.textContent = 'Rec. ' + r.recorder + (r.label ? ' · ' + r.label : '');
    this.title.title = this.title.textContent;
    this.tag.hidden = !r.logging;
    this.state.textContent = stateWords(r);
    this.root.dataset.state = r.state;
    this.state.className = 'state state-' + r.state;
    this.lamp.classList.toggle('lit', !!r.writing);
    this.root.classList.toggle('writing', !!r.writing);
    this.elapsedBase = r.elapsed_s || 0;
    this.elapsedAt = now;
    this.tick(now);

    this.rows.file.textContent = baseName(r.file) || t('none');
    this.rows.file.title = r.file || '';
    this.rows.size.textContent = r.file ? sizeText(r.file_bytes) : t('none');
    this.rows.format.textContent = [r.format_text, r.quality].filter(Boolean).join(' · ') || t('none');
    this.rows.device.textContent = r.device || t('none');
    if (r.device_present === false) this.rows.device.append(' ', el('span', 'absent', t('absent')));
    const free = r.free_bytes !== undefined ? sizeText(r.free_bytes) : t('none');
    this.rows.freeSpace.textContent = free + (r.seconds_left !== undefined ? ' · ' + durationText(r.seconds_left) + ' ' + t('timeLeft') : '');
    this.rows.freeSpace.classList.toggle('low', r.seconds_left !== undefined && r.seconds_left < 3600 * 6);

    this.silence.hidden = !r.silence;
    if (r.silence) this.silence.textContent = t('silenceFor', durationText(r.silence_s));
    const inc = r.last_incident;
    this.incident.hidden = !inc;
    if (inc) this.incident.textContent = t('lastIncident') + ' · ' + (inc.time || '').replace('T', ' ').slice(0, 19) + ' · ' + inc.text;

    if (r.peak_dbfs && this.meterList.length !== r.peak_dbfs.length) this.setLevels(r.peak_dbfs, now);

    if (this.buttons) {
      const busy = ['recording', 'paused', 'stopping'].includes(r.state) || r.writing;
      this.recBtn.disabled = busy;
      this.pauseBtn.disabled = !['recording', 'paused'].includes(r.state);
      this.pauseBtn.classList.toggle('on', r.state === 'paused');
      this.stopBtn.disabled = !busy && !r.wanted && r.state !== 'waiting' && r.state !== 'failed';
    }
  }

  tick(now) {
    const running = this.data && this.data.writing && this.data.state === 'recording';
    const seconds = this.elapsedBase + (running ? (now - this.elapsedAt) / 1000 : 0);
    this.elapsed.textContent = (this.data && this.data.elapsed_s !== undefined) ? durationText(seconds) : '--:--:--';
  }

  setLevels(peaks, now) {
    if (!Array.isArray(peaks)) return;
    while (this.meterList.length < peaks.length) this.meterList.push(new Meter(this.meters));
    while (this.meterList.length > peaks.length) this.meterList.pop().root.remove();
    peaks.forEach((db, i) => this.meterList[i].set(db, now));
  }
}

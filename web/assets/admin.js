// For administrators: the incident list (acknowledge one, or all) and the
// trace lines of today.
'use strict';

class AdminPanel {
  constructor(api) {
    this.api = api;
    this.root = document.getElementById('admin');
    this.body = document.querySelector('#incidents tbody');
    this.trace = document.getElementById('trace');
    this.root.hidden = false;
    document.getElementById('ack-all').addEventListener('click', () => this.acknowledge({ all: true }));
    document.getElementById('trace-refresh').addEventListener('click', () => this.loadTrace());
    this.lastKey = '';
  }

  async loadIncidents() {
    const res = await this.api.get('/api/incidents?last=100');
    if (!res) return;
    this.body.textContent = '';
    const list = (res.incidents || []).slice().reverse();  // newest first
    if (list.length === 0) {
      const tr = el('tr');
      const td = el('td', 'muted', t('noIncident'));
      td.colSpan = 4;
      tr.append(td);
      this.body.append(tr);
    }
    for (const inc of list) {
      const tr = el('tr', inc.acknowledged ? 'acked' : 'open');
      tr.dataset.seq = inc.seq;
      tr.append(el('td', 'nowrap', (inc.time || '').replace('T', ' ').slice(0, 19)),
        el('td', '', inc.recorder ? String(inc.recorder) : ''), el('td', '', inc.text));
      const cell = el('td');
      if (inc.acknowledged) cell.append(el('span', 'muted', t('acknowledged')));
      else {
        const b = el('button', 'small', t('ack'));
        b.type = 'button';
        b.addEventListener('click', () => this.acknowledge({ seq: inc.seq }));
        cell.append(b);
      }
      tr.append(cell);
      this.body.append(tr);
    }
  }

  async acknowledge(what) {
    if (await this.api.post('/api/incidents/acknowledge', what)) this.loadIncidents();
  }

  async loadTrace() {
    const res = await this.api.get('/api/trace?last=500');
    if (!res) return;
    this.trace.textContent = (res.lines || []).join('\n');
    this.trace.scrollTop = this.trace.scrollHeight;
  }

  // Called with each status: the list is read again when an incident came.
  onStatus(view) {
    const key = JSON.stringify((view.recorders || []).map((r) => r.last_incident || null));
    if (key !== this.lastKey) {
      this.lastKey = key;
      this.loadIncidents();
    }
  }
}

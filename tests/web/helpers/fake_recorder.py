#!/usr/bin/env python3
"""A stand-in for the recorder program's control socket (protocol 1), for
what only a stand-in can do: a program that stops answering (SIGSTOP), that
goes and comes back at will, or many pages at once in the benchmark. It keeps
three recorders in service: 1 "Antenne" (the logging recorder, recording,
refuses commands), 2 "Studio" (idle), 3 "Secours" (idle, its input absent).
With --stats FILE it writes how many times it was asked for levels and for
the status."""
import argparse
import asyncio
import json
import math
import os
import random
import signal
import time

parser = argparse.ArgumentParser()
parser.add_argument('--socket', required=True)
parser.add_argument('--stats')
parser.add_argument('--instance', type=int, default=1)
args = parser.parse_args()

START = time.time()
STATS = {'level_subscriptions': 0, 'status_requests': 0, 'clients': 0, 'commands': []}
VERSION = '2026.1211.1628'
clients = set()
incidents = [
    {'seq': 1, 'time': '2026-12-11T13:58:02+01:00', 'recorder': 1,
     'text': 'Rec. 1: recording resumed after a gap of 2.1 s (1 attempt(s))', 'acknowledged': False},
    {'seq': 2, 'time': '2026-12-11T14:02:00+01:00', 'recorder': 1,
     'text': 'Rec. 1 (Antenne): silence for 30 s, input below -50 dBFS', 'acknowledged': False},
]
trace = ['14:32:10:123 : :1: :RecordingStarted', '14:32:10:125 : :1: :Recording File: /srv/audio/Antenne/x.wav']


def rec(n, label, logging=False, device_present=True):
    return {'recorder': n, 'label': label, 'in_service': True, 'logging': logging, 'state': 'idle',
            'state_text': 'Arrêté', 'writing': False, 'wanted': False, 'device': 'Monitor of ' + label,
            'device_present': device_present, 'format': 'mp3', 'format_text': 'MP3 CBR 192 Kbps',
            'quality': '48000 Hz 16 bits stereo', 'forced_128k': False, 'folder': '/srv/audio/' + label + '/',
            'bytes_written': 0, 'free_bytes': 512000000000, 'seconds_left': 21333333, 'silence': False,
            'silence_s': 0, 'overruns': 0, 'samples_lost': 0, 'started': None, 'paused_total': 0.0}


recorders = {1: rec(1, 'Antenne', logging=True), 2: rec(2, 'Studio'), 3: rec(3, 'Secours', device_present=False)}
TEXTS = {'idle': 'Arrêté', 'recording': 'Enregistrement', 'paused': 'Pause'}


def set_state(r, state):
    r['state'] = state
    r['state_text'] = TEXTS[state]


def begin(r, name=None):
    set_state(r, 'recording')
    r['writing'] = True
    r['wanted'] = True
    r['started'] = time.time()
    stamp = time.strftime('%Y%m%d_%H_%M_%S')
    r['file'] = r['folder'] + (name or ('Pige ' if r['logging'] else '') + r['label'] + ' ' + stamp) + '.mp3'


begin(recorders[1])
recorders[1]['last_incident'] = {'time': incidents[-1]['time'], 'text': incidents[-1]['text']}
recorders[1]['peak_dbfs'] = [-12.5, -13.1]


def view(r):
    out = {k: v for k, v in r.items() if k not in ('started', 'paused_total')}
    if r['started'] is not None:
        elapsed = time.time() - r['started']
        out['elapsed_s'] = round(elapsed, 1)
        out['file_bytes'] = int(elapsed * 24000)
        out['bytes_written'] = r['bytes_written'] + out['file_bytes']
    else:
        out.pop('file', None)
    return out


def levels():
    t = time.time()
    out = []
    for n, r in recorders.items():
        if not r['device_present']:
            continue
        base = -14 + 6 * math.sin(t * 1.7 + n) + random.uniform(-2, 2)
        out.append({'recorder': n, 'peak_dbfs': [round(base, 1), round(base - 1.3, 1)], 'short_term_lufs': -23.4})
    return {'event': 'levels', 'time_ms': int(t * 1000), 'recorders': out}


def save_stats():
    if args.stats:
        tmp = args.stats + '.tmp'
        with open(tmp, 'w') as f:
            json.dump(STATS, f)
        os.replace(tmp, args.stats)


class Client:
    def __init__(self, writer):
        self.writer = writer
        self.subscribed = False
        self.levels = False

    def send(self, obj):
        self.writer.write((json.dumps(obj, ensure_ascii=False) + '\n').encode())


def broadcast(obj):
    for c in clients:
        if c.subscribed:
            c.send(obj)


def refuse(rid, message):
    return {'id': rid, 'ok': False, 'error': 'refused', 'message': message}


def handle(client, req):
    rid = req.get('id')
    what = req.get('request')
    if what == 'status':
        STATS['status_requests'] += 1
        save_stats()
        return {'id': rid, 'ok': True,
                'program': {'version': VERSION, 'instance': args.instance, 'pid': os.getpid(),
                            'startup_done': True, 'closing': False},
                'recorders': [view(r) for r in recorders.values()]}
    if what == 'subscribe':
        client.subscribed = True
        client.levels = bool(req.get('levels', False))
        if client.levels:
            STATS['level_subscriptions'] += 1
            save_stats()
        return {'id': rid, 'ok': True}
    if what == 'unsubscribe':
        client.subscribed = False
        return {'id': rid, 'ok': True}
    if what in ('start', 'pause', 'continue', 'stop'):
        n = req.get('recorder')
        if not isinstance(n, int) or not 1 <= n <= 8:
            return {'id': rid, 'ok': False, 'error': 'bad-argument', 'message': 'Numéro d\'enregistreur invalide'}
        STATS['commands'].append({'request': what, 'recorder': n, 'user': req.get('user')})
        save_stats()
        r = recorders.get(n)
        if r is None:
            return refuse(rid, 'Rec. %d n\'est pas en service' % n)
        if r['logging']:
            return refuse(rid, 'Rec. %d est l\'enregistreur de pige : il se commande par ses tranches' % n)
        if what == 'start':
            if r['state'] != 'idle':
                return refuse(rid, 'Rec. %d enregistre déjà' % n)
            begin(r, req.get('name'))
            broadcast({'event': 'file-started', 'recorder': n, 'path': r['file']})
        elif what == 'pause':
            if r['state'] != 'recording':
                return refuse(rid, 'Rec. %d : rien à mettre en pause' % n)
            set_state(r, 'paused')
            r['writing'] = False
        elif what == 'continue':
            if r['state'] != 'paused':
                return refuse(rid, 'Rec. %d n\'est pas en pause' % n)
            set_state(r, 'recording')
            r['writing'] = True
        else:
            if r['state'] == 'idle':
                return refuse(rid, 'Rec. %d n\'enregistre pas' % n)
            r['bytes_written'] += int((time.time() - r['started']) * 24000)
            set_state(r, 'idle')
            r['writing'] = False
            r['wanted'] = False
            r['started'] = None
            broadcast({'event': 'file-finished', 'recorder': n, 'path': r.get('file'), 'ok': True})
        broadcast({'event': 'state', 'recorder': n, 'state': r['state'], 'state_text': r['state_text'],
                   'wanted': r['wanted']})
        return {'id': rid, 'ok': True, 'recorder': view(r)}
    if what == 'incidents':
        last = req.get('last', 50)
        return {'id': rid, 'ok': True, 'incidents': incidents[-last:]}
    if what == 'acknowledge':
        for i in incidents:
            if req.get('all') or i['seq'] == req.get('seq'):
                i['acknowledged'] = True
        trace.append('%s : : : :Incident acknowledged by %s' % (time.strftime('%H:%M:%S:000'), req.get('user')))
        return {'id': rid, 'ok': True}
    if what == 'trace':
        return {'id': rid, 'ok': True, 'lines': trace[-req.get('last', 200):]}
    return {'id': rid, 'ok': False, 'error': 'unknown-request', 'message': 'Requête inconnue'}


async def serve(reader, writer):
    client = Client(writer)
    clients.add(client)
    STATS['clients'] += 1
    client.send({'protocol': 1, 'program': 'quillon-recorder', 'version': VERSION, 'instance': args.instance,
                 'pid': os.getpid(), 'recorders': 8})
    try:
        while True:
            line = await reader.readline()
            if not line:
                break
            try:
                req = json.loads(line)
                if not isinstance(req, dict):
                    raise ValueError
            except ValueError:
                client.send({'ok': False, 'error': 'invalid-json', 'message': 'JSON invalide'})
                continue
            client.send(handle(client, req))
            await writer.drain()
    except (asyncio.CancelledError, ConnectionError):
        pass  # the stand-in is closing, or the client went
    finally:
        clients.discard(client)
        writer.close()


async def ticker():
    while True:
        await asyncio.sleep(0.1)
        event = None
        for c in clients:
            if c.subscribed and c.levels:
                event = event or levels()
                c.send(event)


async def main():
    if os.path.exists(args.socket):
        os.unlink(args.socket)
    os.makedirs(os.path.dirname(args.socket), exist_ok=True)
    server = await asyncio.start_unix_server(serve, path=args.socket)
    os.chmod(args.socket, 0o660)
    save_stats()
    loop = asyncio.get_running_loop()
    stop = loop.create_future()
    loop.add_signal_handler(signal.SIGTERM, stop.set_result, None)
    loop.add_signal_handler(signal.SIGINT, stop.set_result, None)
    tick = asyncio.create_task(ticker())
    await stop
    tick.cancel()
    server.close()
    os.unlink(args.socket)

asyncio.run(main())

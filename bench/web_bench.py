#!/usr/bin/python3
"""Web console benchmark, against a stand-in recorder that counts what it is
asked (the console's side only): page load to the first status on loopback,
the console's CPU and memory with 0, 1 and 50 event streams side by side in
one run (and how many times the recorder was asked for levels), and with one
real page open in Chromium.

usage: web_bench.py QUILLON_WEB FAKE_RECORDER [SECONDS]"""
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

WEB, FAKE = sys.argv[1], sys.argv[2]
SECONDS = float(sys.argv[3]) if len(sys.argv) > 3 else 20
TICK = os.sysconf('SC_CLK_TCK')


def free_port():
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    p = s.getsockname()[1]
    s.close()
    return p


def cpu_seconds(pid):
    f = open('/proc/%d/stat' % pid).read().rsplit(')', 1)[1].split()
    return (int(f[11]) + int(f[12])) / TICK


def rss_mib(pid):
    for line in open('/proc/%d/status' % pid):
        if line.startswith('VmRSS'):
            return int(line.split()[1]) / 1024
    return 0


def measure(pid, seconds):
    c0, t0 = cpu_seconds(pid), time.time()
    time.sleep(seconds)
    c1, t1 = cpu_seconds(pid), time.time()
    return 100 * (c1 - c0) / (t1 - t0), rss_mib(pid)


tmp = tempfile.mkdtemp(prefix='qw-bench.')
env = dict(os.environ, VELMORA_DRIVE=tmp + '/', XDG_STATE_HOME=tmp + '/state', XDG_RUNTIME_DIR=tmp + '/run', HOME=tmp)
os.makedirs(tmp + '/run', mode=0o700)
port = free_port()
ini = tmp + '/Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder_1.Ini'
os.makedirs(os.path.dirname(ini))
open(ini, 'w').write('[Web]\r\nPort=%d\r\n' % port)
stats_file = tmp + '/stats.json'
fake = subprocess.Popen([sys.executable, FAKE, '--socket', tmp + '/run/quillon-recorder/1.sock', '--stats', stats_file],
                        env=env)
subprocess.run([WEB, '--instance', '1', '--add-user', 'bench', '--role', 'listen'], input=b'bench-password\n', env=env,
               check=True, capture_output=True)
web = subprocess.Popen([WEB, '--instance', '1'], env=env, stderr=subprocess.DEVNULL)
base = 'http://127.0.0.1:%d' % port
for _ in range(100):
    try:
        urllib.request.urlopen(base + '/login', timeout=1)
        break
    except Exception:
        time.sleep(0.1)
req = urllib.request.Request(base + '/api/login', data=b'{"user":"bench","password":"bench-password"}',
                             headers={'Content-Type': 'application/json'})
cookie = urllib.request.urlopen(req).headers['Set-Cookie'].split(';')[0]
time.sleep(6)  # the link is up, the stand-in's status polled


def stats():
    return json.load(open(stats_file))


def streams(n, seconds, counts):
    stop = time.time() + seconds
    socks = []
    for _ in range(n):
        s = socket.create_connection(('127.0.0.1', port))
        s.sendall(('GET /api/events HTTP/1.1\r\nHost: x\r\nCookie: %s\r\n\r\n' % cookie).encode())
        s.settimeout(0.5)
        socks.append(s)

    def reader(i, s):
        while time.time() < stop:
            try:
                d = s.recv(65536)
            except socket.timeout:
                continue
            if not d:
                break
            counts[i] += d.count(b'event: levels')
        s.close()
    threads = [threading.Thread(target=reader, args=(i, s)) for i, s in enumerate(socks)]
    for t in threads:
        t.start()
    return threads


rows = []
for n in (0, 1, 50):
    before = stats()['level_subscriptions']
    counts = [0] * n
    threads = streams(n, SECONDS + 3, counts) if n else []
    time.sleep(2)
    cpu, rss = measure(web.pid, SECONDS)
    for t in threads:
        t.join()
    asked = stats()['level_subscriptions'] - before
    rate = (sum(counts) / n / (SECONDS + 3)) if n else 0
    rows.append((n, cpu, rss, asked, rate))
    time.sleep(1.5)

print('event streams | console CPU % of a core | console RSS MiB | recorder asked for levels | level updates/s per stream')
print('---|---|---|---|---')
for n, cpu, rss, asked, rate in rows:
    print('%d | %.2f | %.1f | %d | %.1f' % (n, cpu, rss, asked, rate))
if rows[1][1] > 0:
    print('CPU ratio, 50 streams against 1 (same run): %.1f' % (rows[2][1] / rows[1][1]))

# A real page in Chromium: load to first status, then the console's CPU with the page open.
try:
    sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'tests', 'system', 'helpers'))
    from web_driver import browser
    d = browser()
    d.get(base + '/login')
    d.add_cookie({'name': cookie.split('=')[0], 'value': cookie.split('=')[1], 'path': '/'})
    loads = []
    for _ in range(10):
        d.get(base + '/')
        for _ in range(100):
            v = d.execute_script('return window.qwFirstStatusMs')
            if v is not None:
                break
            time.sleep(0.02)
        loads.append(v)
    print('page load to first status (performance.now() at the first status, 10 loads): median %.0f ms, max %.0f ms'
          % (statistics.median(loads), max(loads)))
    time.sleep(2)
    cpu, rss = measure(web.pid, SECONDS)
    print('one page open in Chromium: console CPU %.2f %% of a core, RSS %.1f MiB (goal < 0.5 %% with the recorder)'
          % (cpu, rss))
    d.quit()
except ImportError as e:
    print('browser part skipped: %s' % e)

web.terminate()
fake.terminate()
web.wait()
fake.wait()
shutil.rmtree(tmp, ignore_errors=True)

#!/usr/bin/python3
"""The status page in a real browser against the web console and a recorder:
log in as an operator, start a recorder, see its state, elapsed time and a
meter that moves, stop it and see the panel change; as a listener, no active
button and a forged command refused; log out. Screenshots at desktop and
phone sizes into SHOT_DIR when given.

A logging recorder (LOGGING, 0: none) is asked to stop: the program
refuses, and its message is shown.

usage: web_browser.py BASE_URL RECORDER OPERATE_USER:PASS LISTEN_USER:PASS [SHOT_DIR [LOGGING]]"""
import json
import sys
import time

from selenium.webdriver.common.by import By

from web_driver import browser, card, check, fail, finish, login, logout, ok, wait

base, recorder = sys.argv[1].rstrip('/'), int(sys.argv[2])
operate, listen = sys.argv[3].split(':', 1), sys.argv[4].split(':', 1)
shots = sys.argv[5] if len(sys.argv) > 5 else ''
logging = int(sys.argv[6]) if len(sys.argv) > 6 else 0

d = browser()
login(d, base, *operate)
check(d.execute_script('return document.documentElement.lang') == 'fr', 'page in French for a French browser')
c = wait(d, lambda: card(d, recorder), 10, 'panel of Rec. %d shown' % recorder)
if c is None:
    finish(d)
title = c.find_element(By.CLASS_NAME, 'card-title').text
check(title.startswith('Rec. %d' % recorder), 'panel titled "%s"' % title)
bar = c.find_element(By.CLASS_NAME, 'meter-bar') if c.find_elements(By.CLASS_NAME, 'meter-bar') else None
width_before = d.execute_script('return arguments[0] ? arguments[0].style.width : "0%"', bar)
state0 = c.get_attribute('data-state')
lamp = c.find_element(By.CLASS_NAME, 'rec-lamp')
if state0 != 'recording':
    check('lit' not in lamp.get_attribute('class'), 'REC lamp dark while %s' % state0)
    rec = c.find_element(By.CLASS_NAME, 'btn-rec')
    check(rec.is_enabled(), 'REC button active for an operator')
    rec.click()
wait(d, lambda: card(d, recorder).get_attribute('data-state') == 'recording', 20, 'Rec. %d recording' % recorder)
wait(d, lambda: 'lit' in card(d, recorder).find_element(By.CLASS_NAME, 'rec-lamp').get_attribute('class'), 20,
     'REC lamp lit while the file is written')
c = card(d, recorder)
state_text = c.find_element(By.CLASS_NAME, 'state').text
check(state_text != '' and 'state-recording' in c.find_element(By.CLASS_NAME, 'state').get_attribute('class'),
      'state in words ("%s") and in the recording colour' % state_text)
wait(d, lambda: card(d, recorder).find_element(By.CLASS_NAME, 'f-file').text not in ('', '—'), 10, 'file name shown')
t1 = c.find_element(By.CLASS_NAME, 'elapsed').text
time.sleep(2.5)
t2 = card(d, recorder).find_element(By.CLASS_NAME, 'elapsed').text
check(t1 != t2 and t2 > t1, 'elapsed time runs: %s then %s' % (t1, t2))
# The meter: live levels from the recorder, a bar that has moved off its start.
wait(d, lambda: card(d, recorder).find_elements(By.CLASS_NAME, 'meter-bar'), 10, 'a meter is shown')
n0 = d.execute_script('return window.qwLevelEvents || 0')
time.sleep(1.5)
n1 = d.execute_script('return window.qwLevelEvents || 0')
check(n1 - n0 >= 3, 'level updates arrive (%d in 1.5 s)' % (n1 - n0))
check(n1 - n0 <= 17, 'at most ten updates a second (%d in 1.5 s)' % (n1 - n0))
width = d.execute_script("return arguments[0].style.width", card(d, recorder).find_element(By.CLASS_NAME, 'meter-bar'))
db = card(d, recorder).find_element(By.CLASS_NAME, 'meter').get_attribute('data-db')
check(width not in ('', '0%', '0.0%') and width != width_before,
      'the meter moved: %s -> %s (%s dBFS)' % (width_before, width, db))
check(db != '' and -60 < float(db) <= 0.5, 'level in dBFS within the scale: %s' % db)

if shots:
    time.sleep(1)
    d.save_screenshot(shots + '/web-status-desktop.png')
    d.set_window_size(390, 844)
    time.sleep(1)
    d.save_screenshot(shots + '/web-status-phone.png')
    d.set_window_size(1280, 900)
    ok('screenshots written to ' + shots)

if logging:
    lc = wait(d, lambda: card(d, logging) if card(d, logging).get_attribute('data-state') == 'recording' else None, 30,
              'the logging recorder Rec. %d records by itself' % logging)
    if lc is not None:
        lc.find_element(By.CLASS_NAME, 'btn-stop').click()
        card(d, logging).find_element(By.CLASS_NAME, 'btn-stop').click()
        notice = wait(d, lambda: d.find_element(By.ID, 'notice').text if d.find_element(By.ID, 'notice').is_displayed() else '',
                      15, 'a refusal of the program is shown')
        check(notice is not None and 'pige' in notice.lower(), 'the program\'s own message: "%s"' % notice)
        time.sleep(1)
        check(card(d, logging).get_attribute('data-state') == 'recording', 'and the logging recorder records on')

stop = card(d, recorder).find_element(By.CLASS_NAME, 'btn-stop')
stop.click()
check(card(d, recorder).get_attribute('data-state') == 'recording', 'one press of STOP only asks to confirm')
card(d, recorder).find_element(By.CLASS_NAME, 'btn-stop').click()
wait(d, lambda: card(d, recorder).get_attribute('data-state') in ('idle', 'stopping'), 15, 'STOP: the panel leaves recording')
wait(d, lambda: 'lit' not in card(d, recorder).find_element(By.CLASS_NAME, 'rec-lamp').get_attribute('class'), 15,
     'REC lamp dark after STOP')
wait(d, lambda: card(d, recorder).get_attribute('data-state') == 'idle', 20, 'the panel says stopped')
logout(d, base)

login(d, base, *listen)
c = wait(d, lambda: card(d, recorder), 10, 'listener sees Rec. %d' % recorder)
active = d.execute_script("return document.querySelectorAll('#recorders button:not([disabled])').length")
check(active == 0, 'a listener has no active button (%d)' % active)
res = d.execute_async_script("""
  const done = arguments[arguments.length - 1];
  fetch('/api/session').then(r => r.json()).then(s => fetch('/api/recorders/%d/start', {
      method: 'POST', headers: {'Content-Type': 'application/json', 'X-CSRF-Token': s.csrf}, body: '{}'}))
    .then(r => r.text().then(t => done({status: r.status, body: t}))).catch(e => done({status: -1, body: String(e)}));
""" % recorder)
check(res['status'] == 403, 'a forged start by a listener: %s %s' % (res['status'], res['body']))
time.sleep(1.5)
check(card(d, recorder).get_attribute('data-state') == 'idle', 'and the recorder did not start')
logout(d, base)
finish(d)

#!/usr/bin/python3
"""The banner: the stand-in recorder frozen, thawed, killed, started again.
usage: web_banner.py BASE_URL USER:PASS PID_FILE START_COMMAND"""
import os
import shlex
import signal
import subprocess
import sys
import time

from selenium.webdriver.common.by import By

from web_driver import browser, check, finish, login, wait

base, (user, password), pid_file, start = sys.argv[1].rstrip('/'), sys.argv[2].split(':', 1), sys.argv[3], sys.argv[4]
pid = int(open(pid_file).read())


def banner():
    b = d.find_element(By.ID, 'banner')
    return '' if not b.is_displayed() else b.text


d = browser()
login(d, base, user, password)
wait(d, lambda: len(d.find_elements(By.CSS_SELECTOR, '#recorders .card')) == 3, 10, 'three panels, no banner')
check(banner() == '', 'no banner while the recorder answers')

os.kill(pid, signal.SIGSTOP)
wait(d, lambda: 'ne répond pas' in banner(), 15, 'banner: the recorder program does not answer')
os.kill(pid, signal.SIGCONT)
wait(d, lambda: banner() == '', 15, 'the banner goes when it answers again')

os.kill(pid, signal.SIGTERM)
wait(d, lambda: 'ne fonctionne pas' in banner(), 15, 'banner: the recorder program is not running')
check(d.find_element(By.TAG_NAME, 'body').get_attribute('data-link') == 'not-running', 'page knows the link is down')

proc = subprocess.Popen(shlex.split(start), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
open(pid_file, 'w').write(str(proc.pid))
wait(d, lambda: banner() == '' and len(d.find_elements(By.CSS_SELECTOR, '#recorders .card')) == 3, 20,
     'back by itself: banner gone, panels again')
t1 = d.find_element(By.CSS_SELECTOR, '#rec-1 .elapsed').text
time.sleep(2)
check(d.find_element(By.CSS_SELECTOR, '#rec-1 .elapsed').text != t1, 'and live again')
finish(d)

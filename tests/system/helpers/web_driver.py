"""Chromium, headless, driven by Selenium, for the web console's tests."""
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

FAILURES = []


def ok(text):
    print('ok: ' + text, flush=True)


def fail(text):
    print('FAIL: ' + text, flush=True)
    FAILURES.append(text)


def check(cond, text):
    (ok if cond else fail)(text)
    return cond


def browser(lang='fr-FR,fr', width=1280, height=900):
    o = webdriver.ChromeOptions()
    o.binary_location = '/usr/bin/chromium'
    for a in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
              '--disable-background-networking', '--disable-component-update', '--disable-sync',
              '--disable-dev-shm-usage', '--window-size=%d,%d' % (width, height)):
        o.add_argument(a)
    o.add_experimental_option('prefs', {'intl.accept_languages': lang})
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=o)


def wait(driver, pred, seconds, what):
    """Waits (bounded) until pred() is true; a failed check when it is not."""
    end = time.time() + seconds
    last = None
    while time.time() < end:
        try:
            last = pred()
            if last:
                ok(what)
                return last
        except Exception as e:  # the page may be changing under us
            last = e
        time.sleep(0.1)
    fail('%s (within %d s; last: %r)' % (what, seconds, last))
    return None


def login(driver, base, user, password):
    driver.get(base + '/')
    wait(driver, lambda: driver.current_url.endswith('/login'), 10, 'the page without session leads to the login page')
    driver.find_element(By.ID, 'user').send_keys(user)
    driver.find_element(By.ID, 'password').send_keys(password)
    driver.find_element(By.ID, 'login-button').click()
    return wait(driver, lambda: driver.current_url.rstrip('/') == base and
                driver.execute_script('return window.qwFirstStatusMs !== undefined'), 15,
                'logged in as %s, status shown' % user)


def logout(driver, base):
    driver.find_element(By.ID, 'logout').click()
    wait(driver, lambda: driver.current_url.endswith('/login'), 10, 'logged out: back at the login page')
    driver.get(base + '/')
    wait(driver, lambda: driver.current_url.endswith('/login'), 10, 'and the status page is closed to the browser')


def card(driver, n):
    return driver.find_element(By.ID, 'rec-%d' % n)


def finish(driver):
    try:
        logs = driver.get_log('browser')
        # Refusals that a test asks for on purpose (401, 403) are not faults.
        errors = [l for l in logs if l.get('level') == 'SEVERE' and
                  not any(code in l.get('message', '') for code in ('status of 401', 'status of 403', 'status of 409'))]
        check(not errors, 'no error in the page\'s console %s' % (errors[:3] if errors else ''))
    except Exception:
        pass
    driver.quit()
    sys.exit(1 if FAILURES else 0)

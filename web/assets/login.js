// The login form: JSON to /api/login, then the status page.
'use strict';
document.addEventListener('DOMContentLoaded', () => {
  const form = document.getElementById('login-form');
  const error = document.getElementById('login-error');
  const button = document.getElementById('login-button');
  document.getElementById('user').focus();
  form.addEventListener('submit', async (ev) => {
    ev.preventDefault();
    error.hidden = true;
    button.disabled = true;
    try {
      const res = await fetch('/api/login', {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        credentials: 'same-origin',
        body: JSON.stringify({ user: form.user.value.trim(), password: form.password.value }),
      });
      if (res.ok) {
        window.location.replace('/');
        return;
      }
      const body = await res.json().catch(() => ({}));
      if (res.status === 401) error.textContent = t('badCredentials');
      else if (res.status === 429) error.textContent = t('throttled', body.retry_after || '?');
      else if (res.status === 503) error.textContent = t('busy');
      else error.textContent = t('loginFailed', res.status);
    } catch (e) {
      error.textContent = t('webUnreachable');
    }
    error.hidden = false;
    button.disabled = false;
    form.password.select();
  });
});

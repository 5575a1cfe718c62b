// Texts of the console: French first, English when the browser prefers it
// (the server writes the chosen language into <html lang>).
'use strict';
const QW_TEXTS = {
  fr: {
    consoleTitle: 'Console web', user: 'Identifiant', password: 'Mot de passe', login: 'Se connecter',
    badCredentials: 'Identifiant ou mot de passe incorrect.',
    throttled: 'Trop d\'essais : réessayez dans {0} s.', busy: 'Serveur occupé, réessayez.',
    loginFailed: 'Connexion impossible ({0}).', logout: 'Déconnexion',
    noRecorder: 'Aucun enregistreur en service.',
    incidents: 'Incidents', ackAll: 'Tout acquitter', ack: 'Acquitter', acknowledged: 'acquitté',
    time: 'Heure', recorderShort: 'Rec.', incident: 'Incident', traceToday: 'Journal du jour', refresh: 'Actualiser',
    noIncident: 'Aucun incident.',
    file: 'Fichier', size: 'Taille', format: 'Format', device: 'Entrée', absent: 'absente', freeSpace: 'Espace libre',
    timeLeft: 'reste', silence: 'Silence', silenceFor: 'Silence depuis {0}', lastIncident: 'Dernier incident',
    none: '—', logging: 'pige',
    rec: 'REC', pause: 'PAUSE', stop: 'STOP', confirmStop: 'Confirmer ?',
    linkConnecting: 'Connexion au programme d\'enregistrement…',
    linkNotRunning: 'Le programme d\'enregistrement ne fonctionne pas : aucun enregistreur n\'est visible.',
    linkNotAnswering: 'Le programme d\'enregistrement ne répond pas.',
    linkNoAccess: 'La console n\'a pas accès au programme d\'enregistrement (droits de son socket de contrôle).',
    linkIncompatible: 'Le programme d\'enregistrement parle une autre version du protocole.',
    webUnreachable: 'La console web ne répond pas ; nouvelle tentative…',
    startup: 'Le programme d\'enregistrement démarre.', closing: 'Le programme d\'enregistrement se ferme.',
    commandFailed: 'Commande refusée : {0}', sessionEnded: 'Session terminée.',
    state: { 'idle': 'Arrêté', 'waiting': 'En attente', 'recording': 'Enregistrement', 'paused': 'Pause',
      'stopping': 'Arrêt en cours', 'failed': 'Échec', 'out-of-service': 'Hors service' },
    units: ['o', 'Ko', 'Mo', 'Go', 'To'], days: 'j',
  },
  en: {
    consoleTitle: 'Web console', user: 'User name', password: 'Password', login: 'Log in',
    badCredentials: 'Wrong user name or password.',
    throttled: 'Too many attempts: try again in {0} s.', busy: 'Server busy, try again.',
    loginFailed: 'Cannot log in ({0}).', logout: 'Log out',
    noRecorder: 'No recorder in service.',
    incidents: 'Incidents', ackAll: 'Acknowledge all', ack: 'Acknowledge', acknowledged: 'acknowledged',
    time: 'Time', recorderShort: 'Rec.', incident: 'Incident', traceToday: 'Today\'s trace', refresh: 'Refresh',
    noIncident: 'No incident.',
    file: 'File', size: 'Size', format: 'Format', device: 'Input', absent: 'absent', freeSpace: 'Free space',
    timeLeft: 'left', silence: 'Silence', silenceFor: 'Silence for {0}', lastIncident: 'Last incident',
    none: '—', logging: 'logging',
    rec: 'REC', pause: 'PAUSE', stop: 'STOP', confirmStop: 'Confirm?',
    linkConnecting: 'Connecting to the recorder program…',
    linkNotRunning: 'The recorder program is not running: no recorder can be seen.',
    linkNotAnswering: 'The recorder program is not answering.',
    linkNoAccess: 'The console has no access to the recorder program (permissions of its control socket).',
    linkIncompatible: 'The recorder program speaks another version of the protocol.',
    webUnreachable: 'The web console is not answering; trying again…',
    startup: 'The recorder program is starting.', closing: 'The recorder program is closing.',
    commandFailed: 'Command refused: {0}', sessionEnded: 'Session ended.',
    state: { 'idle': 'Stopped', 'waiting': 'Waiting', 'recording': 'Recording', 'paused': 'Paused',
      'stopping': 'Stopping', 'failed': 'Failed', 'out-of-service': 'Out of service' },
    units: ['B', 'KB', 'MB', 'GB', 'TB'], days: 'd',
  },
};

const QW_LANG = (document.documentElement.lang === 'en') ? 'en' : 'fr';
const QW_T = QW_TEXTS[QW_LANG];

function t(key, ...args) {
  let text = QW_T[key];
  if (text === undefined) return key;
  args.forEach((a, i) => { text = text.replace('{' + i + '}', a); });
  return text;
}

function applyTexts(root) {
  (root || document).querySelectorAll('[data-t]').forEach((el) => { el.textContent = t(el.dataset.t); });
}

document.addEventListener('DOMContentLoaded', () => applyTexts());

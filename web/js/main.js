// The page's entry: draws the console's state as it is pushed over the event stream and
// sends back commands and answers.
import { fetchState, sendAnswer, sendCommand, subscribe } from './api.js';
import { initMenuBar, renderMenuBar } from './menubar.js';
import { initModal, renderModal } from './modal.js';
import { renderStatusBar } from './statusbar.js';

const notice = document.getElementById('notice');
let latestVersion = -1;

function showNotice(text) {
  notice.textContent = text;
  notice.hidden = !text;
}

function render(state) {
  // A state older than the one drawn (the initial fetch racing the stream) is skipped.
  if (typeof state.version === 'number' && state.version < latestVersion) return;
  latestVersion = state.version;
  document.title = state.title;
  renderMenuBar(state.menus);
  renderStatusBar(document.getElementById('statusbar'), state.status);
  renderModal(state.modal);
  document.body.dataset.version = String(state.version);
  showNotice('');
}

// The token has become a cookie: take it out of the address bar and history, keeping the
// control's own parameters.
function forgetTokenInAddress() {
  const url = new URL(window.location.href);
  if (url.searchParams.has('token')) {
    url.searchParams.delete('token');
    window.history.replaceState(null, '', url.pathname + url.search + url.hash);
  }
}

async function start() {
  initMenuBar(document.getElementById('menubar'), async (id) => {
    const result = await sendCommand(id);
    if (!result.ok) showNotice((result.data && result.data.error) || `Command ${id} failed.`);
  });
  initModal(document.getElementById('modal-layer'), sendAnswer);
  forgetTokenInAddress();
  try {
    render(await fetchState());
  } catch (error) {
    if (error.status === 401) {
      showNotice('Not authorised. Open the address that tarn-console printed, token included.');
      return;
    }
    showNotice('The console does not answer.');
  }
  subscribe(render, (readyState) => {
    if (readyState !== EventSource.OPEN) showNotice('Connection to the console lost; retrying.');
  });
}

start();

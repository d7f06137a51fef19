// The page's entry: draws the console's state as it is pushed over the event stream and
// sends back commands and answers.
import { fetchState, sendAnswer, sendCommand, sendSelect, subscribe } from './api.js';
import { contextMenuKind, initContextMenu, openContextMenu, renderContextMenus } from './contextmenu.js';
import { initMenuBar, renderMenuBar } from './menubar.js';
import { initModal, renderModal } from './modal.js';
import { renderStatusBar } from './statusbar.js';
import { initTree, renderTree } from './tree.js';
import { initView, renderView } from './view.js';

const notice = document.getElementById('notice');
let latestVersion = -1;
let windowSeq = null;

// The console asks for a named window (the manual): open it once, raise it when it is open.
function openRequestedWindow(request) {
  if (!request) return;
  if (windowSeq === null) {
    windowSeq = request.seq; // requests made before this page opened are not replayed
    return;
  }
  if (request.seq === windowSeq) return;
  windowSeq = request.seq;
  const existing = window.open('', request.name);
  if (!existing) return;
  let blank = true;
  try {
    blank = existing.location.href === 'about:blank';
  } catch {
    blank = false;
  }
  if (blank) existing.location.href = request.url;
  existing.focus();
}

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
  renderTree(state.tree);
  document.getElementById('tree').hidden = !navigationShown(state.menus);
  renderContextMenus(state.contextMenus);
  openRequestedWindow(state.window);
  showNotice('');
  renderView(state.view, state.version);
  document.body.dataset.version = String(state.version);
}

function navigationShown(menus) {
  for (const menu of menus || []) {
    for (const item of menu.items) if (item.id === 32780) return item.checked;
  }
  return true;
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

async function runCommand(id) {
  const result = await sendCommand(id);
  if (!result.ok) showNotice((result.data && result.data.error) || `Command ${id} failed.`);
}

async function start() {
  initMenuBar(document.getElementById('menubar'), runCommand);
  initModal(document.getElementById('modal-layer'), sendAnswer);
  const select = async (value) => {
    const result = await sendSelect(value);
    if (!result.ok) showNotice((result.data && result.data.error) || 'The node cannot be selected.');
    return result.ok;
  };
  initContextMenu(runCommand);
  initTree(document.getElementById('tree'), select, async (node, x, y) => {
    const kind = contextMenuKind(node.value);
    if (!kind) return;
    if (await select(node.value)) openContextMenu(kind, x, y);
  });
  initView(document.getElementById('content'), showNotice);
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

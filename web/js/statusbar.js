// The status bar: the message pane, then the indicator panes in id order (101: server and
// connection state, 102: connection time).
export function renderStatusBar(element, status) {
  element.hidden = status.visible === false;
  element.replaceChildren();
  const message = document.createElement('span');
  message.className = 'pane message';
  message.dataset.pane = 'message';
  message.textContent = status.message || '';
  element.append(message);
  const ids = Object.keys(status).filter((k) => /^\d+$/.test(k)).sort((a, b) => a - b);
  for (const id of ids) {
    const pane = document.createElement('span');
    pane.className = 'pane indicator';
    pane.dataset.pane = id;
    pane.textContent = status[id];
    element.append(pane);
  }
}

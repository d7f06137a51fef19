// The tree's context menu: a right click on a server node selects it, then shows the menu
// of its type ("IPMI Server" or "ASF Server") at the pointer, with the items the console
// gives for it. Choosing an enabled item sends its command; Escape, a click elsewhere or a
// scroll closes the menu.
import { plainText } from './mnemonic.js';

let menus = {};
let open = null; // { kind, x, y }
let box = null;
let onChoose = null;

function close() {
  open = null;
  if (box) {
    box.remove();
    box = null;
  }
}

function draw() {
  if (box) box.remove();
  box = document.createElement('div');
  box.className = 'context-menu';
  box.setAttribute('role', 'menu');
  box.setAttribute('aria-label', open.kind);
  box.dataset.kind = open.kind;
  for (const item of menus[open.kind] || []) {
    if (item.id === 0) {
      const separator = document.createElement('div');
      separator.className = 'separator';
      separator.setAttribute('role', 'separator');
      box.append(separator);
      continue;
    }
    const entry = document.createElement('div');
    entry.className = 'context-item' + (item.enabled ? '' : ' disabled');
    entry.setAttribute('role', 'menuitem');
    entry.setAttribute('aria-disabled', String(!item.enabled));
    entry.dataset.command = String(item.id);
    entry.textContent = plainText(item.text);
    entry.addEventListener('click', (event) => {
      event.stopPropagation();
      if (!item.enabled) return;
      close();
      onChoose(item.id);
    });
    box.append(entry);
  }
  box.addEventListener('contextmenu', (event) => event.preventDefault());
  document.body.append(box);
  // Keep the menu inside the window, as a native menu opens up or left near an edge.
  const { innerWidth, innerHeight } = window;
  const rect = box.getBoundingClientRect();
  const left = open.x + rect.width > innerWidth ? Math.max(0, open.x - rect.width) : open.x;
  const top = open.y + rect.height > innerHeight ? Math.max(0, open.y - rect.height) : open.y;
  box.style.left = `${left}px`;
  box.style.top = `${top}px`;
}

export function initContextMenu(choose) {
  onChoose = choose;
  document.addEventListener('click', (event) => {
    if (box && !box.contains(event.target)) close();
  });
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape' && box) close();
  });
  document.addEventListener('contextmenu', (event) => {
    if (box && !box.contains(event.target)) close();
  }, true);
  window.addEventListener('blur', close);
  document.addEventListener('scroll', close, true);
}

// The menus of the latest state; an open menu follows them (items enabled or disabled).
export function renderContextMenus(contextMenus) {
  menus = contextMenus || {};
  if (open) draw();
}

export function openContextMenu(kind, x, y) {
  open = { kind, x, y };
  draw();
}

export function contextMenuKind(nodeValue) {
  const type = nodeValue & 0xff;
  if (type === 2) return 'IPMI Server';
  if (type === 3) return 'ASF Server';
  return null;
}

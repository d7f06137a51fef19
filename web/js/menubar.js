// The menu bar: one button per menu, a drop-down of its items; disabled items are greyed
// and cannot be chosen, checked items show a tick. Choosing an item sends its command.
import { appendMnemonic } from './mnemonic.js';

let openIndex = -1;
let lastMenus = [];
let container = null;
let onChoose = null;

function close() {
  if (openIndex !== -1) {
    openIndex = -1;
    draw();
  }
}

function draw() {
  container.replaceChildren();
  lastMenus.forEach((menu, index) => {
    const wrapper = document.createElement('div');
    wrapper.className = 'menu';
    const title = document.createElement('button');
    title.type = 'button';
    title.className = 'menu-title';
    title.setAttribute('role', 'menuitem');
    title.setAttribute('aria-haspopup', 'true');
    title.setAttribute('aria-expanded', String(index === openIndex));
    appendMnemonic(title, menu.text);
    title.addEventListener('click', (event) => {
      event.stopPropagation();
      openIndex = openIndex === index ? -1 : index;
      draw();
    });
    title.addEventListener('mouseenter', () => {
      if (openIndex !== -1 && openIndex !== index) {
        openIndex = index;
        draw();
      }
    });
    wrapper.append(title);
    if (index === openIndex) {
      wrapper.append(dropDown(menu));
    }
    container.append(wrapper);
  });
}

function dropDown(menu) {
  const list = document.createElement('ul');
  list.className = 'menu-items';
  list.setAttribute('role', 'menu');
  for (const item of menu.items) {
    const li = document.createElement('li');
    if (item.id === 0) {
      li.className = 'separator';
      li.setAttribute('role', 'separator');
      list.append(li);
      continue;
    }
    li.setAttribute('role', item.checked ? 'menuitemcheckbox' : 'menuitem');
    li.dataset.command = String(item.id);
    li.className = 'menu-item' + (item.enabled ? '' : ' disabled') + (item.checked ? ' checked' : '');
    li.setAttribute('aria-disabled', String(!item.enabled));
    if (item.checked) li.setAttribute('aria-checked', 'true');
    const tick = document.createElement('span');
    tick.className = 'tick';
    tick.textContent = item.checked ? '\u2713' : '';
    const text = document.createElement('span');
    text.className = 'text';
    appendMnemonic(text, item.text);
    li.append(tick, text);
    li.addEventListener('click', (event) => {
      event.stopPropagation();
      if (!item.enabled) return;
      close();
      onChoose(item.id);
    });
    list.append(li);
  }
  return list;
}

export function initMenuBar(element, choose) {
  container = element;
  onChoose = choose;
  document.addEventListener('click', close);
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') close();
  });
}

export function renderMenuBar(menus) {
  lastMenus = menus || [];
  if (openIndex >= lastMenus.length) openIndex = -1;
  draw();
}

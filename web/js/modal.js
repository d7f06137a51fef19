// The open message box or dialog, drawn with its caption, text and buttons exactly as the
// console shows them. Choosing a button sends the answer (with the dialog's values); the
// console closes the modal for every page once the first answer is taken.
import { attachFolderChooser } from './folders.js';
import { appendMnemonic, plainText } from './mnemonic.js';

const ICONS = { error: '\u26D4', warning: '\u26A0', question: '?', information: 'i' };

let layer = null;
let shownId = null;
let onAnswer = null;

function field(control, modalId) {
  const row = document.createElement('div');
  row.className = `control control-${control.kind}`;
  row.dataset.control = String(control.id);
  const inputId = `modal-${modalId}-control-${control.id}`;
  const label = document.createElement('label');
  label.htmlFor = inputId;
  appendMnemonic(label, control.label || '');

  let input;
  switch (control.kind) {
    case 'label': {
      const p = document.createElement('p');
      p.className = 'control-text';
      p.textContent = control.value || plainText(control.label || '');
      row.append(p);
      return row;
    }
    case 'dropdown': {
      input = document.createElement('select');
      for (const option of control.options) {
        const o = document.createElement('option');
        o.value = option;
        o.textContent = option;
        o.selected = option === control.value;
        input.append(o);
      }
      break;
    }
    case 'checkbox': {
      input = document.createElement('input');
      input.type = 'checkbox';
      input.checked = control.value === '1';
      input.id = inputId;
      input.disabled = control.readOnly;
      label.prepend(input);
      row.append(label);
      return row;
    }
    case 'radio': {
      const group = document.createElement('fieldset');
      const legend = document.createElement('legend');
      appendMnemonic(legend, control.label || '');
      group.append(legend);
      for (const option of control.options) {
        const l = document.createElement('label');
        const r = document.createElement('input');
        r.type = 'radio';
        r.name = inputId;
        r.value = option;
        r.checked = option === control.value;
        r.disabled = control.readOnly;
        l.append(r, option);
        group.append(l);
      }
      row.append(group);
      return row;
    }
    case 'folder': {
      input = document.createElement('input');
      input.type = 'text';
      input.value = control.value;
      input.id = inputId;
      input.readOnly = control.readOnly;
      row.append(label, input);
      attachFolderChooser(row, input);
      return row;
    }
    case 'spin': {
      input = document.createElement('input');
      input.type = 'number';
      input.min = String(control.minimum);
      input.max = String(control.maximum);
      input.step = '1';
      input.value = control.value;
      break;
    }
    default: {
      input = document.createElement('input');
      input.type = control.masked ? 'password' : 'text';
      if (control.maxLength > 0) input.maxLength = control.maxLength;
      input.value = control.value;
      input.autocomplete = 'off';
    }
  }
  input.id = inputId;
  input.readOnly = control.readOnly;
  if (control.readOnly && input.tagName === 'SELECT') input.disabled = true;
  row.append(label, input);
  return row;
}

function valuesOf(box, modal) {
  const values = {};
  for (const control of modal.controls) {
    if (control.kind === 'label' || control.readOnly) continue;
    const row = box.querySelector(`[data-control="${control.id}"]`);
    if (!row) continue;
    if (control.kind === 'checkbox') {
      values[control.id] = row.querySelector('input').checked ? '1' : '0';
    } else if (control.kind === 'radio') {
      const chosen = row.querySelector('input:checked');
      values[control.id] = chosen ? chosen.value : control.value;
    } else {
      values[control.id] = row.querySelector('input, select').value;
    }
  }
  return values;
}

function draw(modal) {
  const box = document.createElement('div');
  box.className = `modal modal-${modal.kind}`;
  box.setAttribute('role', modal.kind === 'dialog' ? 'dialog' : 'alertdialog');
  box.setAttribute('aria-modal', 'true');
  box.dataset.modalId = String(modal.id);

  const title = document.createElement('div');
  title.className = 'modal-caption';
  title.textContent = modal.caption;
  box.append(title);

  const body = document.createElement('div');
  body.className = 'modal-body';
  if (modal.icon) {
    const icon = document.createElement('span');
    icon.className = `modal-icon icon-${modal.icon}`;
    icon.textContent = ICONS[modal.icon] || '';
    icon.setAttribute('aria-label', modal.icon);
    body.append(icon);
  }
  const content = document.createElement('div');
  content.className = 'modal-content';
  if (modal.text) {
    const text = document.createElement('p');
    text.className = 'modal-text';
    text.textContent = modal.text;
    content.append(text);
  }
  for (const control of modal.controls) content.append(field(control, modal.id));
  const problem = document.createElement('p');
  problem.className = 'modal-problem';
  problem.hidden = true;
  content.append(problem);
  body.append(content);
  box.append(body);

  const buttons = document.createElement('div');
  buttons.className = 'modal-buttons';
  for (const text of modal.buttons) {
    const button = document.createElement('button');
    button.type = 'button';
    appendMnemonic(button, text);
    button.dataset.button = text;
    button.addEventListener('click', async () => {
      const values = modal.kind === 'dialog' ? valuesOf(box, modal) : {};
      const result = await onAnswer(modal.id, text, values);
      if (!result.ok && result.status === 400) {
        problem.textContent = (result.data && result.data.error) || 'The answer was refused.';
        problem.hidden = false;
      }
    });
    buttons.append(button);
  }
  box.append(buttons);
  return box;
}

export function initModal(element, answer) {
  layer = element;
  onAnswer = answer;
}

export function renderModal(modal) {
  if (!modal) {
    shownId = null;
    layer.replaceChildren();
    layer.hidden = true;
    return;
  }
  // The same modal stays as drawn, so that what the operator typed is kept.
  if (modal.id === shownId) return;
  shownId = modal.id;
  const box = draw(modal);
  layer.replaceChildren(box);
  layer.hidden = false;
  const first = box.querySelector('input, select, .modal-buttons button');
  if (first) first.focus();
}

// The navigation tree on the left: "All Servers" and the servers with their sections, as the
// console's tree model holds them. A click selects the node as a click in the tree would; a
// right click on a node goes to onContext (the browser's own menu is not shown there).
let host = null;
let onSelect = null;
let onContext = null;
let last = null;
// Expansion the operator changed in this page, by node value; the rest follows the console.
const toggled = new Map();

function isExpanded(node) {
  return toggled.has(node.value) ? toggled.get(node.value) : node.expanded;
}

function item(node) {
  const li = document.createElement('li');
  li.setAttribute('role', 'treeitem');
  li.dataset.value = String(node.value);
  const expanded = isExpanded(node);
  if (node.children.length) li.setAttribute('aria-expanded', expanded ? 'true' : 'false');
  li.setAttribute('aria-selected', node.selected ? 'true' : 'false');
  li.addEventListener('contextmenu', (event) => {
    event.preventDefault();
    event.stopPropagation();
    if (onContext) onContext(node, event.clientX, event.clientY);
  });
  const twisty = document.createElement('span');
  twisty.className = 'twisty';
  twisty.textContent = node.children.length ? (expanded ? '\u25BE' : '\u25B8') : '';
  if (node.children.length) {
    twisty.addEventListener('click', (event) => {
      event.stopPropagation();
      toggled.set(node.value, !expanded);
      renderTree(last);
    });
  }
  li.append(twisty);
  const label = document.createElement('span');
  label.className = `node icon-${node.icon}${node.selected ? ' selected' : ''}`;
  if (node.icon) {
    const picture = document.createElement('img');
    picture.className = 'node-icon';
    picture.src = `/img/${node.icon}.svg`;
    picture.alt = '';
    picture.width = 19;
    picture.height = 19;
    label.append(picture);
  }
  label.append(node.text);
  label.addEventListener('click', (event) => {
    event.stopPropagation();
    onSelect(node.value);
  });
  li.append(label);
  if (node.children.length && expanded) {
    const group = document.createElement('ul');
    group.setAttribute('role', 'group');
    for (const child of node.children) group.append(item(child));
    li.append(group);
  }
  return li;
}

export function initTree(element, select, context) {
  host = element;
  onSelect = select;
  onContext = context || null;
}

export function renderTree(tree) {
  if (!host || !tree) return;
  last = tree;
  const root = document.createElement('ul');
  root.setAttribute('role', 'tree');
  root.setAttribute('aria-label', 'Servers');
  root.append(item(tree));
  host.replaceChildren(root);
}

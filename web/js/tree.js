// The navigation tree on the left: "All Servers" and the servers with their sections, as the
// console's tree model holds them. A click selects the node as a click in the tree would.
let host = null;
let onSelect = null;

function item(node) {
  const li = document.createElement('li');
  li.setAttribute('role', 'treeitem');
  li.dataset.value = String(node.value);
  if (node.children.length) li.setAttribute('aria-expanded', node.expanded ? 'true' : 'false');
  li.setAttribute('aria-selected', node.selected ? 'true' : 'false');
  const label = document.createElement('span');
  label.className = `node icon-${node.icon}${node.selected ? ' selected' : ''}`;
  label.textContent = node.text;
  label.addEventListener('click', (event) => {
    event.stopPropagation();
    onSelect(node.value);
  });
  li.append(label);
  if (node.children.length && node.expanded) {
    const group = document.createElement('ul');
    group.setAttribute('role', 'group');
    for (const child of node.children) group.append(item(child));
    li.append(group);
  }
  return li;
}

export function initTree(element, select) {
  host = element;
  onSelect = select;
}

export function renderTree(tree) {
  if (!host || !tree) return;
  const root = document.createElement('ul');
  root.setAttribute('role', 'tree');
  root.setAttribute('aria-label', 'Servers');
  root.append(item(tree));
  host.replaceChildren(root);
}

// The folder chooser of the "Select a folder" dialog: browses the console machine's folders
// through /api/folders and leaves the chosen path in the control's text field.
async function list(path) {
  const response = await fetch(`/api/folders?path=${encodeURIComponent(path)}`, {
    credentials: 'same-origin',
  });
  const data = await response.json().catch(() => null);
  return { ok: response.ok, data };
}

export function attachFolderChooser(row, input) {
  const listing = document.createElement('ul');
  listing.className = 'folder-list';
  const problem = document.createElement('p');
  problem.className = 'folder-problem';
  problem.hidden = true;
  row.append(listing, problem);

  async function show(path) {
    const result = await list(path);
    if (!result.ok) {
      problem.textContent = (result.data && result.data.error) || 'The folder cannot be read.';
      problem.hidden = false;
      return;
    }
    problem.hidden = true;
    input.value = result.data.path;
    const entries = [];
    if (result.data.path !== '/') entries.push({ text: '..', path: result.data.parent || '/' });
    for (const name of result.data.folders) {
      entries.push({ text: name, path: result.data.path === '/' ? `/${name}` : `${result.data.path}/${name}` });
    }
    listing.replaceChildren(
      ...entries.map((entry) => {
        const li = document.createElement('li');
        const button = document.createElement('button');
        button.type = 'button';
        button.className = 'folder';
        button.textContent = entry.text;
        button.dataset.path = entry.path;
        button.addEventListener('click', () => show(entry.path));
        li.append(button);
        return li;
      }),
    );
  }
  input.addEventListener('change', () => show(input.value));
  show(input.value);
}

// The page's calls to the console. The access token travels in the HttpOnly cookie the
// console set when the page was opened with ?token=, so no script ever sees it.
async function post(path, body) {
  const response = await fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body),
    credentials: 'same-origin',
  });
  let data = null;
  try {
    data = await response.json();
  } catch {
    data = null;
  }
  return { ok: response.ok, status: response.status, data };
}

export function sendCommand(id) {
  return post('/api/command', { id });
}

export function sendSelect(value) {
  return post('/api/select', { value });
}

export function sendAnswer(id, button, values) {
  return post('/api/answer', { id, button, values });
}

// The content view's actions go out one after another, in the order they were made: a
// keystroke's edit must reach the console before the edit-end that follows it.
let viewQueue = Promise.resolve();

export function sendView(action, body) {
  const next = viewQueue.then(() => post(`/api/view/${action}`, body));
  viewQueue = next.catch(() => null);
  return next;
}

export async function fetchState() {
  const response = await fetch('/api/state', { credentials: 'same-origin' });
  if (!response.ok) {
    const error = new Error(`state request failed: ${response.status}`);
    error.status = response.status;
    throw error;
  }
  return response.json();
}

// Calls onState with every state the console pushes; EventSource reconnects by itself.
export function subscribe(onState, onTrouble) {
  const source = new EventSource('/api/events');
  source.addEventListener('state', (event) => onState(JSON.parse(event.data)));
  source.addEventListener('error', () => onTrouble(source.readyState));
  return source;
}

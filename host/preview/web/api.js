// The viewer's server: state, edits, frames and events. Every change carries
// the page's token in a header; reads carry the cookie the page was served with.
const token = document.querySelector('meta[name="kivo-token"]').content;

export class ApiError extends Error {
  constructor(message, status) {
    super(message);
    this.status = status;
  }
}

async function answer(response) {
  const data = await response.json().catch(() => ({ error: response.statusText }));
  if (!response.ok) throw new ApiError(data.error || response.statusText, response.status);
  return data;
}

export async function post(path, body = {}) {
  const response = await fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', 'X-Kivo-Token': token },
    body: JSON.stringify(body),
  });
  return answer(response);
}

export async function getState() {
  return answer(await fetch('/api/state'));
}

// This page's id: its frame requests make only its own older ones stale.
const page = Math.random().toString(36).slice(2);

export function frameUrl(frame, view, seq = 0, download = false) {
  const query = new URLSearchParams({ n: frame, view });
  if (seq) {
    query.set('seq', seq);
    query.set('page', page);
  }
  if (download) query.set('download', '1');
  return '/api/frame?' + query;
}

// Fetches a frame as an object URL; null when a newer request made it stale.
export async function fetchFrame(frame, view, seq, signal) {
  const response = await fetch(frameUrl(frame, view, seq), { signal });
  if (response.status === 409) return null;
  if (!response.ok) await answer(response);
  return URL.createObjectURL(await response.blob());
}

export function listen(handlers) {
  const events = new EventSource('/api/events');
  for (const [type, handle] of Object.entries(handlers))
    events.addEventListener(type, (event) => handle(JSON.parse(event.data)));
  return events;
}

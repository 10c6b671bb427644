// The panel's live state from GET /api/stream, read with fetch rather than EventSource so that a
// refusal's status and message reach the page (EventSource only says that it failed). Loaded by
// state-worker.js, which shares one stream among every tab of the browser, and by the page itself
// where the browser has no shared workers.
'use strict';

// A dropped or refused stream is tried again after 1 s, then 2, 4, 8 and 16 s while it fails, so
// that many pages at once do not keep the host busy.
const STREAM_RETRY_FIRST_MS = 1000;
const STREAM_RETRY_MAX_MS = 16000;

// Opens the stream named `id` (the host ends the presses made through it when it closes) and
// keeps it open: `onState(jsonText)` for every state, `onStatus({state, message})` when the
// connection changes: 'live', 'lost' (retrying), 'full' (the host's limit of streams is reached)
// or 'refused' (any other refusal; `message` is the host's).
function openStateStream(id, onState, onStatus) {
  let retryMs = STREAM_RETRY_FIRST_MS;
  const again = () => {
    setTimeout(run, retryMs);
    retryMs = Math.min(retryMs * 2, STREAM_RETRY_MAX_MS);
  };
  const run = async () => {
    try {
      // The header proves the request the panel's own (no page of another origin can send it).
      const response = await fetch(`/api/stream?id=${encodeURIComponent(id)}`,
                                   {cache: 'no-store', headers: {'X-INS-Panel': '1'}});
      if (!response.ok) {
        let message = `${response.status} ${response.statusText}`;
        try { message = (await response.json()).error || message; } catch (e) { /* not JSON */ }
        onStatus({state: response.status === 503 ? 'full' : 'refused', message});
        return again();
      }
      retryMs = STREAM_RETRY_FIRST_MS;
      onStatus({state: 'live', message: ''});
      await readEvents(response.body, onState);
      onStatus({state: 'lost', message: 'the host ended the stream'});
    } catch (error) {
      onStatus({state: 'lost', message: String(error.message || error)});
    }
    again();
  };
  run();
}

// Server-sent events as the host writes them: `data:` lines and comment lines, each event ended
// by an empty line.
async function readEvents(body, onData) {
  const reader = body.pipeThrough(new TextDecoderStream()).getReader();
  let buffered = '';
  for (;;) {
    const {value, done} = await reader.read();
    if (done) return;
    buffered += value;
    let end;
    while ((end = buffered.indexOf('\n\n')) >= 0) {
      const event = buffered.slice(0, end);
      buffered = buffered.slice(end + 2);
      const data = event.split('\n').filter((line) => line.startsWith('data:'))
        .map((line) => line.slice(line.startsWith('data: ') ? 6 : 5)).join('\n');
      if (data) onData(data);
    }
  }
}

// A short random id for a tab or a stream (crypto.randomUUID needs a secure context, which a
// panel served on another address than loopback is not).
function randomId(prefix) {
  const bytes = crypto.getRandomValues(new Uint8Array(12));
  return prefix + Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
}

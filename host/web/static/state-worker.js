// One event stream for every tab of the panel in this browser: a browser opens at most six
// connections to a host, and a stream for each tab would take them all, after which no click
// reaches the host. The tabs connect to this shared worker; it holds the one stream and passes
// each state and each change of the connection on to all of them.
'use strict';
importScripts('state-stream.js');

const tabs = new Set();
const streamId = randomId('b');
let latestState = null;
let latestStatus = {state: 'connecting', message: ''};

function toEveryTab(message) {
  for (const port of tabs) port.postMessage(message);
}

self.onconnect = (event) => {
  const port = event.ports[0];
  tabs.add(port);
  port.onmessage = (message) => { if (message.data === 'closing') tabs.delete(port); };
  port.postMessage({kind: 'hello', stream: streamId});
  port.postMessage({kind: 'status', ...latestStatus});
  if (latestState) port.postMessage({kind: 'state', json: latestState});
};

openStateStream(streamId,
  (json) => { latestState = json; toEveryTab({kind: 'state', json}); },
  (status) => { latestStatus = status; toEveryTab({kind: 'status', ...status}); });

// Drives the studio's control server with the npm package `ws`; the same
// steps and arguments as ws_peer.py: node ws_peer.js PORT TOKEN PAIRCODE SCENARIO
'use strict';
const fs = require('fs');
const WebSocket = require('ws');

const [port, token, code, scenarioPath] = process.argv.slice(2);
const base = `ws://127.0.0.1:${port}`;
const scenario = JSON.parse(fs.readFileSync(scenarioPath, 'utf8'));
const WAIT_MS = 20000;

function fail(text) {
  console.log('FAIL ' + text);
  process.exit(1);
}

// A connection whose text messages are read one at a time.
function open(path) {
  return new Promise((resolve, reject) => {
    const ws = new WebSocket(base + path);
    const queue = [];
    const waiters = [];
    let closed = false;
    ws.on('message', (data) => {
      const text = data.toString('utf8');
      if (waiters.length) waiters.shift()(text); else queue.push(text);
    });
    ws.on('close', () => {
      closed = true;
      while (waiters.length) waiters.shift()(null);
    });
    ws.on('open', () => resolve({
      ws,
      next() {
        if (queue.length) return Promise.resolve(queue.shift());
        if (closed) return Promise.resolve(null);
        return new Promise((res) => {
          const timer = setTimeout(() => fail('no message in time'), WAIT_MS);
          waiters.push((t) => { clearTimeout(timer); res(t); });
        });
      },
      closed: () => closed,
    }));
    ws.on('error', reject);
  });
}

async function expectReply(c, want) {
  for (;;) {
    const got = await c.next();
    if (got === null) fail('closed while waiting for ' + want);
    if (got.startsWith('{"type":"status"') && got !== want) continue;
    if (got !== want) fail(`expected ${want} got ${got}`);
    return;
  }
}

async function expectStatus(c, members) {
  for (;;) {
    const got = await c.next();
    if (got === null) fail('closed while waiting for a status');
    if (!got.startsWith('{"type":"status"')) fail('unexpected ' + got);
    const status = JSON.parse(got);
    if (Object.entries(members).every(([k, v]) => status[k] === v)) return;
  }
}

async function main() {
  const paired = await open('/?pair=' + code);
  const first = await paired.next();
  if (first !== `{"type":"paired","token":"${token}"}`) fail('paired message was ' + first);

  // The paired connection stays open while the token is used, as a phone's would.
  const c = await open('/?token=' + token);
  for (const step of scenario.steps) {
    if ('signal' in step) console.log(step.signal); else c.ws.send(JSON.stringify(step.send));
    if ('reply' in step) {
      await expectReply(c, step.reply.replace('{NOTE}', scenario.note));
    } else {
      c.ws.send('{"op":"status"}');
      await expectStatus(c, step.status);
    }
  }
  paired.ws.close();
  console.log('RESTART');
  while ((await c.next()) !== null) { /* pushes until the restart drops us */ }

  let again = null;
  for (let attempt = 0; attempt < 200 && !again; ++attempt) {
    try {
      again = await open('/?token=' + token);
    } catch (e) {
      await new Promise((r) => setTimeout(r, 50));
    }
  }
  if (!again) fail('the token was not admitted after the restart');
  again.ws.send('{"op":"camera.start"}');
  for (;;) {
    const got = JSON.parse(await again.next());
    if (got.type !== 'camera') continue;
    if (Object.keys(got).join() !== 'type,port,session' || got.port !== Number(port) ||
        !(got.session > 0 && got.session < 2 ** 32)) fail('camera reply ' + JSON.stringify(got));
    break;
  }
  // The camera client stops its camera; the history answered after it says it ran.
  again.ws.send('{"op":"camera.stop"}');
  again.ws.send('{"op":"chat.history"}');
  for (;;) {
    const got = await again.next();
    if (got === null) fail('closed while waiting for the history');
    if (got.startsWith('{"type":"chat","reset":true')) break;
  }
  again.ws.close();
  console.log('OK');
  process.exit(0);
}

main().catch((e) => fail(String(e)));

// A strict WebSocket server for the transport's conformance tests (node ws).
// Prints "PORT <n>" once listening, "EXT <route> <offered extensions or none>" for each connection
// and "CLOSE <route> <code> <reason>" when one ends. Exits by itself after a bounded time.
'use strict';
const { WebSocketServer } = require('ws');

const LIFETIME_MS = 120000;
const TOO_BIG = 16 * 1024 * 1024 + 1;

const server = new WebSocketServer({ host: '127.0.0.1', port: 0, perMessageDeflate: true, maxPayload: 0 });

server.on('listening', () => console.log(`PORT ${server.address().port}`));

server.on('connection', (ws, request) => {
  const target = new URL(request.url, 'ws://peer');
  const route = target.pathname;
  console.log(`EXT ${route} ${request.headers['sec-websocket-extensions'] || 'none'}`);
  ws.on('close', (code, reason) => console.log(`CLOSE ${route} ${code} ${reason.toString()}`));
  ws.on('error', (error) => console.error(`ERROR ${route} ${error.message}`));
  switch (route) {
    case '/echo':
      ws.on('message', (data, isBinary) => ws.send(data, { binary: isBinary }));
      break;
    case '/fragmented':
      ws.send('Hel', { fin: false });
      ws.send('lo, ', { fin: false });
      ws.send('world', { fin: true });
      ws.send(Buffer.from([0, 1]), { binary: true, fin: false });
      ws.send(Buffer.from([2]), { binary: true, fin: true });
      ws.send('x'.repeat(70000));
      break;
    case '/ping':
      ws.on('pong', () => ws.send('pong received'));
      ws.ping('are you there');
      break;
    case '/close':
      ws.close(Number(target.searchParams.get('code')), target.searchParams.get('reason') || '');
      break;
    case '/too-big':
      ws.send('x'.repeat(TOO_BIG));
      break;
    case '/invalid-utf8':
      ws._socket.write(Buffer.from([0x81, 0x02, 0xff, 0xfe]));
      break;
    default:
      ws.close(4404, 'no route');
  }
});

setTimeout(() => process.exit(0), LIFETIME_MS);

// Reads multipart/form-data bodies with busboy, the same way multipart_email.py does (same input, same
// output shape; names as the hex of their UTF-8 bytes). Debian keeps its node modules in
// /usr/share/nodejs, which NODE_PATH must name.
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const busboy = require('busboy');

const hex = (text) => (text === undefined || text === null ? null : Buffer.from(text, 'utf8').toString('hex'));
// busboy reports an empty part name as no name.
const nameHex = (name) => hex(name === undefined ? '' : name);

function read(entry) {
  return new Promise((resolve) => {
    const body = fs.readFileSync(entry.bodyFile);
    const result = { parts: [], errors: [] };
    let parser;
    try {
      parser = busboy({
        headers: { 'content-type': entry.contentType },
        defParamCharset: 'utf8',
        preservePath: true,
        limits: { fieldSize: Infinity, fileSize: Infinity },
      });
    } catch (error) {
      result.errors.push(String(error.message));
      resolve(result);
      return;
    }
    // Fields and files are reported in body order; each gets its slot when it starts.
    parser.on('field', (name, value, info) => {
      const content = Buffer.from(value, 'utf8');
      result.parts.push({
        name: nameHex(name),
        filename: null,
        contentType: info.mimeType,
        length: content.length,
        sha256: crypto.createHash('sha256').update(content).digest('hex'),
      });
    });
    parser.on('file', (name, stream, info) => {
      const slot = { name: nameHex(name), filename: hex(info.filename), contentType: info.mimeType };
      result.parts.push(slot);
      const hash = crypto.createHash('sha256');
      let length = 0;
      stream.on('data', (chunk) => {
        hash.update(chunk);
        length += chunk.length;
      });
      stream.on('end', () => {
        slot.length = length;
        slot.sha256 = hash.digest('hex');
      });
    });
    parser.on('error', (error) => {
      result.errors.push(String(error.message));
      resolve(result);
    });
    parser.on('close', () => resolve(result));
    parser.end(body);
  });
}

async function main() {
  const entries = JSON.parse(fs.readFileSync(0, 'utf8'));
  const results = [];
  for (const entry of entries) results.push(await read(entry));
  process.stdout.write(JSON.stringify(results));
}

main();

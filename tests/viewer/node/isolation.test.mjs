// Every player of a page shares one module: a player whose stream takes more memory than the
// module can get fails alone ("File Open error!"), and the others go on decoding.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { CMD, NodePlayer, bgr, crc32, loadCore, top } from './wasm-core.mjs';

// A small header, then a frame record that claims 64 MiB: the player buffers it whole.
function greedyHeader() {
  const b = Buffer.alloc(16);
  b.write('ZV01', 0, 'latin1');
  b.writeUInt16BE(16, 4);
  b.writeUInt16BE(16, 6);
  b[8] = b[9] = 16;
  b.writeUInt16BE(100, 10);
  b.writeUInt32BE(64 * 1024 * 1024 + 17, 12);
  return b;
}

test('players whose streams exhaust the module fail alone', async () => {
  const core = await loadCore();
  const vectors = path.join(top, 'tests', 'codec', 'vectors');
  const good = new NodePlayer(core, new Map([['good.zov', fs.readFileSync(path.join(vectors, 'synthetic-16x16.zov'))]]));
  good.load('good.zov');
  good.command(CMD.STOP);
  const first = crc32(bgr(good.bitmap()));

  // Greedy players take 1 MiB after 1 MiB until the module's memory runs out.
  const chunk = new Uint8Array(1 << 20);
  const greedy = [];
  let failed = 0;
  for (let i = 0; i < 24 && failed === 0; i++) {
    const p = new NodePlayer(core, new Map([['greedy.zov', greedyHeader()]]));
    p.keepSourcesOpen = true;
    p.load('greedy.zov');
    greedy.push(p);
    while (p.state().wantsBytes && p.sources.size > 0) p.feedAll(chunk);
    if (p.text(2).startsWith('File Open error!')) failed += 1;
  }
  assert.ok(failed > 0, 'the module never ran out of memory');
  const last = greedy[greedy.length - 1];
  assert.equal(last.text(2), 'File Open error! http://vectors.test/greedy.zov');
  assert.equal(last.state().sourceOpen, 0);

  // The good player is untouched and steps on with the right pictures.
  assert.equal(crc32(bgr(good.bitmap())), first);
  good.command(CMD.NEXT);
  assert.equal(crc32(bgr(good.bitmap())).toString(16).padStart(8, '0'), '7aaa31b1');
  // Players that give their memory back leave room for new ones.
  for (const p of greedy) p.destroy();
  const again = new NodePlayer(core, new Map([['good.zov', fs.readFileSync(path.join(vectors, 'synthetic-16x16.zov'))]]));
  again.load('good.zov');
  assert.equal(crc32(bgr(again.bitmap())), first);
});

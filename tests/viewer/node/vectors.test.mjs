// The committed sample streams, played through the WebAssembly module under node the way the
// page plays them: the picture after every record must have the checksum the native decoder
// is held to.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { CMD, NodePlayer, bgr, crc32, loadCore, top } from './wasm-core.mjs';

const vectors = path.join(top, 'tests', 'codec', 'vectors');

function expected() {
  const byFile = new Map();
  for (const line of fs.readFileSync(path.join(vectors, 'checksums.txt'), 'utf8').split('\n')) {
    if (!line.trim()) continue;
    const [file, index, crc] = line.trim().split(/\s+/);
    if (!byFile.has(file)) byFile.set(file, []);
    assert.equal(Number(index), byFile.get(file).length, `${file}: indexes in order`);
    byFile.get(file).push(crc);
  }
  return byFile;
}

test('the WebAssembly module decodes every sample stream to its checksums', async () => {
  const core = await loadCore();
  const byFile = expected();
  assert.ok(byFile.size >= 3, 'checksums for the sample streams');
  for (const [file, crcs] of byFile) {
    const files = new Map([[file, fs.readFileSync(path.join(vectors, file))]]);
    const player = new NodePlayer(core, files);
    player.load(file);
    let s = player.state();
    assert.equal(s.loaded, 1, `${file} loaded`);
    assert.equal(s.stepCount, 1, `${file} shows its first picture`);
    player.command(CMD.STOP);
    const got = [];
    for (;;) {
      s = player.state();
      if (s.recordLength === -1) break; // the end marker
      assert.ok(got.length <= crcs.length, `${file}: more records than checksums`);
      got.push(crc32(bgr(player.bitmap())).toString(16).padStart(8, '0'));
      player.command(CMD.NEXT);
    }
    assert.deepEqual(got, crcs, file);
    player.destroy();
  }
});

// The viewer as a user drives it, in Debian's Chromium: its frames are the
// render's, its module panels write what `set` writes, its fade keys drag,
// its render equals the command line's, and it refuses what it must.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import {
  abandon, launchBrowser, makeInput, openPage, pixels, request, run, scratch, shown, shownPixels, startPreview, vidmixer,
} from './preview_harness.mjs';

let dir, input, scenePath, preview, chrome, page;

const scene = () => JSON.parse(fs.readFileSync(scenePath, 'utf8'));
const record = () => scene().filters[0].record;
const state = () => page.evaluate(() => window.kivo.state);

// Waits until the page's state passes the test.
async function until(test) {
  await page.waitForFunction(test, null, { timeout: 30000 });
}

async function goTo(frame) {
  await page.fill('#frame-number', String(frame));
  await page.press('#frame-number', 'Enter');
  await shown(page, frame);
}

// The frame the page shows against the frame a command-line render writes,
// each decoded: by the browser as it shows it, by ffmpeg from the file.
async function assertShowsRendered(frame, renderDir) {
  const rendered = pixels(path.join(renderDir, String(frame).padStart(4, '0') + '.png'));
  assert.ok((await shownPixels(page)).equals(rendered), `frame ${frame} differs from the render's`);
}

function renderCli(name) {
  const out = path.join(dir, name);
  run(vidmixer, ['render', scenePath, '-i', input, '-o', path.join(out, '####.png'), '--quiet']);
  return out;
}

async function save() {
  await until(() => window.kivo.editing === 0);
  await page.keyboard.press('Control+s');
  await page.waitForFunction(() => window.kivo.state.unsaved.length === 0, null, { timeout: 10000 }).catch(async (e) => {
    throw new Error(`not saved: ${JSON.stringify(await state().then((s) => s.unsaved))} ${await page.textContent('#dialogs')}`);
  });
}

before(async () => {
  dir = scratch();
  input = makeInput(dir);
  scenePath = path.join(dir, 'shot.json');
  run(vidmixer, ['new', scenePath, '--frames', '1-24']);
  preview = await startPreview([scenePath, '-i', input, '-o', path.join(dir, 'page', '####.png')]);
  chrome = await launchBrowser();
  page = await openPage(chrome.context, preview);
});

after(async () => {
  await chrome?.close();
  const code = await preview?.stop();
  assert.equal(code, 0, preview?.errors());
  fs.rmSync(dir, { recursive: true, force: true });
});

test('a change of look shows the frame the render writes', async () => {
  await goTo(7);
  await page.selectOption('select[name=effect]', 'negative');
  await until(() => window.kivo.state.scene.filters[0].settings.effect === 3);
  await shown(page, 7);
  assert.ok(await page.isVisible('#unsaved'));
  await save();
  assert.match(record(), / 3 255 255 255 /);
  const rendered = renderCli('negative');
  await assertShowsRendered(7, rendered);
  // "Save this frame" gives the very file the render writes.
  const saved = await page.evaluate(async () => {
    const link = document.getElementById('save-frame');
    return Array.from(new Uint8Array(await (await fetch(link.href)).arrayBuffer()));
  });
  assert.ok(Buffer.from(saved).equals(fs.readFileSync(path.join(rendered, '0007.png'))));
});

test('a jump into an Old\'n\'Dusty history shows the rendered frame', async () => {
  await page.selectOption('select[name=effect]', 'film');
  await page.selectOption('select[name=filmQuality]', 'dusty');
  await page.check('input[name=sprocketJump]');
  await page.fill('input[name=grainWidth]', '2');
  await page.press('input[name=grainWidth]', 'Enter');
  await until(() => window.kivo.state.scene.filters[0].settings.grainWidth === 2);
  await save();
  const rendered = renderCli('dusty');
  await goTo(17); // replays 1..16 first
  await assertShowsRendered(17, rendered);
  await goTo(9); // backwards: the history runs again from its start
  await assertShowsRendered(9, rendered);
  await page.click('#step-on');
  await shown(page, 10);
  await assertShowsRendered(10, rendered);
});

test('Save right after a change, before the change has gone out, saves it', async () => {
  fs.copyFileSync(scenePath, path.join(dir, 'height.json'));
  run(vidmixer, ['set', path.join(dir, 'height.json'), 'grainHeight=3']);
  const wanted = JSON.parse(fs.readFileSync(path.join(dir, 'height.json'), 'utf8')).filters[0].record;
  await page.fill('input[name=grainHeight]', '3'); // typed, not yet sent by Enter
  await page.keyboard.press('Control+s');
  await until(() => window.kivo.editing === 0 && window.kivo.state.unsaved.length === 0);
  assert.equal(record(), wanted);
});

test('OK in the module panel writes the record set writes; Cancel writes nothing', async () => {
  fs.copyFileSync(scenePath, path.join(dir, 'set.json'));
  run(vidmixer, ['set', path.join(dir, 'set.json'), 'grainHeight=3', 'effect=rgb', 'mix=10,20,30']);
  const wanted = JSON.parse(fs.readFileSync(path.join(dir, 'set.json'), 'utf8')).filters[0].record;

  await page.click('#module-panel');
  const main = page.locator('dialog.module-panel[data-depth="1"]');
  await main.getByLabel('Pixel Grain Height :', { exact: true }).fill('3');
  await main.getByLabel('Pixel Grain Height :', { exact: true }).press('Tab');
  await main.getByLabel('Fade using :', { exact: true }).selectOption({ label: 'RGB' });
  const colour = page.locator('dialog.module-panel[data-depth="2"]');
  await colour.getByLabel('Mix RGB :', { exact: true }).fill('#0a141e');
  await colour.getByLabel('Mix RGB :', { exact: true }).dispatchEvent('change');
  await colour.getByRole('button', { name: 'OK' }).click();
  await colour.waitFor({ state: 'detached' });
  await main.getByRole('button', { name: 'OK' }).click();
  await main.waitFor({ state: 'detached' });
  await page.waitForFunction((r) => window.kivo.state.scene.filters[0].record === r, wanted);
  await save();
  assert.equal(record(), wanted);

  await page.click('#module-panel');
  await main.getByLabel('Divide Value by :', { exact: true }).fill('9');
  await main.getByLabel('Divide Value by :', { exact: true }).press('Tab');
  await main.getByRole('button', { name: 'Cancel' }).click();
  await main.waitFor({ state: 'detached' });
  assert.deepEqual((await state()).unsaved, []);
  assert.equal((await state()).scene.filters[0].record, wanted);
});

test('a dragged key changes the fade curve, and the saved scene holds it', async () => {
  const before = (await state()).scene.filters[0].fade;
  const box = await page.locator('#curve circle.key[data-key="1"]').boundingBox();
  const half = await page.evaluate(() => {
    const line = [...document.querySelectorAll('#curve line.grid')][1]; // at 0.5
    return line.getBoundingClientRect().top;
  });
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width / 2, half, { steps: 8 });
  await page.mouse.up();
  // The fade at the last frame follows the key down to a half.
  await page.waitForFunction(() => Math.abs(window.kivo.state.scene.filters[0].fade.at(-1)[1] - 0.5) < 0.05);
  const after = (await state()).scene.filters[0].fade;
  assert.notDeepEqual(after, before);
  assert.ok((await state()).unsaved.includes('keys of "Fade Control"'));
  await save();
  const last = scene().items[0].keys.at(-1);
  assert.equal(last.frame, 24);
  assert.ok(Math.abs(last.scale[0] - 0.5) < 0.05, `the saved key's scale is ${last.scale[0]}`);
});

test('a render from the page equals the command line\'s', async () => {
  await page.click('#render-start');
  await page.waitForSelector('#render-status.finished', { timeout: 120000 });
  const cli = renderCli('cli');
  const names = fs.readdirSync(cli).sort();
  assert.equal(names.length, 24);
  assert.deepEqual(fs.readdirSync(path.join(dir, 'page')).sort(), names);
  for (const name of names)
    assert.ok(fs.readFileSync(path.join(dir, 'page', name)).equals(fs.readFileSync(path.join(cli, name))), name);
});

test('the server refuses what it must, and leaves the scene as it was', async () => {
  const { port, token } = preview;
  const host = { Host: `127.0.0.1:${port}` };
  const json = { ...host, 'Content-Type': 'application/json', 'X-Kivo-Token': token };
  const saved = fs.readFileSync(scenePath, 'utf8');
  const version = (await state()).version;
  const refusals = [
    [403, { path: '/api/state' }, /token/],
    [403, { path: `/api/state?token=${'0'.repeat(32)}` }, /token/],
    [403, { path: `/?token=${token}`, headers: { Host: `evil.example:${port}` } }, /address/],
    [403, { path: `/?token=${token}`, headers: { Host: `127.0.0.1:${port + 1}` } }, /address/],
    [403, { method: 'POST', path: `/api/save?token=${token}`, headers: { ...host, 'Content-Type': 'application/json' }, body: '{}' }, /header/],
    [400, { method: 'POST', path: '/api/save', headers: { ...json, 'Content-Type': 'text/plain' }, body: '{}' }, /JSON/],
    [405, { path: `/api/save?token=${token}` }, /POST/],
    [405, { method: 'OPTIONS', path: `/api/settings?token=${token}` }, /not served/],
    [400, { method: 'POST', path: '/api/settings', headers: json, body: '{"settings": {"effect": "film"' }, /malformed JSON/],
    [400, { method: 'POST', path: '/api/settings', headers: json, body: '{"settings": {"sparkle": "on"}}' }, /no setting named "sparkle"/],
    [400, { method: 'POST', path: '/api/settings', headers: json, body: '{"settings": {"grainWidth": 0}}' }, /out of range/],
    [400, { method: 'POST', path: '/api/settings', headers: json, body: '{"settings": {"effect": "film", "mixRed": 256}}' }, /out of range/],
    [400, { method: 'POST', path: '/api/keys', headers: json, body: '{"item": 1, "keys": [{"frame": 3}, {"frame": 3}]}' }, /two keys/],
    [400, { path: `/api/frame?n=25&token=${token}` }, /outside the input's frames 1 to 24/],
    [400, { path: `/api/frame?n=x&token=${token}` }, /frame number/],
    [413, { method: 'POST', path: '/api/settings', headers: json, body: ' '.repeat(70000) + '{}' }, /larger than/],
    [411, { method: 'POST', path: '/api/settings', headers: json, body: ' '.repeat(70000) + '{}', chunked: true }, /Content-Length/],
  ];
  for (const [status, call, message] of refusals) {
    const answer = await request(port, { ...call, headers: call.headers ?? host });
    assert.equal(answer.status, status, `${call.method ?? 'GET'} ${call.path}: ${answer.body}`);
    assert.match(JSON.parse(answer.body).error, message);
    assert.ok(!Object.keys(answer.headers).some((h) => h.startsWith('access-control-')), 'a cross-origin header');
  }
  assert.equal((await state()).version, version);
  assert.equal(fs.readFileSync(scenePath, 'utf8'), saved);
  assert.equal((await request(port, { path: `/?token=${token}`, headers: { Host: `localhost:${port}` } })).status, 200);
});

test('a page that goes away in the middle of a frame or of events leaves the server working', async () => {
  const { port, token } = preview;
  await abandon(port, `/api/frame?n=23&token=${token}`, 30); // a replay of 22 frames, left after 30 ms
  await abandon(port, `/api/events?token=${token}`, 30);
  const again = await openPage(chrome.context, preview);
  await again.fill('#frame-number', '24');
  await again.press('#frame-number', 'Enter');
  await shown(again, 24);
  assert.deepEqual(again.problems, []);
  await again.close();
});

test('on the demo picture: a render from the page stops when cancelled', async () => {
  run(vidmixer, ['new', 'film.json', '--frames', '1-48', 'effect=film', 'filmQuality=dusty', 'sepia=on', 'vignette=on'],
    { cwd: dir });
  const demo = await startPreview(['film.json', '-o', 'demo/####.png'], { cwd: dir });
  try {
    const view = await openPage(chrome.context, demo);
    await view.fill('#frame-number', '40');
    await view.press('#frame-number', 'Enter');
    await shown(view, 40);
    await view.click('#show-split');
    await shown(view, 40);
    const screenshot = process.env.KIVO_PREVIEW_SCREENSHOT;
    if (screenshot) await view.screenshot({ path: screenshot });
    await view.click('#render-start');
    await view.waitForFunction(() => Number(document.getElementById('render-progress').value) >= 1);
    await view.click('#render-cancel');
    await view.waitForSelector('#render-status.cancelled', { timeout: 60000 });
    const render = await view.evaluate(() => fetch('/api/state').then((r) => r.json()).then((s) => s.render));
    assert.ok(render.written >= 1 && render.written < 48, `${render.written} frames written`);
    assert.equal(fs.readdirSync(path.join(dir, 'demo')).filter((f) => f.endsWith('.png')).length, render.written);
    await view.close();
  } finally {
    assert.equal(await demo.stop(), 0);
  }
});

test('quitting names unsaved changes: Ctrl+C twice, or Quit on the page', async () => {
  run(vidmixer, ['new', 'quit.json'], { cwd: dir });
  const original = fs.readFileSync(path.join(dir, 'quit.json'), 'utf8');
  const waitFor = async (check) => {
    for (let i = 0; i < 100 && !check(); ++i) await new Promise((resolve) => setTimeout(resolve, 50));
  };
  for (const how of ['ctrl+c', 'page']) {
    const viewer = await startPreview(['quit.json'], { cwd: dir });
    const view = await openPage(chrome.context, viewer);
    await view.check('input[name=sepia]');
    await view.waitForFunction(() => window.kivo.state.unsaved.length === 1);
    if (how === 'ctrl+c') {
      process.kill(viewer.pid, 'SIGINT');
      await waitFor(() => /press Ctrl\+C again/.test(viewer.errors()));
      assert.match(viewer.errors(), /quit\.json has unsaved changes \(filter 1: sepia\)/);
      process.kill(viewer.pid, 'SIGINT');
      assert.equal(await viewer.stopped, 0);
      assert.match(viewer.errors(), /quitting without saving filter 1: sepia/);
    } else {
      view.once('dialog', (dialog) => {
        assert.match(dialog.message(), /filter 1: sepia/);
        dialog.accept();
      });
      await view.click('#quit');
      assert.equal(await viewer.stopped, 0);
    }
    await view.close();
    assert.equal(fs.readFileSync(path.join(dir, 'quit.json'), 'utf8'), original);
  }
});

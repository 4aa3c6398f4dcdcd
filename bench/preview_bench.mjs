// The viewer's speed in Chromium, from the input event to the frame's image
// decoded: settings changes on a 1920x1080 input for the simple looks and for
// the film look with every option, each at full strength, and playing a
// 1280x720 clip with the film look. Prints medians; run with
//   VIDMIXER=build/vidmixer node bench/preview_bench.mjs
// (playwright-core from scripts/setup.sh tests).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {
  launchBrowser, makeInput, openPage, run, scratch, shown, startPreview, vidmixer,
} from '../tests/preview/preview_harness.mjs';

const CHANGES = 12; // settings changes measured per case
const PLAY_SECONDS = 8;

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
};

// Toggles a switch (or steps a number) CHANGES times; each change's time
// from its input event to its frame decoded.
async function changeTimes(page, change) {
  const times = [];
  for (let i = 0; i < CHANGES; ++i) {
    const before = await page.evaluate(() => window.kivo.timings.length);
    await change(i);
    await page.waitForFunction((n) => window.kivo.timings.length > n, before, { timeout: 60000 });
    times.push(await page.evaluate(() => window.kivo.timings.at(-1).ms));
  }
  return times;
}

// The look at full strength from the first frame on, as one tunes it: the
// fade control's first key scaled as its last.
function atFullStrength(scene) {
  const json = JSON.parse(fs.readFileSync(scene, 'utf8'));
  const keys = json.items[0].keys;
  keys[0].scale = [...keys.at(-1).scale];
  fs.writeFileSync(scene, JSON.stringify(json));
}

async function settingsCase(context, dir, input, name, settings, change, frame) {
  const scene = path.join(dir, `${name}.json`);
  run(vidmixer, ['new', scene, '--frames', '1-24', ...settings]);
  atFullStrength(scene);
  const preview = await startPreview([scene, '-i', input]);
  try {
    const page = await openPage(context, preview);
    if (frame !== 1) {
      await page.fill('#frame-number', String(frame));
      await page.press('#frame-number', 'Enter');
      await shown(page, frame);
    }
    const times = await changeTimes(page, (i) => change(page, i));
    await page.close();
    return times;
  } finally {
    await preview.stop();
  }
}

const grain = (page, i) => page.fill('input[name=grainWidth]', String(2 - (i % 2))).then(() => page.press('input[name=grainWidth]', 'Enter'));
const sepia = (page, i) => (i % 2 ? page.check('input[name=sepia]') : page.uncheck('input[name=sepia]'));
const FILM_ALL = ['effect=film', 'filmQuality=dusty', 'sprocketJump=on', 'whiteOut=on', 'sepia=on', 'vignette=on',
  'outOfFocus=on', 'focalDisplacement=3'];

async function playRate(context, dir) {
  const clip = makeInput(dir, { frames: 240, size: '1280x720', file: 'clip.mp4' });
  const scene = path.join(dir, 'play.json');
  run(vidmixer, ['new', scene, '--frames', '1-240', ...FILM_ALL]);
  const preview = await startPreview([scene, '-i', clip]);
  try {
    const page = await openPage(context, preview);
    await page.click('#play');
    await page.waitForFunction(() => window.kivo.shown.frame >= 3);
    const start = await page.evaluate(() => [window.kivo.shown.frame, performance.now()]);
    await page.waitForTimeout(PLAY_SECONDS * 1000);
    const end = await page.evaluate(() => [window.kivo.shown.frame, performance.now()]);
    await page.close();
    return ((end[0] - start[0]) * 1000) / (end[1] - start[1]);
  } finally {
    await preview.stop();
  }
}

const dir = scratch();
const chrome = await launchBrowser();
try {
  console.log(`${new Date().toISOString().slice(0, 10)}, ${os.cpus().length} cores (${os.cpus()[0].model}), ` +
    `load average ${os.loadavg().map((l) => l.toFixed(2)).join(' ')}`);
  const input = makeInput(dir, { frames: 24, size: '1920x1080' });
  const cases = [
    ['static', ['effect=static'], grain, 1],
    ['rgb', ['effect=rgb', 'mix=255,128,0'], grain, 1],
    ['negative', ['effect=negative'], grain, 1],
    ['film, every option', FILM_ALL, sepia, 1],
    ['film, every option, frame 12', FILM_ALL, sepia, 12],
  ];
  console.log('settings change to new frame, 1920x1080, median of ' + CHANGES + ' (ms):');
  for (const [name, settings, change, frame] of cases) {
    const times = await settingsCase(chrome.context, dir, input, name.replace(/\W+/g, '-'), settings, change, frame);
    console.log(`  ${name.padEnd(30)} ${median(times).toFixed(0).padStart(5)}   (${times.map((t) => t.toFixed(0)).join(' ')})`);
  }
  console.log(`playing 1280x720 film, every option: ${(await playRate(chrome.context, dir)).toFixed(1)} frames a second`);
  console.log(`load average after: ${os.loadavg().map((l) => l.toFixed(2)).join(' ')}`);
} finally {
  await chrome.close();
  fs.rmSync(dir, { recursive: true, force: true });
}

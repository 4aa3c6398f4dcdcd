// What the browser tests and the benchmark share: a private `vidmixer
// preview` on a free port, Debian's Chromium driven by playwright-core, and
// ffmpeg to make inputs and decode frames. Everything started is stopped by
// its process id.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const vidmixer = path.resolve(process.env.VIDMIXER ?? 'vidmixer');

export function scratch() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'kivo-preview-'));
}

export function run(program, args, options = {}) {
  return execFileSync(program, args, { stdio: ['ignore', 'pipe', 'pipe'], ...options });
}

// A test picture sequence (dir/in/0001.png ...) or clip, made by ffmpeg.
export function makeInput(dir, { frames = 24, size = '320x180', file = 'in/%04d.png' } = {}) {
  const target = path.join(dir, file);
  fs.mkdirSync(path.dirname(target), { recursive: true });
  run('ffmpeg', ['-v', 'error', '-f', 'lavfi', '-i', `testsrc2=size=${size}:rate=24`, '-frames:v', String(frames),
    '-start_number', '1', '-pix_fmt', file.endsWith('.png') ? 'rgb24' : 'yuv420p', target]);
  return file.endsWith('.png') ? path.join(dir, file.replace('%04d', '####')) : target;
}

// An image file's pixels as RGBA bytes, decoded by ffmpeg.
export function pixels(file) {
  return run('ffmpeg', ['-v', 'error', '-i', file, '-f', 'rawvideo', '-pix_fmt', 'rgba', '-'], { maxBuffer: 1 << 28 });
}

// Starts `vidmixer preview ARGS --no-browser` and reads its address.
export async function startPreview(args, { cwd } = {}) {
  const child = spawn(vidmixer, ['preview', ...args, '--no-browser'], { stdio: ['ignore', 'pipe', 'pipe'], cwd });
  let out = '', err = '';
  child.stderr.on('data', (d) => (err += d));
  const url = await new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => {
      out += d;
      const found = out.match(/http:\/\/\S+/);
      if (found) resolve(found[0]);
    });
    child.on('exit', (code) => reject(new Error(`vidmixer preview exited with ${code}: ${err}`)));
  });
  const address = new URL(url);
  const stopped = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  return {
    url, port: Number(address.port), token: address.searchParams.get('token'), pid: child.pid, stopped,
    errors: () => err,
    async stop() {
      process.kill(child.pid, 'SIGTERM');
      return stopped;
    },
  };
}

// Chromium with a fresh profile of its own, removed on close.
export async function launchBrowser(viewport = { width: 1400, height: 900 }) {
  const userData = scratch();
  const context = await chromium.launchPersistentContext(userData, {
    executablePath: '/usr/bin/chromium',
    viewport,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return {
    context,
    async close() {
      await context.close();
      fs.rmSync(userData, { recursive: true, force: true });
    },
  };
}

// Opens the page and waits for its first frame (or a module panel left open).
export async function openPage(context, preview) {
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(preview.url);
  await page.waitForFunction(() => window.kivo?.shown || document.querySelector('dialog[open]'), null, { timeout: 30000 });
  page.problems = problems;
  return page;
}

// Waits until the page shows this frame of the scene's newest version.
export async function shown(page, frame) {
  await page.waitForFunction((n) => {
    const k = window.kivo;
    return k.shown && k.shown.frame === n && k.shown.version === k.state.version;
  }, frame, { timeout: 120000 });
}

// The pixels the page shows, as the browser decoded them (RGBA bytes).
export async function shownPixels(page, view = 'result') {
  const bytes = await page.evaluate((id) => {
    const image = document.getElementById(id);
    const canvas = Object.assign(document.createElement('canvas'), { width: image.naturalWidth, height: image.naturalHeight });
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return Array.from(context.getImageData(0, 0, canvas.width, canvas.height).data);
  }, view);
  return Buffer.from(bytes);
}

// A raw HTTP request to the viewer, headers as given (Host included); a body
// goes with its length unless chunked.
export function request(port, { method = 'GET', path: target = '/', headers = {}, body, chunked = false } = {}) {
  if (body !== undefined && !chunked && !('Content-Length' in headers))
    headers = { ...headers, 'Content-Length': Buffer.byteLength(body) };
  return new Promise((resolve, reject) => {
    const call = http.request({ host: '127.0.0.1', port, method, path: target, headers, setHost: !('Host' in headers) },
      (response) => {
        let data = '';
        response.on('data', (d) => (data += d));
        response.on('end', () => resolve({ status: response.statusCode, headers: response.headers, body: data }));
      });
    call.on('error', reject);
    if (body !== undefined) call.write(body);
    call.end();
  });
}

// A GET that the client gives up after ms, closing its connection.
export function abandon(port, target, ms) {
  return new Promise((resolve) => {
    const call = http.get({ host: '127.0.0.1', port, path: target }, (response) => response.resume());
    call.on('error', () => resolve());
    setTimeout(() => {
      call.destroy();
      resolve();
    }, ms);
  });
}

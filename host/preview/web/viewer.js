// The frame: filtered and as read, side by side under a split line, fitted
// or at 1:1 with panning, and the frame controls. Each frame shown is the
// server's PNG, drawn pixel for pixel.
import { fetchFrame, frameUrl } from './api.js';

const $ = (id) => document.getElementById(id);

// The time the frame is decoded and ready to paint: the load event comes
// before the decoding.
async function loaded(image, url) {
  image.src = url;
  try {
    await image.decode();
  } catch {
    // A newer frame took the image meanwhile: this one is stale, not broken.
    if (image.src !== url) throw Object.assign(new Error('superseded'), { name: 'AbortError' });
    throw new Error('the frame did not decode');
  }
  return performance.now();
}

export class Viewer {
  constructor(onShown) {
    this.onShown = onShown; // (frame, loadTime) after each frame shown
    this.frame = 0;
    this.range = { first: 0, last: 0 };
    this.compare = 'result';
    this.zoom = 'fit';
    this.split = 0.5;
    this.pan = { x: 0, y: 0 };
    this.seq = 0;
    this.playing = false;
    this.fps = 24;
    this.urls = {};
    this.wire();
    new ResizeObserver(() => this.layout()).observe($('stage'));
  }

  wire() {
    const toggles = (ids, apply) => ids.forEach(([id, value]) => $(id).addEventListener('click', () => {
      ids.forEach(([other]) => $(other).classList.toggle('on', other === id));
      apply(value);
    }));
    toggles([['show-result', 'result'], ['show-source', 'source'], ['show-split', 'split']], (mode) => {
      this.compare = mode;
      this.show(this.frame);
    });
    toggles([['zoom-fit', 'fit'], ['zoom-one', 'one']], (zoom) => {
      this.zoom = zoom;
      this.pan = { x: 0, y: 0 };
      this.layout();
    });
    $('step-back').addEventListener('click', () => this.go(this.frame - 1));
    $('step-on').addEventListener('click', () => this.go(this.frame + 1));
    $('play').addEventListener('click', () => (this.playing ? this.pause() : this.play()));
    $('frame-slider').addEventListener('input', (e) => this.go(Number(e.target.value)));
    $('frame-number').addEventListener('change', (e) => this.go(Number(e.target.value)));
    this.wirePointer();
  }

  wirePointer() {
    const stage = $('stage');
    let drag = null;
    stage.addEventListener('pointerdown', (e) => {
      const onGrip = e.target.id === 'split-grip' || e.target.id === 'split-line';
      if (!onGrip && this.zoom !== 'one') return;
      drag = { grip: onGrip, x: e.clientX, y: e.clientY, pan: { ...this.pan } };
      stage.setPointerCapture(e.pointerId);
    });
    stage.addEventListener('pointermove', (e) => {
      if (!drag) return;
      if (drag.grip) {
        const box = $('result').getBoundingClientRect();
        this.split = Math.min(1, Math.max(0, (e.clientX - box.left) / box.width));
      } else {
        this.pan = { x: drag.pan.x + e.clientX - drag.x, y: drag.pan.y + e.clientY - drag.y };
      }
      this.layout();
    });
    stage.addEventListener('pointerup', () => (drag = null));
  }

  setRange(range, fps) {
    this.range = range;
    this.fps = fps > 0 ? fps : 24;
    for (const id of ['frame-slider', 'frame-number']) {
      $(id).min = range.first;
      $(id).max = range.last;
    }
    if (this.frame < range.first || this.frame > range.last) this.frame = range.first;
  }

  go(frame) {
    const clamped = Math.min(this.range.last, Math.max(this.range.first, Math.round(frame)));
    if (Number.isNaN(clamped)) return;
    this.pause();
    this.show(clamped);
  }

  views() {
    return this.compare === 'result' ? ['result'] : this.compare === 'source' ? ['source'] : ['result', 'source'];
  }

  // The frame's images as object URLs; null when a newer request made them stale.
  async fetchViews(frame, seq) {
    const urls = [];
    for (const view of this.views()) urls.push(await fetchFrame(frame, view, seq, this.abort.signal));
    if (urls.includes(null)) {
      urls.forEach((url) => url && URL.revokeObjectURL(url));
      return null;
    }
    return urls;
  }

  // Shows a frame; a later call makes an earlier one's frames stale.
  async show(frame, since = null, fetched = null) {
    const seq = ++this.seq;
    this.frame = frame;
    $('frame-slider').value = frame;
    $('frame-number').value = frame;
    $('save-frame').href = frameUrl(frame, 'result', 0, true);
    if (!fetched) {
      this.abort?.abort();
      this.abort = new AbortController();
    }
    try {
      const urls = await (fetched ?? this.fetchViews(frame, seq));
      if (!urls || (!fetched && seq !== this.seq)) return false;
      const times = await Promise.all(this.views().map((view, i) => this.display(view, urls[i])));
      this.hideError();
      this.onShown(frame, Math.max(...times), since);
      return true;
    } catch (error) {
      if (error.name !== 'AbortError') this.showError(error.message);
      return false;
    }
  }

  async display(view, url) {
    const image = $(view);
    const time = await loaded(image, url).catch((error) => {
      URL.revokeObjectURL(url); // a stale or broken frame's bytes go now
      throw error;
    });
    if (this.urls[view]) URL.revokeObjectURL(this.urls[view]);
    this.urls[view] = url;
    $('result').hidden = this.compare === 'source';
    $('source').hidden = this.compare === 'result';
    $('split-line').hidden = this.compare !== 'split';
    $('frame-size').textContent = `${image.naturalWidth} × ${image.naturalHeight}`;
    this.layout();
    return time;
  }

  layout() {
    const stage = $('stage').getBoundingClientRect();
    const image = this.compare === 'source' ? $('source') : $('result');
    const width = image.naturalWidth || 1, height = image.naturalHeight || 1;
    const scale = this.zoom === 'fit' ? Math.min(stage.width / width, stage.height / height) : 1 / devicePixelRatio;
    const shownW = width * scale, shownH = height * scale;
    const limitX = Math.max(0, (shownW - stage.width) / 2), limitY = Math.max(0, (shownH - stage.height) / 2);
    this.pan.x = Math.max(-limitX, Math.min(limitX, this.pan.x));
    this.pan.y = Math.max(-limitY, Math.min(limitY, this.pan.y));
    const layer = $('layer');
    layer.style.width = `${width}px`;
    layer.style.height = `${height}px`;
    layer.style.left = `${(stage.width - shownW) / 2 + this.pan.x}px`;
    layer.style.top = `${(stage.height - shownH) / 2 + this.pan.y}px`;
    layer.style.transform = `scale(${scale})`;
    layer.classList.toggle('pixels', scale >= 1);
    $('stage').classList.toggle('pannable', this.zoom === 'one');
    $('source').style.clipPath = this.compare === 'split' ? `inset(0 ${(1 - this.split) * 100}% 0 0)` : 'none';
    $('split-line').style.left = `${this.split * width}px`;
    $('split-line').style.transform = `scaleX(${1 / scale})`;
  }

  play() {
    if (this.playing) return;
    this.playing = true;
    $('play').textContent = 'Pause';
    if (this.frame >= this.range.last) this.frame = this.range.first - 1;
    this.playLoop();
  }

  pause() {
    this.playing = false;
    $('play').textContent = 'Play';
  }

  // Plays forward: each frame continues the running history on the server,
  // which makes the next frame while the page shows this one.
  async playLoop() {
    const interval = 1000 / this.fps;
    let next = performance.now();
    this.abort?.abort();
    this.abort = new AbortController();
    let coming = this.fetchViews(this.frame + 1, ++this.seq);
    while (this.playing && this.frame < this.range.last) {
      const frame = this.frame + 1;
      const fetched = coming;
      coming = frame < this.range.last ? fetched.then(() => this.fetchViews(frame + 1, ++this.seq)) : null;
      if (!(await this.show(frame, null, fetched))) {
        // An edit showed a frame meanwhile: play on from the frame shown.
        if (!this.playing || !$('frame-error').hidden) break;
        coming = this.fetchViews(this.frame + 1, ++this.seq);
        continue;
      }
      next = Math.max(next + interval, performance.now() - interval);
      const wait = next - performance.now();
      if (wait > 0) await new Promise((resolve) => setTimeout(resolve, wait));
    }
    coming?.then((urls) => urls?.forEach((url) => URL.revokeObjectURL(url)), () => {});
    this.pause();
  }

  showReplay(event) {
    const box = $('replaying');
    box.hidden = event.done >= event.total || event.frame !== this.frame;
    box.textContent = `replaying ${event.done}/${event.total}`;
  }

  showError(message) {
    $('frame-error').hidden = false;
    $('frame-error').textContent = message;
  }

  hideError() {
    $('frame-error').hidden = true;
    $('replaying').hidden = true;
  }
}

// The fade amount of every frame, as the server computes it from the
// control item's keys and the filter's fade settings, with the item's keys
// as points to drag, add and delete. Keys are sent whole while dragging.
const SVG = 'http://www.w3.org/2000/svg';
const PAD = { left: 40, right: 12, top: 10, bottom: 22 };
const AXES = ['X', 'Y', 'Z'];

function node(name, attributes, parent) {
  const element = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  parent?.append(element);
  return element;
}

export class FadeCurve {
  constructor(svg, sendKeys) {
    this.svg = svg;
    this.sendKeys = sendKeys; // (itemId, keys) => Promise
    this.selected = null;     // index of the selected key
    this.drag = null;
    svg.addEventListener('dblclick', (e) => this.add(e));
    svg.addEventListener('keydown', (e) => this.key(e));
    svg.setAttribute('tabindex', '0');
    new ResizeObserver(() => this.draw()).observe(svg);
  }

  // scene: the scene's JSON; filter: the filter's; frame: the viewer's frame.
  show(scene, filter, frame) {
    this.scene = scene;
    this.filter = filter;
    this.frame = frame;
    const drawn = JSON.stringify([scene.firstFrame, scene.lastFrame, filter?.fade, filter?.settings, this.item?.keys]);
    if (this.drag || drawn === this.drawn) return this.drawCursor();
    this.drawn = drawn;
    this.draw();
  }

  setFrame(frame) {
    this.frame = frame;
    this.drawCursor();
  }

  get settings() { return this.filter?.settings ?? {}; }
  get item() { return this.scene?.items.find((i) => i.id === this.settings.controlItem); }
  // The key component the fade reads: the channel's vector, the axis.
  get component() { return [this.settings.fadeChannel === 1 ? 'position' : 'scale', this.settings.fadeAxis ?? 0]; }

  geometry() {
    const box = this.svg.getBoundingClientRect();
    const points = this.filter?.fade ?? [];
    const top = Math.max(1, ...points.map((p) => p[1]));
    const first = this.scene.firstFrame, last = Math.max(this.scene.lastFrame, first + 1);
    const width = Math.max(box.width - PAD.left - PAD.right, 10);
    const height = Math.max(box.height - PAD.top - PAD.bottom, 10);
    return {
      top, box,
      x: (frame) => PAD.left + ((frame - first) / (last - first)) * width,
      y: (amount) => PAD.top + (1 - amount / top) * height,
      frameAt: (px) => first + ((px - PAD.left) / width) * (last - first),
      amountAt: (py) => (1 - (py - PAD.top) / height) * top,
    };
  }

  draw() {
    this.svg.replaceChildren();
    if (!this.scene || !this.filter?.fade) return;
    const g = this.geometry();
    for (const amount of [0, 0.5, 1, g.top].filter((a, i, all) => all.indexOf(a) === i)) {
      const y = g.y(amount);
      node('line', { x1: PAD.left, x2: g.box.width - PAD.right, y1: y, y2: y, class: 'grid' }, this.svg);
      node('text', { x: PAD.left - 6, y: y + 4, class: 'label end' }, this.svg).textContent = amount;
    }
    for (const frame of [this.scene.firstFrame, this.scene.lastFrame])
      node('text', { x: g.x(frame), y: g.box.height - 6, class: 'label middle' }, this.svg).textContent = frame;
    const line = this.filter.fade.map(([frame, amount]) => `${g.x(frame)},${g.y(amount)}`).join(' ');
    node('polyline', { points: line, class: 'fade' }, this.svg);
    this.cursor = node('line', { class: 'cursor' }, this.svg);
    this.drawCursor();
    this.drawKeys(g);
  }

  drawCursor() {
    if (!this.cursor || !this.scene) return;
    const g = this.geometry();
    const x = g.x(this.frame);
    for (const [k, v] of Object.entries({ x1: x, x2: x, y1: PAD.top, y2: g.box.height - PAD.bottom }))
      this.cursor.setAttribute(k, v);
  }

  // The fade at a frame, read off the server's curve.
  amountAt(frame) {
    const fade = this.filter.fade;
    let best = fade[0];
    for (const point of fade) if (Math.abs(point[0] - frame) < Math.abs(best[0] - frame)) best = point;
    return best ? best[1] : 0;
  }

  drawKeys(g) {
    const item = this.item;
    if (!item) return;
    item.keys.forEach((key, index) => {
      const dot = node('circle', {
        cx: g.x(key.frame), cy: g.y(this.amountAt(key.frame)), r: 6,
        class: 'key' + (index === this.selected ? ' selected' : ''), 'data-key': index,
      }, this.svg);
      node('title', {}, dot).textContent = `key at frame ${key.frame}`;
      dot.addEventListener('pointerdown', (e) => this.grab(e, index));
    });
  }

  grab(event, index) {
    event.stopPropagation();
    this.selected = index;
    this.svg.focus();
    const dot = event.target;
    dot.setPointerCapture(event.pointerId);
    this.drag = { index, keys: structuredClone(this.item.keys), sent: 0 };
    dot.addEventListener('pointermove', (e) => this.move(e, dot));
    dot.addEventListener('pointerup', () => this.release(), { once: true });
  }

  move(event, dot) {
    if (!this.drag) return;
    const g = this.geometry();
    const box = this.svg.getBoundingClientRect();
    const keys = this.drag.keys, index = this.drag.index;
    const low = index > 0 ? keys[index - 1].frame + 1 : -Infinity;
    const high = index + 1 < keys.length ? keys[index + 1].frame - 1 : Infinity;
    const frame = Math.min(high, Math.max(low, Math.round(g.frameAt(event.clientX - box.left))));
    const amount = Math.max(0, g.amountAt(event.clientY - box.top));
    const [channel, axis] = this.component;
    keys[index].frame = frame;
    keys[index][channel][axis] = amount * (this.settings.fadeDivisor || 1);
    dot.setAttribute('cx', g.x(frame));
    dot.setAttribute('cy', g.y(Math.min(amount, g.top)));
    if (performance.now() - this.drag.sent > 80) {
      this.drag.sent = performance.now();
      this.sendKeys(this.item.id, keys);
    }
  }

  async release() {
    const drag = this.drag;
    this.drag = null;
    if (drag) await this.sendKeys(this.item.id, drag.keys);
  }

  async add(event) {
    const item = this.item;
    if (!item || event.target.classList.contains('key')) return;
    const g = this.geometry();
    const box = this.svg.getBoundingClientRect();
    const frame = Math.round(g.frameAt(event.clientX - box.left));
    if (item.keys.some((k) => k.frame === frame)) return;
    const distance = (k) => Math.abs(k.frame - frame);
    const nearest = item.keys.reduce((a, k) => (!a || distance(k) < distance(a) ? k : a), null);
    const key = nearest ? structuredClone(nearest) : { position: [0, 0, 0], scale: [1, 1, 1] };
    const [channel, axis] = this.component;
    key.frame = frame;
    key[channel][axis] = Math.max(0, g.amountAt(event.clientY - box.top)) * (this.settings.fadeDivisor || 1);
    const keys = [...item.keys, key].sort((a, b) => a.frame - b.frame);
    this.selected = keys.indexOf(key);
    await this.sendKeys(item.id, keys);
  }

  async key(event) {
    if ((event.key !== 'Delete' && event.key !== 'Backspace') || this.selected === null || !this.item) return;
    event.preventDefault();
    const keys = this.item.keys.filter((_, i) => i !== this.selected);
    this.selected = null;
    await this.sendKeys(this.item.id, keys);
  }

  describe() {
    const [channel, axis] = this.component;
    if (!this.item) return 'no control item: the look stays at fade 0';
    return `${channel === 'scale' ? 'scale' : 'position'} ${AXES[axis] ?? '?'} ÷ ${this.settings.fadeDivisor}` +
      (this.settings.allowNegatives ? ', negatives count by their size' : '');
  }
}

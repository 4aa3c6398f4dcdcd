// The viewer page: the frame, the filter's settings, the fade curve, the
// module's panels, saving and rendering, all kept in step with the server.
import { getState, listen, post } from './api.js';
import { FadeCurve } from './curve.js';
import { ModulePanels } from './panels.js';
import { SettingsForm } from './settings.js';
import { Viewer } from './viewer.js';

const $ = (id) => document.getElementById(id);

// What tests and the benchmark read: each frame shown after an input event,
// with the time from the event to the frame's image decoded.
window.kivo = { timings: [], shown: null, state: null, editing: 0 };

const app = {
  state: null,
  filter: 0,
  since: null, // input event of the edit whose frame is awaited

  apply(state) {
    if (this.state && state.version < this.state.version) return; // overtaken
    const changed = !this.state || state.version !== this.state.version;
    this.state = window.kivo.state = state;
    if (changed) viewer.show(viewer.frame, this.takeSince()); // the frame's request first: it takes longest
    const scene = state.scene;
    $('scene-path').textContent = state.scenePath;
    $('unsaved').hidden = state.unsaved.length === 0;
    $('unsaved').title = state.unsaved.join('\n');
    document.title = (state.unsaved.length ? '● ' : '') + 'vidmixer preview: ' + state.scenePath;
    this.fillFilters(scene);
    const filter = scene.filters[this.filter];
    $('description').textContent = filter?.description ?? 'The scene has no filter.';
    if (filter?.settings) settings.show(state.facts, filter, scene.items);
    $('controls').hidden = !filter?.settings;
    this.fillControlItems(scene, filter);
    curve.show(scene, filter, viewer.frame);
    $('fade-source').textContent = filter?.settings ? curve.describe() : '';
    this.showRender(state.render);
  },

  takeSince() {
    const since = this.since;
    this.since = null;
    return since;
  },

  fillFilters(scene) {
    const select = $('filter');
    const names = scene.filters.map((f, i) => `${i + 1}. ${f.server}`);
    if (JSON.stringify([...select.options].map((o) => o.text)) !== JSON.stringify(names)) {
      select.replaceChildren(...names.map((name, i) => new Option(name, i)));
    }
    select.value = this.filter;
    select.hidden = scene.filters.length < 2;
    $('module-panel').disabled = scene.filters.length === 0;
  },

  fillControlItems(scene, filter) {
    const select = $('control-item');
    select.replaceChildren(new Option('none', 0), ...scene.items.map((i) => new Option(`${i.name} (${i.id})`, i.id)));
    select.value = filter?.settings?.controlItem ?? 0;
    select.disabled = !filter?.settings;
  },

  showRender(render) {
    if (this.starting && render.status === 'failed' && /--overwrite/.test(render.message)) {
      this.starting = false; // the output has files: ask before replacing them
      if (confirm(render.message.replace(/^vidmixer: /, '') + '\n\nReplace them?')) startRender(true);
    }
    if (render.status !== 'running') this.starting = false;
    const running = render.status === 'running';
    $('render-start').disabled = running || !render.output;
    $('render-start').title = render.output
      ? `Render the whole input to ${render.output}`
      : 'Start the viewer with -o OUTPUT to render';
    $('render-cancel').disabled = !running;
    $('render-progress').max = Math.max(render.total, 1);
    $('render-progress').value = render.written;
    const words = {
      idle: render.output ? `to ${render.output}` : 'no output (-o) given',
      running: `${render.written}/${render.total} frames to ${render.output}` +
        (render.replayed ? `, ${render.replayed} replayed` : ''),
      finished: `finished: ${render.written} frames in ${render.output}`,
      cancelled: `cancelled after ${render.written} frames`,
      failed: `failed: ${render.message}`,
    };
    $('render-status').textContent = words[render.status] ?? render.status;
    $('render-status').className = render.status;
  },

  async edit(call, since = null) {
    window.kivo.editing++; // edits on their way to the server
    try {
      if (since !== null) this.since = since;
      this.apply(await call());
    } catch (error) {
      this.since = null;
      panels.message('error', error.message, '');
    } finally {
      window.kivo.editing--;
    }
  },
};

const viewer = new Viewer((frame, loadTime, since) => {
  window.kivo.shown = { frame, version: app.state?.version, at: loadTime };
  if (since !== null && since !== undefined) window.kivo.timings.push({ frame, ms: loadTime - since });
  curve.setFrame(frame);
});
const settings = new SettingsForm($('controls'), (changes, since) =>
  app.edit(() => post('/api/settings', { filter: app.filter, settings: changes }), since));
const curve = new FadeCurve($('curve'), (item, keys) => app.edit(() => post('/api/keys', { item, keys })));
const panels = new ModulePanels($('dialogs'), async () => {
  app.apply(await getState());
  viewer.show(viewer.frame); // frames wait while a panel is open
});

function wire() {
  $('controls').addEventListener('submit', (e) => e.preventDefault()); // Enter in a field only sets it
  $('filter').addEventListener('change', (e) => {
    app.filter = Number(e.target.value);
    settings.built = null;
    app.apply({ ...app.state });
  });
  const problem = (error) => panels.message('error', error.message, '');
  $('control-item').addEventListener('change', (e) => app.edit(
    () => post('/api/settings', { filter: app.filter, settings: { controlItem: e.target.value } }), e.timeStamp));
  $('module-panel').addEventListener('click', () => panels.open(app.filter).catch(problem));
  $('save').addEventListener('click', save);
  $('revert').addEventListener('click', () => {
    if (app.state.unsaved.length && !confirm('Drop these changes?\n' + app.state.unsaved.join('\n'))) return;
    app.edit(() => post('/api/revert'));
  });
  $('quit').addEventListener('click', quit);
  $('render-start').addEventListener('click', () => startRender(false));
  $('render-cancel').addEventListener('click', () => post('/api/render/cancel').then((r) => app.showRender(r)));
  document.addEventListener('keydown', keys);
}

// The render's states come as events, the first one before this answer.
function startRender(overwrite) {
  app.starting = !overwrite;
  post('/api/render/start', { overwrite }).catch((error) => panels.message('error', error.message, ''));
}

function keys(event) {
  if ((event.ctrlKey || event.metaKey) && event.key === 's') {
    event.preventDefault();
    save();
    return;
  }
  const typing = ['INPUT', 'SELECT', 'TEXTAREA'].includes(document.activeElement?.tagName);
  if (typing || document.querySelector('dialog[open]')) return;
  if (event.key === 'ArrowLeft') viewer.go(viewer.frame - 1);
  else if (event.key === 'ArrowRight') viewer.go(viewer.frame + 1);
  else if (event.key === ' ') {
    event.preventDefault();
    viewer.playing ? viewer.pause() : viewer.play();
  }
}

// Every edit made before Save or Quit reaches the server first: a number
// still being typed (as Enter would send it), a setting waiting for its
// delay, and those on their way.
async function settle() {
  if ($('controls').contains(document.activeElement)) document.activeElement.blur();
  await settings.settle();
  while (window.kivo.editing) await new Promise((resolve) => setTimeout(resolve, 10));
}

async function save() {
  await settle();
  await app.edit(() => post('/api/save'));
}

async function quit() {
  await settle();
  const unsaved = app.state.unsaved;
  if (unsaved.length && !confirm('Quit without saving these changes?\n' + unsaved.join('\n'))) return;
  await post('/api/quit');
  document.body.classList.add('stopped');
  const note = Object.assign(document.createElement('p'), { textContent: 'The viewer has stopped. Close this page.' });
  document.body.replaceChildren(note);
}

async function start() {
  history.replaceState(null, '', '/'); // the token stays out of the address bar; the cookie carries it
  const state = await getState();
  panels.serial = panels.shownOutcome = state.panel.serial;
  viewer.setRange(state.input.view, state.scene.fps);
  app.apply(state);
  if (state.panel.open) panels.render(state.panel);
  listen({
    // Another page's edit (this page's own come back with their answers).
    scene: (event) => event.version !== app.state.version && !window.kivo.editing &&
      getState().then((s) => app.apply(s)),
    replay: (event) => viewer.showReplay(event),
    render: (event) => app.showRender(event),
    panel: (event) => panels.render(event),
  });
  wire();
}

start().catch((error) => {
  document.body.textContent = 'The viewer cannot start: ' + error.message;
});

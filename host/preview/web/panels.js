// The module's own panels, drawn as modal dialogs where the module placed
// their controls. Each change goes to the module's event callback on the
// server, which may open a settings panel on top; OK and Cancel close the
// innermost panel, as in `vidmixer edit`. The module's messages follow as
// dialogs of their own.
import { post } from './api.js';

const CELL = 8;       // the host's character cell, in panel units
const SCALE = 1.35;   // panel units to page pixels

const hex = (n) => Math.max(0, Math.min(255, n)).toString(16).padStart(2, '0');

export class ModulePanels {
  constructor(host, onClosed) {
    this.host = host;         // where the dialogs go
    this.onClosed = onClosed; // (outcome) after the activation ended
    this.dialogs = [];
    this.shownOutcome = null;
    this.serial = 0;
  }

  async open(filter) {
    this.render(await post('/api/panel/open', { filter }));
  }

  // Actions go one at a time, in the order the user took them.
  act(depth, body) {
    this.queue = (this.queue ?? Promise.resolve()).then(async () => {
      try {
        this.render(await post('/api/panel/action', { panel: depth, ...body }));
      } catch (error) {
        this.message('error', error.message, '');
      }
    });
    return this.queue;
  }

  // Shows the open panels, outermost first; quietly keeps what is unchanged.
  render(state) {
    if (state.serial < this.serial) return; // an older event, overtaken
    this.serial = state.serial;
    const panels = state.open ? state.panels : [];
    while (this.dialogs.length > panels.length) this.dialogs.pop().remove();
    panels.forEach((panel, i) => {
      const signature = JSON.stringify([panel.title, panel.controls.map((c) => [c.label, c.items])]);
      let dialog = this.dialogs[i];
      if (dialog && dialog.dataset.signature !== signature) {
        this.dialogs.splice(i).forEach((d) => d.remove());
        dialog = undefined;
      }
      if (!dialog) {
        dialog = this.build(panel, i + 1, signature);
        this.dialogs.push(dialog);
        dialog.showModal();
      }
      this.fill(dialog, panel);
    });
    if (!state.open && state.outcome && state.serial !== this.shownOutcome) {
      this.shownOutcome = state.serial;
      this.finish(state.outcome);
    }
  }

  finish(outcome) {
    for (const message of outcome.messages ?? []) this.message(message.kind, message.line1, message.line2);
    if (outcome.error) this.message('error', outcome.error, '');
    this.onClosed(outcome);
  }

  build(panel, depth, signature) {
    const dialog = document.createElement('dialog');
    dialog.className = 'module-panel';
    dialog.dataset.signature = signature;
    dialog.dataset.depth = depth;
    const title = document.createElement('h2');
    title.textContent = panel.title;
    const body = document.createElement('div');
    body.className = 'panel-body';
    body.style.width = `${panel.width * SCALE}px`;
    body.style.height = `${panel.height * SCALE}px`;
    for (const control of panel.controls) body.append(this.control(control, depth));
    const buttons = document.createElement('div');
    buttons.className = 'buttons';
    for (const [text, action] of [['OK', 'ok'], ['Cancel', 'cancel']]) {
      const button = Object.assign(document.createElement('button'), { type: 'button', textContent: text });
      button.addEventListener('click', () => this.act(depth, { action }));
      buttons.append(button);
    }
    dialog.addEventListener('cancel', (e) => {
      e.preventDefault(); // Escape cancels through the module, like the button
      this.act(depth, { action: 'cancel' });
    });
    dialog.append(title, body, buttons);
    this.host.append(dialog);
    return dialog;
  }

  control(control, depth) {
    const row = document.createElement('label');
    row.className = 'panel-control';
    row.style.left = `${control.x * SCALE}px`;
    row.style.top = `${control.y * SCALE}px`;
    const label = document.createElement('span');
    label.className = 'panel-label';
    label.textContent = control.label;
    label.style.width = `${(control.labelWidth / CELL) * SCALE * CELL}px`;
    const input = this.input(control, (value) => this.act(depth, { action: 'set', control: control.index, value }));
    input.dataset.index = control.index;
    row.append(label, input);
    return row;
  }

  input(control, set) {
    let input;
    if (control.kind === 'choice' || control.kind === 'item') {
      input = document.createElement('select');
      control.items.forEach((text, i) =>
        input.append(new Option(text.trim(), control.kind === 'item' ? control.itemIds[i] : i)));
      input.addEventListener('change', () => set(Number(input.value)));
    } else if (control.kind === 'checkbox') {
      input = Object.assign(document.createElement('input'), { type: 'checkbox' });
      input.addEventListener('change', () => set(input.checked ? 1 : 0));
    } else if (control.kind === 'colour') {
      input = Object.assign(document.createElement('input'), { type: 'color' });
      input.addEventListener('change', () => set([1, 3, 5].map((at) => parseInt(input.value.slice(at, at + 2), 16))));
    } else {
      input = Object.assign(document.createElement('input'), { type: 'number', step: 1 });
      input.addEventListener('change', () => Number.isInteger(Number(input.value)) && set(Number(input.value)));
    }
    input.setAttribute('aria-label', control.label);
    return input;
  }

  // Shows the panel's values; the control being edited keeps what the user
  // put in it, which goes out with its change.
  fill(dialog, panel) {
    for (const control of panel.controls) {
      const input = dialog.querySelector(`[data-index="${control.index}"]`);
      if (input === document.activeElement) continue;
      if (control.kind === 'checkbox') input.checked = control.value !== 0;
      else if (control.kind === 'colour') input.value = '#' + control.value.map(hex).join('');
      else if (control.kind === 'choice' && !(control.value >= 0 && control.value < control.items.length))
        input.value = ''; // a stored value outside the list
      else input.value = control.value;
    }
  }

  message(kind, line1, line2) {
    const dialog = document.createElement('dialog');
    dialog.className = 'message ' + kind;
    const text = document.createElement('p');
    text.textContent = line1;
    const more = document.createElement('p');
    more.textContent = line2;
    const ok = Object.assign(document.createElement('button'), { type: 'button', textContent: 'OK' });
    ok.addEventListener('click', () => dialog.remove());
    dialog.append(text, more, ok);
    this.host.append(dialog);
    dialog.showModal();
  }
}

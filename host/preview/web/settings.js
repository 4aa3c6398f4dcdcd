// A control for every setting of a filter, built from the settings' facts
// (the table `vidmixer info` and `set` use): a list for each choice, a switch
// for each switch, a number and a slider over the setting's range, one colour
// picker for a colour group (the mix colour), and a list of the scene's items.
// Changes are gathered for a moment and sent together; while one request is
// on its way, later changes wait and go as one.
const SLIDER_STEPS = 1000;
const SLIDER_TOP = 4096; // where a slider over an open range ends; the number takes any value in range

const hex = (n) => n.toString(16).padStart(2, '0');
const trimmed = (text) => text.trim().replace(/\s*:$/, '');

// A slider position and a value, logarithmic over wide ranges.
function sliderScale(facts) {
  const top = Math.min(facts.maximum, Math.max(facts.minimum, SLIDER_TOP));
  const wide = top - facts.minimum > SLIDER_STEPS && facts.minimum > 0;
  if (!wide) return { min: facts.minimum, max: top, toValue: (p) => p, toPosition: (v) => v };
  const ratio = Math.log(top / facts.minimum);
  return {
    min: 0,
    max: SLIDER_STEPS,
    toValue: (p) => Math.round(facts.minimum * Math.exp((ratio * p) / SLIDER_STEPS)),
    toPosition: (v) => Math.round((SLIDER_STEPS * Math.log(Math.max(v, facts.minimum) / facts.minimum)) / ratio),
  };
}

export class SettingsForm {
  constructor(form, send) {
    this.form = form;
    this.send = send; // (changes {name: value}) => Promise, one at a time
    this.pending = {};
    this.since = null; // time of the first input event not yet sent
    this.timer = null;
    this.busy = false;
    this.waiting = false; // pending changes counted in window.kivo.editing
    this.sending = null; // the change on its way
    this.fields = new Map(); // name -> {set(value)}
    this.built = null;
  }

  // Builds the controls once for the facts and scene items, then fills values.
  // facts: {settings, groups}; a group's members share one control.
  show(facts, filter, items) {
    const signature = JSON.stringify([facts.settings.map((f) => f.name), items.map((i) => [i.id, i.name])]);
    if (this.built !== signature) this.build(facts, items, signature);
    for (const field of this.fields.values()) field.set(filter.settings);
  }

  build(facts, items, signature) {
    this.form.replaceChildren();
    this.fields.clear();
    const groups = new Map(facts.groups.map((group) => [group.name, group]));
    for (const setting of facts.settings) {
      const group = groups.get(setting.group);
      const name = group ? group.name : setting.name;
      if (this.fields.has(name)) continue;
      const row = document.createElement('label');
      row.className = 'setting';
      row.title = (group ?? setting).description;
      const label = document.createElement('span');
      label.textContent = trimmed((group ?? setting).label);
      const field = group ? this.colour(group) : this.control(setting, items);
      row.append(label, ...field.elements);
      this.form.append(row);
      this.fields.set(name, field);
    }
    this.built = signature;
  }

  control(facts, items) {
    switch (facts.kind) {
      case 'switch': return this.toggle(facts);
      case 'choice': return this.list(facts, facts.items.map((text, i) => [facts.valueNames[i], text.trim()]));
      case 'item': return this.list(facts, [['0', 'none'], ...items.map((i) => [String(i.id), `${i.name} (${i.id})`])]);
      default: return this.number(facts);
    }
  }

  toggle(facts) {
    const box = Object.assign(document.createElement('input'), { type: 'checkbox', name: facts.name });
    box.addEventListener('change', (e) => this.change({ [facts.name]: box.checked ? 'on' : 'off' }, e, 0));
    return { elements: [box], set: (s) => this.fill(box, s[facts.name], (v) => (box.checked = v !== 0)) };
  }

  list(facts, options) {
    const select = Object.assign(document.createElement('select'), { name: facts.name });
    for (const [value, text] of options) select.append(new Option(text, value));
    select.addEventListener('change', (e) => this.change({ [facts.name]: select.value }, e, 0));
    const valueOf = (v) => (facts.kind === 'item' ? String(v) : facts.valueNames[v]);
    return { elements: [select], set: (s) => this.fill(select, s[facts.name], (v) => (select.value = valueOf(v))) };
  }

  number(facts) {
    const scale = sliderScale(facts);
    const slider = Object.assign(document.createElement('input'), { type: 'range', min: scale.min, max: scale.max });
    const field = Object.assign(document.createElement('input'), {
      type: 'number', name: facts.name, min: facts.minimum, max: facts.maximum, step: 1, required: true,
    });
    slider.setAttribute('aria-label', facts.name + ' slider');
    slider.addEventListener('input', (e) => {
      field.value = scale.toValue(Number(slider.value));
      this.change({ [facts.name]: field.value }, e, 60);
    });
    field.addEventListener('change', (e) => {
      if (!field.reportValidity()) return;
      slider.value = scale.toPosition(Number(field.value));
      this.change({ [facts.name]: field.value }, e, 0);
    });
    const set = (s) => this.fill(field, s[facts.name], (v) => {
      field.value = v;
      slider.value = scale.toPosition(v);
    });
    return { elements: [field, slider], set };
  }

  // One picker for a colour group, sent as the group's own pair (mix=R,G,B).
  colour(group) {
    const picker = Object.assign(document.createElement('input'), { type: 'color', name: group.name });
    picker.addEventListener('input', (e) => {
      const parts = [1, 3, 5].map((at) => parseInt(picker.value.slice(at, at + 2), 16));
      this.change({ [group.name]: parts.join(',') }, e, 60);
    });
    const set = (s) => {
      const values = group.members.map((member) => s[member]);
      picker.disabled = values.some((v) => v === null || v === undefined);
      if (!picker.disabled) picker.value = '#' + values.map(hex).join('');
    };
    return { elements: [picker], set };
  }

  fill(element, value, apply) {
    element.disabled = value === null || value === undefined;
    if (!element.disabled && document.activeElement !== element) apply(value);
  }

  change(values, event, delay) {
    Object.assign(this.pending, values);
    this.since = event.timeStamp; // the frame answers the latest input
    if (!this.waiting) window.kivo.editing++; // a change waiting for its delay is on its way too
    this.waiting = true;
    clearTimeout(this.timer);
    this.timer = setTimeout(() => this.flush(), delay);
  }

  async flush() {
    clearTimeout(this.timer);
    if (this.busy || Object.keys(this.pending).length === 0) return;
    const changes = this.pending, since = this.since;
    this.pending = {};
    this.since = null;
    this.busy = true;
    this.sending = this.send(changes, since); // counts itself on its way from here
    if (this.waiting) window.kivo.editing--;
    this.waiting = false;
    try {
      await this.sending;
    } finally {
      this.busy = false;
      if (Object.keys(this.pending).length) this.flush();
    }
  }

  // Sends at once what waits for its delay; resolves when every change has
  // had its answer.
  async settle() {
    while (this.busy) await this.sending.catch(() => {});
    await this.flush();
  }
}

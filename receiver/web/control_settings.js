// The settings forms: one per section of trackwire_receiver.ini, drawn from
// the table the receiver sends with the model. The receiver's reader checks
// every value and says what is wrong beside its field; a save edits the file
// in place. Everything from the receiver is set as text, never as markup.
(() => {
  const root = document.getElementById('settings');
  const forms = document.getElementById('settings-forms');
  const status = document.getElementById('settings-status');
  const general = document.getElementById('settings-general');
  const saveButton = document.getElementById('settings-save');
  const reloadButton = document.getElementById('settings-reload');
  let model = null;
  // The sections shown, by id ("history", "file title.txt"): their form,
  // their fields by key, and whether the page added or removes them.
  let shown = new Map();
  let checkTimer = 0;

  const element = (tag, className, text) => {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  };
  // As the receiver names sections: only A to Z in lower case.
  const sectionId = (kind, name) => (kind + ' ' + name.trim()).replace(/[A-Z]/g, c => c.toLowerCase());

  // A call whose answer is wanted also when it is a refusal.
  async function settingsCall(name, body) {
    const options = {method: body === undefined ? 'GET' : 'POST', cache: 'no-store',
                     headers: {'X-Trackwire-Key': control.key}};
    if (body !== undefined) {
      options.headers['Content-Type'] = 'application/json';
      options.body = JSON.stringify(body);
    }
    const response = await fetch('/control/api/' + name, options);
    const answer = await response.json().catch(() => ({}));
    return {status: response.status, answer};
  }

  function say(text, kind) {
    status.textContent = text;
    status.className = kind ? 'settings-status-' + kind : '';
  }

  // One field: its input, and how its change reads.
  function makeField(section, field, values) {
    const wrap = element('div', 'settings-field');
    wrap.dataset.key = field.key;
    const id = 'setting-' + section.id.replace(/[^a-z0-9]+/g, '-') + '-' + field.key;
    const label = element('label', '', field.key);
    label.htmlFor = id;
    wrap.append(label);
    const given = values[field.key];
    let input;
    if (field.kind === 'yesno' || field.kind === 'choice') {
      input = element('select');
      const choices = field.kind === 'yesno' ? ['yes', 'no'] : field.choices.split('|');
      input.append(new Option('default (' + field.default + ')', ''));
      for (const choice of choices) input.append(new Option(choice, choice));
      const known = given === undefined || choices.includes(given);
      if (!known) input.append(new Option(given, given));
    } else if (field.kind === 'header') {
      input = element('textarea');
      input.rows = 3;
    } else {
      input = element('input');
      input.type = field.secret ? 'password' : 'text';
      input.spellcheck = false;
      if (field.kind === 'number') input.inputMode = 'decimal';
      if (field.kind === 'url') input.inputMode = 'url';
      if (field.kind === 'template') input.className = 'settings-template';
      if (!field.secret && field.default) input.placeholder = field.default;
    }
    input.id = id;
    input.dataset.section = section.id;
    input.dataset.key = field.key;
    const before = field.secret || given === undefined ? '' : given;
    input.value = before;
    const result = {field, input, wrap, before, change: null, remove: null};
    if (field.secret) {
      const set = given !== undefined && given.set;
      const state = element('span', 'settings-secret', set ? 'set' : 'not set');
      const change = element('label', 'settings-change');
      const box = element('input');
      box.type = 'checkbox';
      change.append(box, ' change');
      input.hidden = true;
      box.addEventListener('change', () => { input.hidden = !box.checked; if (box.checked) input.focus(); });
      wrap.append(state, change);
      result.change = box;
      if (set) {
        const remove = element('label', 'settings-change');
        const removeBox = element('input');
        removeBox.type = 'checkbox';
        remove.append(removeBox, ' remove');
        wrap.append(remove);
        result.remove = removeBox;
      }
    }
    wrap.append(input, element('p', 'settings-help', field.help));
    input.addEventListener('input', checkSoon);
    input.addEventListener('change', checkSoon);
    return result;
  }

  // The changes one field makes, in the form save and check take.
  function fieldChanges(sectionName, item) {
    const {field, input, before} = item;
    const key = field.key;
    if (field.secret) {
      if (item.remove && item.remove.checked) return [{section: sectionName, key, remove: true}];
      if (!item.change.checked || input.value === '') return [];
      if (field.kind === 'header') {
        const lines = input.value.split(/\r?\n/).map(line => line.trim()).filter(Boolean);
        return lines.length ? [{section: sectionName, key, values: lines}] : [];
      }
      return [{section: sectionName, key, value: input.value}];
    }
    if (input.value === before) return [];
    if (input.value === '') return [{section: sectionName, key, remove: true}];
    return [{section: sectionName, key, value: input.value}];
  }

  function changes() {
    const list = [];
    for (const section of shown.values()) {
      if (section.removed) {
        if (!section.added) list.push({section: section.name, remove: true});
        continue;
      }
      if (section.added) list.push({section: section.name, add: true});
      for (const item of section.fields.values()) list.push(...fieldChanges(section.name, item));
    }
    return list;
  }

  function makeSection(schema, data, added) {
    const name = schema.named ? schema.name + ' ' + data.name : schema.name;
    const section = {id: data.id, name, schema, added, removed: false, fields: new Map()};
    const form = element('fieldset', 'settings-section');
    form.dataset.section = data.id;
    const legend = element('legend', '', schema.named ? schema.title + ': ' + data.name : schema.title);
    form.append(legend, element('p', 'settings-help', schema.help));
    const top = element('div', 'settings-problems');
    form.append(top);
    section.problems = top;
    for (const field of schema.fields) {
      const item = makeField(section, field, data.values ?? {});
      section.fields.set(field.key, item);
      form.append(item.wrap);
      if (field.kind === 'template' && (schema.name === 'file' || schema.name === 'chat')) {
        item.preview = element('pre', 'settings-preview');
        item.wrap.insertBefore(item.preview, item.wrap.lastChild);
      }
      if (field.key === 'template' && data.id === 'file now_playing.txt' && model.format) {
        item.wrap.append(element('p', 'settings-note', '--format on the receiver\'s command line wins over this template.'));
      }
    }
    if ((data.unknown ?? []).length) {
      form.append(element('p', 'settings-note', 'Not known here, kept as written: ' + data.unknown.join(', ')));
    }
    if (schema.named) {
      const remove = element('button', 'settings-remove', 'Remove this ' + schema.title.toLowerCase());
      remove.type = 'button';
      remove.addEventListener('click', () => {
        section.removed = !section.removed;
        form.classList.toggle('settings-removed', section.removed);
        remove.textContent = section.removed ? 'Keep it' : 'Remove this ' + schema.title.toLowerCase();
        checkSoon();
      });
      form.append(remove);
    }
    section.form = form;
    shown.set(data.id, section);
    return form;
  }

  function render() {
    forms.replaceChildren();
    shown = new Map();
    for (const schema of model.schema) {
      const group = element('div', 'settings-group');
      const present = model.sections.filter(section => section.kind === schema.name);
      if (present.length && !schema.named) {
        group.append(makeSection(schema, present[0], false));
      } else if (!schema.named) {
        // Not in the file yet: folded, its defaults apply.
        const more = element('details', 'settings-more');
        more.append(element('summary', '', schema.title + ': not in the file, the defaults apply'),
                    makeSection(schema, {id: schema.name, values: {}}, false));
        group.append(more);
      } else {
        for (const data of present) group.append(makeSection(schema, data, false));
        group.append(adder(schema, group));
      }
      forms.append(group);
    }
    showProblems(model.problems, false);
    showPreviews(model.previews);
  }

  // "Add a file" or "Add a webhook" with its name.
  function adder(schema, group) {
    const row = element('div', 'settings-add');
    const name = element('input');
    name.placeholder = schema.name === 'file' ? 'title.txt' : 'discord';
    name.setAttribute('aria-label', 'name of the new ' + schema.title.toLowerCase());
    const add = element('button', '', 'Add a ' + schema.title.toLowerCase());
    add.type = 'button';
    add.dataset.adds = schema.name;
    add.addEventListener('click', () => {
      const text = name.value.trim();
      if (!text) return name.focus();
      const id = sectionId(schema.name, text);
      if (shown.has(id)) return say('[' + schema.name + ' ' + text + '] is there already', 'problem');
      group.insertBefore(makeSection(schema, {id, name: text, values: {}}, true), row);
      name.value = '';
      checkSoon();
    });
    row.append(name, add);
    return row;
  }

  function showProblems(problems, checked) {
    for (const old of root.querySelectorAll('.settings-problem')) old.remove();
    general.replaceChildren();
    for (const problem of problems) {
      const line = element('p', 'settings-problem' + (problem.blocks ? ' settings-new' : ''),
                           problem.message);
      const section = shown.get(problem.id);
      const item = section && section.fields.get(problem.key);
      if (item) {
        item.wrap.insertBefore(line, item.input.nextSibling);
      } else if (section) {
        section.problems.append(line);
      } else {
        general.append(line);
      }
      if (section) section.form.closest('details')?.setAttribute('open', '');
    }
    if (model.others.length) {
      general.append(element('p', 'settings-note',
                             'Sections the forms do not show, kept as written: ' + model.others.join(' ')));
    }
    if (checked) {
      const blocking = problems.filter(problem => problem.blocks).length;
      say(blocking ? blocking + ' problem' + (blocking > 1 ? 's' : '') + ' in the changes: they would not be saved'
                   : '', blocking ? 'problem' : '');
    }
  }

  function showPreviews(previews) {
    const song = model.song;
    const on = song.example ? 'an example song' : (song.artist ? song.artist + ' – ' : '') + song.title;
    for (const section of shown.values()) {
      const item = section.fields.get('template');
      if (!item || !item.preview) continue;
      const text = previews[section.id];
      item.preview.textContent = text === undefined ? '' : text;
      item.preview.title = 'On ' + on;
      item.preview.hidden = text === undefined;
    }
  }

  function conflict() {
    say('the file changed on disk; reload', 'problem');
    reloadButton.hidden = false;
  }

  function checkSoon() {
    clearTimeout(checkTimer);
    checkTimer = setTimeout(check, 400);
  }

  async function check() {
    if (!model) return;
    const {status: code, answer} = await settingsCall('settings/check',
                                                      {version: model.version, changes: changes()});
    if (code === 409) return conflict();
    if (code !== 200) return say(answer.error ?? 'HTTP ' + code, 'problem');
    showProblems(answer.problems, true);
    showPreviews(answer.previews);
  }

  async function save() {
    clearTimeout(checkTimer);
    const list = changes();
    if (!list.length) return say('Nothing to save.');
    saveButton.disabled = true;
    try {
      const {status: code, answer} = await settingsCall('settings/save', {version: model.version, changes: list});
      if (code === 409) return conflict();
      if (code === 422) {
        showProblems(answer.problems, false);
        return say(answer.error, 'problem');
      }
      if (code !== 200) return say(answer.error ?? 'HTTP ' + code, 'problem');
      model = answer;
      render();
      say('Saved: the receiver applies it within a second.', 'saved');
    } finally {
      saveButton.disabled = false;
    }
  }

  async function load() {
    const {status: code, answer} = await settingsCall('settings');
    if (code !== 200) return say(answer.error ?? 'HTTP ' + code, 'problem');
    model = answer;
    reloadButton.hidden = true;
    render();
    say('');
  }

  saveButton.addEventListener('click', save);
  reloadButton.addEventListener('click', load);
  if (control.key) load().catch(error => say(String(error), 'problem'));
})();

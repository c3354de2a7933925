// The page of "noxadmin serve": every change goes to the server, which applies it with the same
// functions as the command line; the page only shows what the server answers. Everything the
// tables hold is put into the page as text (textContent), never as HTML.
'use strict';

(() => {
  const kPageSize = 100;
  const kCustomLevel = '__custom__';

  // What each field of "noxadmin user set" is called in the form.
  const kFieldLabels = {
    'name': 'Name',
    'password': 'Password',
    'level': 'Level',
    'minutes': 'Minutes per day',
    'network': 'Network level',
    'start-page': 'Start page',
    'search-page': 'Search page',
    'proxy-http': 'HTTP proxy',
    'proxy-https': 'HTTPS proxy',
    'proxy-ftp': 'FTP proxy',
    'proxy-gopher': 'Gopher proxy',
    'proxy-socks': 'SOCKS proxy',
    'drives': 'Drive schedules',
    'discs': 'Disc labels',
    'programs': 'Allowed programs',
  };

  const byId = (id) => document.getElementById(id);

  function element(tag, text, className) {
    const node = document.createElement(tag);
    if (text !== undefined) node.textContent = text;
    if (className) node.className = className;
    return node;
  }

  // One request; the answer's body is parsed as JSON when the server says it is JSON.
  async function request(url, init) {
    const response = await fetch(url, {cache: 'no-store', ...init});
    const type = response.headers.get('Content-Type') || '';
    const body = type.includes('application/json') ? await response.json() : await response.text();
    return {status: response.status, ok: response.ok, body};
  }

  function post(url, params) {
    return request(url, {method: 'POST', body: new URLSearchParams(params)});
  }

  function errorText(answer) {
    if (answer.body && typeof answer.body === 'object' && answer.body.error)
      return answer.body.error;
    if (typeof answer.body === 'string' && answer.body.trim()) return answer.body.trim();
    return `The server answered with status ${answer.status}`;
  }

  // The server's message with the command line's notes (such as where an edit will be undone).
  function messageOf(answer, fallback) {
    const notes = (answer.body && answer.body.notes) || [];
    const message = (answer.body && answer.body.message) || fallback;
    return [message, ...notes.map((note) => `Note: ${note}`)].join('\n');
  }

  // Error elements: shown with their text, hidden when empty; the input they describe is marked.
  function showError(errorElement, text) {
    errorElement.textContent = text;
    errorElement.hidden = false;
    for (const input of document.querySelectorAll(`[aria-describedby~="${errorElement.id}"]`)) {
      input.setAttribute('aria-invalid', 'true');
    }
  }

  function clearErrors(scope) {
    for (const errorElement of scope.querySelectorAll('.error')) {
      errorElement.hidden = true;
      if (errorElement.id !== 'import-error') errorElement.textContent = '';
    }
    for (const input of scope.querySelectorAll('[aria-invalid]')) {
      input.removeAttribute('aria-invalid');
    }
  }

  // ------------------------------------------------------------------ the user table

  function numberOrLowest(value) {
    if (value === null || value === undefined || value === 'none') return -1;
    const number = Number(value);
    return Number.isNaN(number) ? -1 : number;
  }

  const kNumericColumns = new Set(['n', 'minutes', 'used', 'lab', 'network']);

  class UserTable {
    constructor(onOpen) {
      this.users = [];
      this.view = [];
      this.sort = {key: 'n', ascending: true};
      this.page = 0;
      this.collator = new Intl.Collator(undefined, {sensitivity: 'base', numeric: true});
      this.onOpen = onOpen;
      this.table = byId('users');
      this.rows = byId('user-rows');
      this.nameFilter = byId('filter-name');
      this.levelFilter = byId('filter-level');
      this.nameFilter.addEventListener('input', () => this.refilter());
      this.levelFilter.addEventListener('change', () => this.refilter());
      byId('page-previous').addEventListener('click', () => this.turn(-1));
      byId('page-next').addEventListener('click', () => this.turn(1));
      for (const header of this.table.querySelectorAll('th[data-key]')) {
        header.querySelector('button').addEventListener(
            'click', () => this.sortBy(header.dataset.key));
      }
      this.rows.addEventListener('click', (event) => {
        const button = event.target.closest('button[data-name]');
        if (button) this.onOpen(button.dataset.name);
      });
    }

    setLevels(levels) {
      if (this.levelFilter.options.length > 1) return;
      for (const name of [...levels.map((level) => level.name), 'Custom', 'Invalid']) {
        this.levelFilter.append(new Option(name, name));
      }
    }

    setUsers(users, labBudget) {
      this.users = users.map((user) => ({...user, key: user.name.toLowerCase()}));
      this.table.classList.toggle('no-lab', !labBudget);
      this.update();
    }

    refilter() {
      this.page = 0;
      this.update();
    }

    turn(step) {
      this.page += step;
      this.render();
    }

    sortBy(key) {
      this.sort = {key, ascending: this.sort.key === key ? !this.sort.ascending : true};
      for (const header of this.table.querySelectorAll('th[data-key]')) {
        if (header.dataset.key === key) {
          header.setAttribute('aria-sort', this.sort.ascending ? 'ascending' : 'descending');
        } else {
          header.removeAttribute('aria-sort');
        }
      }
      this.update();
    }

    compare(a, b) {
      const key = this.sort.key;
      const order = kNumericColumns.has(key) ?
          numberOrLowest(a[key]) - numberOrLowest(b[key]) :
          this.collator.compare(String(a[key]), String(b[key]));
      return (this.sort.ascending ? order : -order) || a.n - b.n;
    }

    update() {
      const text = this.nameFilter.value.trim().toLowerCase();
      const level = this.levelFilter.value;
      this.view = this.users.filter(
          (user) => (!text || user.key.includes(text)) && (!level || user.level === level));
      if (this.sort.key !== 'n' || !this.sort.ascending)
        this.view.sort((a, b) => this.compare(a, b));
      this.render();
    }

    render() {
      const pages = Math.max(1, Math.ceil(this.view.length / kPageSize));
      this.page = Math.min(Math.max(this.page, 0), pages - 1);
      const first = this.page * kPageSize;
      const shown = this.view.slice(first, first + kPageSize);
      const fragment = document.createDocumentFragment();
      for (const user of shown) fragment.append(this.row(user));
      this.rows.replaceChildren(fragment);
      byId('page-info').textContent = `Page ${this.page + 1} of ${pages}`;
      byId('page-previous').disabled = this.page === 0;
      byId('page-next').disabled = this.page >= pages - 1;
      const filtered = this.view.length === this.users.length ? '' : ` (of ${this.users.length})`;
      byId('users-caption').textContent = shown.length ?
          `Users ${first + 1} to ${first + shown.length} of ${this.view.length}${filtered}` :
          `No users${filtered}`;
    }

    row(user) {
      const row = document.createElement('tr');
      const cell = (text, className) => row.append(element('td', text, className));
      cell(String(user.n));
      const nameCell = document.createElement('td');
      const nameButton = element('button', user.name, 'link');
      nameButton.type = 'button';
      nameButton.dataset.name = user.name;
      nameCell.append(nameButton);
      row.append(nameCell);
      cell(user.level);
      cell(user.minutes);
      cell(user.used === null || user.used === undefined ? '' : String(user.used));
      cell(user.lab === null || user.lab === undefined ? '' : String(user.lab), 'lab-column');
      cell(user.network);
      cell(user.programs);
      const actions = document.createElement('td');
      const edit = element('button', 'Edit');
      edit.type = 'button';
      edit.dataset.name = user.name;
      edit.setAttribute('aria-label', `Edit ${user.name}`);
      actions.append(edit);
      row.append(actions);
      return row;
    }
  }

  // ------------------------------------------------------------------ the user form

  class UserForm {
    constructor(page) {
      this.page = page;
      this.fields = [];
      this.levels = [];
      this.lastLevel = null;  // the named level last chosen, for a custom triple to start from
      this.loaded = null;     // {name, fields} as the server gave them; null while adding
      this.section = byId('user-section');
      this.form = byId('user-form');
      this.form.addEventListener('submit', (event) => {
        event.preventDefault();
        this.save();
      });
      byId('user-close').addEventListener('click', () => {
        if (this.mayLeave()) this.close();
      });
      byId('user-remove').addEventListener('click', () => this.remove());
      this.onSubmit('rename-form', () => this.rename());
      this.onSubmit('move-form', () => this.move());
      this.onSubmit('grant-form', () => this.grant());
      this.onSubmit('plan-form', () => this.preview());
      byId('plan-at').addEventListener('input', () => this.updateRegLink());
    }

    onSubmit(id, action) {
      byId(id).addEventListener('submit', (event) => {
        event.preventDefault();
        action();
      });
    }

    build(fields, levels) {
      if (this.fields.length) return;
      this.fields = fields.map((field) => field.name);
      this.levels = levels;
      const container = byId('user-fields');
      for (const field of fields) container.append(this.fieldBlock(field));
    }

    fieldBlock(field) {
      const id = `f-${field.name}`;
      const block = element('div', undefined, 'field');
      const label = element('label', kFieldLabels[field.name] || field.name);
      label.htmlFor = id;
      block.append(label);
      const input = this.inputFor(field, id);
      input.setAttribute('aria-describedby', `${id}-error ${id}-help`);
      block.append(input);
      if (field.name === 'level') block.append(...this.levelExtras(id));
      if (field.name === 'password') {
        const state = element('p', '', 'help');
        state.id = `${id}-state`;
        input.placeholder = 'a new password';
        block.append(state, this.passwordToggle(input));
      }
      const help = element('p', `${field.valueHelp}: ${field.help}`, 'help');
      help.id = `${id}-help`;
      const error = element('p', '', 'error');
      error.id = `${id}-error`;
      error.hidden = true;
      block.append(error, help);
      return block;
    }

    inputFor(field, id) {
      if (field.name === 'level') {
        const select = document.createElement('select');
        select.id = id;
        select.append(new Option('(the default level: None)', ''));
        for (const level of this.levels) select.append(new Option(level.name, level.name));
        select.append(new Option('Custom triple', kCustomLevel));
        select.addEventListener('change', () => this.showLevel());
        return select;
      }
      if (field.name === 'network') {
        const select = document.createElement('select');
        select.id = id;
        for (const value of ['0', '1', '2', '3']) select.append(new Option(value, value));
        return select;
      }
      const input = document.createElement('input');
      input.id = id;
      input.type = field.name === 'password' ? 'password' : 'text';
      input.autocomplete = 'off';
      input.spellcheck = false;
      return input;
    }

    levelExtras(id) {
      const label = element('label', 'Custom level triple (m1,m2,m3)');
      label.htmlFor = `${id}-triple`;
      const triple = document.createElement('input');
      triple.id = `${id}-triple`;
      triple.autocomplete = 'off';
      triple.setAttribute('aria-describedby', `${id}-error ${id}-triple-help`);
      const help = element(
          'p',
          'A triple is stored as given: it keeps no daily budget of its own, so give the ' +
              'minutes again to keep one.',
          'help');
      help.id = `${id}-triple-help`;
      const custom = element('div', undefined, 'custom-level');
      custom.id = `${id}-custom`;
      custom.append(label, triple, help);
      const description = element('ul', undefined, 'restrictions');
      description.id = `${id}-restrictions`;
      description.setAttribute('aria-label', 'What the chosen level restricts');
      return [custom, description];
    }

    passwordToggle(input) {
      const label = element('label', undefined, 'inline');
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.addEventListener('change', () => {
        input.type = box.checked ? 'text' : 'password';
      });
      label.append(box, ' Show password');
      return label;
    }

    // Choosing "Custom triple" starts from the triple of the level chosen before.
    showLevel() {
      const select = byId('f-level');
      const triple = byId('f-level-triple');
      if (select.value === kCustomLevel && !triple.value && this.lastLevel) {
        triple.value = this.lastLevel.triple;
      }
      byId('f-level-custom').hidden = select.value !== kCustomLevel;
      const level = this.levels.find((candidate) => candidate.name === select.value);
      if (level) this.lastLevel = level;
      const list = byId('f-level-restrictions');
      const lines = level ? level.restrictions : [];
      list.replaceChildren(...lines.map((line) => element('li', line)));
      if (level && !lines.length) list.append(element('li', 'no restriction'));
    }

    value(name) {
      if (name === 'level') {
        const select = byId('f-level');
        return select.value === kCustomLevel ? byId('f-level-triple').value.trim() : select.value;
      }
      return byId(`f-${name}`).value;
    }

    setValue(name, value) {
      if (name !== 'level') {
        byId(`f-${name}`).value = value;
        return;
      }
      const named = this.levels.some((level) => level.name === value);
      byId('f-level').value = named ? value : (value ? kCustomLevel : '');
      byId('f-level-triple').value = named ? '' : value;
      this.showLevel();
    }

    openNew() {
      this.loaded = null;
      for (const name of this.fields) this.setValue(name, name === 'network' ? '0' : '');
      byId('f-password-state').textContent = '';
      this.present('New user', 'Add');
      byId('f-name').focus();
    }

    async open(name) {
      const answer = await request(`api/user?name=${encodeURIComponent(name)}`);
      if (!answer.ok) {
        this.page.fail(errorText(answer));
        return false;
      }
      this.loaded = answer.body;
      for (const field of this.fields) this.setValue(field, this.loaded.fields[field] ?? '');
      byId('f-password-state').textContent = `Password: ${this.loaded.password}`;
      byId('user-show').textContent = this.loaded.show || '';
      byId('rename-new').value = this.loaded.name;
      byId('move-position').value = String(this.loaded.n);
      byId('grant-minutes').value = '';
      byId('plan-text').hidden = true;
      this.updateRegLink();
      this.present(`User ${this.loaded.name}`, 'Save');
      // The address names the open user, so that reloading the page opens it again.
      window.history.replaceState(null, '', `#${encodeURIComponent(this.loaded.name)}`);
      return true;
    }

    present(heading, saveText) {
      const editing = this.loaded !== null;
      clearErrors(this.section);
      byId('user-heading').textContent = heading;
      byId('user-save').textContent = saveText;
      byId('f-name').readOnly = editing;
      byId('user-tools').hidden = !editing;
      byId('show-details').hidden = !editing;
      byId('plan-section').hidden = !editing;
      this.section.hidden = false;
    }

    close() {
      this.loaded = null;
      this.section.hidden = true;
      window.history.replaceState(null, '', window.location.pathname);
    }

    // Opening another user or closing the form drops changes not saved yet: asked first.
    mayLeave() {
      if (!this.loaded || this.section.hidden) return true;
      const changed = this.fields.some(
          (field) => field !== 'name' && this.value(field) !== (this.loaded.fields[field] ?? ''));
      return !changed || window.confirm(`Drop the unsaved changes to ${this.loaded.name}?`);
    }

    // A refusal beside the field it names, or above the form when it names none of the form's.
    showRefusal(answer, fallbackId) {
      const named = answer.body?.field === 'drive' ? 'drives' : answer.body?.field;
      const beside = named && !fallbackId ? byId(`f-${named}-error`) : null;
      showError(beside || byId(fallbackId || 'user-error'), errorText(answer));
      if (beside) this.focusField(named);
    }

    focusField(name) {
      const custom = name === 'level' && byId('f-level').value === kCustomLevel;
      byId(custom ? 'f-level-triple' : `f-${name}`).focus();
    }

    // After a change: the page's table and this user as they are now on disk.
    async changed(answer, name) {
      await this.page.reload();
      if (name) await this.open(name);
      this.page.say(messageOf(answer, 'Done'));
    }

    async save() {
      this.page.begin();
      clearErrors(this.section);
      if (!this.loaded) {
        await this.add();
        return;
      }
      const params = new URLSearchParams({name: this.loaded.name});
      for (const field of this.fields) {
        if (field === 'name') continue;
        const was = this.loaded.fields[field] ?? '';
        const now = this.value(field);
        if (now === was) continue;
        params.append(field, now);
        params.append(`was.${field}`, was);
      }
      if ([...params.keys()].length === 1) {
        this.page.say('Nothing to save: no field was changed');
        return;
      }
      const answer = await post('api/user/set', params);
      if (answer.ok) {
        await this.changed(answer, this.loaded.name);
      } else if (answer.status === 409) {
        // Someone changed the user meanwhile: show what is on disk now, with the reason.
        await this.open(this.loaded.name);
        this.showRefusal(answer);
      } else {
        this.showRefusal(answer);
      }
    }

    async add() {
      const params = new URLSearchParams();
      for (const field of this.fields) {
        const value = this.value(field);
        if (value !== '') params.append(field, value);
      }
      const answer = await post('api/user/add', params);
      if (answer.ok) {
        await this.changed(answer, this.value('name'));
      } else {
        this.showRefusal(answer);
      }
    }

    async act(url, params, fallbackId, nameAfter) {
      this.page.begin();
      clearErrors(this.section);
      const answer = await post(url, {name: this.loaded.name, ...params});
      if (answer.ok) {
        await this.changed(answer, nameAfter);
      } else if (answer.status === 409) {
        await this.open(this.loaded.name);
        this.showRefusal(answer, fallbackId);
      } else {
        this.showRefusal(answer, fallbackId);
      }
    }

    // Renaming and moving change which login finds which record: asked first, as removing is.
    async rename() {
      const name = byId('rename-new').value;
      if (!window.confirm(`Rename the user ${this.loaded.name} to ${name}?`)) return;
      await this.act('api/user/rename', {new: name}, 'rename-new-error', name);
    }

    async move() {
      const position = byId('move-position').value;
      if (!window.confirm(`Move the user ${this.loaded.name} to position ${position}?`)) return;
      await this.act('api/user/move', {position}, 'move-position-error', this.loaded.name);
    }

    grant() {
      return this.act(
          'api/user/grant', {minutes: byId('grant-minutes').value}, 'grant-minutes-error',
          this.loaded.name);
    }

    async remove() {
      if (!window.confirm(
              `Remove the user ${this.loaded.name}? Their program list goes with them.`)) {
        return;
      }
      this.page.begin();
      clearErrors(this.section);
      const answer = await post('api/user/remove', {name: this.loaded.name});
      if (answer.ok) {
        this.close();
        await this.changed(answer, null);
      } else {
        this.showRefusal(answer, 'user-error');
      }
    }

    planQuery(extra) {
      const params = new URLSearchParams({name: this.loaded.name, ...extra});
      const at = byId('plan-at').value.trim();
      if (at) params.set('at', at);
      return `api/plan?${params}`;
    }

    updateRegLink() {
      if (!this.loaded) return;
      const link = byId('plan-reg');
      link.href = this.planQuery({format: 'reg'});
      link.download = `${this.loaded.name}.reg`;
    }

    async preview() {
      clearErrors(byId('plan-section'));
      const answer = await request(this.planQuery({}));
      const text = byId('plan-text');
      if (!answer.ok) {
        text.hidden = true;
        showError(byId('plan-at-error'), errorText(answer));
        return;
      }
      text.textContent = answer.body;
      text.hidden = false;
    }
  }

  // ------------------------------------------------------------------ settings

  class SettingsForm {
    constructor(page) {
      this.page = page;
      this.loaded = {};
      this.form = byId('settings-form');
      this.names = [...this.form.querySelectorAll('[name]')].map((input) => input.name);
      this.form.addEventListener('submit', (event) => {
        event.preventDefault();
        this.save();
      });
    }

    show(settings) {
      this.loaded = settings;
      for (const name of this.names) byId(`s-${name}`).value = settings[name] ?? '';
      byId('settings-note').textContent =
          settings.exists ? '' : 'NoxSettings.TBL does not exist yet: saving creates it.';
    }

    async save() {
      this.page.begin();
      clearErrors(this.form);
      const params = new URLSearchParams();
      for (const name of this.names) {
        const value = byId(`s-${name}`).value;
        if (value !== (this.loaded[name] ?? '')) params.append(name, value);
      }
      if (![...params.keys()].length) {
        this.page.say('Nothing to save: no setting was changed');
        return;
      }
      const answer = await post('api/settings', params);
      if (answer.ok) {
        this.page.say(messageOf(answer, 'Settings saved'));
        await this.page.reload();
        return;
      }
      const beside = answer.body?.field ? byId(`s-${answer.body.field}-error`) : null;
      showError(beside || byId('settings-error'), errorText(answer));
    }
  }

  // ------------------------------------------------------------------ import, export, check

  class FilesPanel {
    constructor(page) {
      this.page = page;
      byId('import-form').addEventListener('submit', (event) => {
        event.preventDefault();
        this.import();
      });
      byId('check').addEventListener('click', () => this.check());
    }

    async import() {
      this.page.begin();
      const box = byId('import-error');
      box.hidden = true;
      byId('import-rows').replaceChildren();
      const file = byId('import-file').files[0];
      if (!file) {
        this.refuse('Choose a CSV file first', []);
        return;
      }
      const answer = await request('api/import', {
        method: 'POST',
        headers: {'Content-Type': 'text/csv'},
        body: await file.arrayBuffer(),
      });
      if (answer.ok) {
        this.page.say(messageOf(answer, 'Imported'));
        await this.page.reload();
        return;
      }
      this.refuse(errorText(answer), answer.body?.rows || []);
    }

    refuse(text, rows) {
      byId('import-error-text').textContent = text;
      byId('import-rows')
          .replaceChildren(...rows.map((row) => element('li', `Line ${row.line}: ${row.error}`)));
      byId('import-error').hidden = false;
    }

    async check() {
      const answer = await request('api/check');
      const text = byId('check-text');
      text.textContent = answer.body?.text ?? errorText(answer);
      text.hidden = false;
      this.page.say(answer.body?.ok ? 'The check found no problem' : 'The check found problems');
    }
  }

  // ------------------------------------------------------------------ the page

  class AdminPage {
    constructor() {
      this.table = new UserTable((name) => this.openUser(name));
      this.userForm = new UserForm(this);
      this.settings = new SettingsForm(this);
      this.files = new FilesPanel(this);
      byId('new-user').addEventListener('click', () => {
        if (this.userForm.mayLeave()) this.userForm.openNew();
      });
      window.addEventListener('unhandledrejection', (event) => {
        event.preventDefault();
        this.fail(`The server could not be reached: ${event.reason}`);
      });
    }

    // A new action: the message of the last one goes.
    begin() {
      this.say('');
    }

    say(text) {
      byId('page-error').hidden = true;
      byId('status').textContent = text;
    }

    fail(text) {
      showError(byId('page-error'), text);
    }

    async reload() {
      const answer = await request('api/state');
      if (!answer.ok) {
        this.fail(errorText(answer));
        return;
      }
      const state = answer.body;
      byId('today').textContent =
          `Today is ${state.today}` + (state.labBudget ? '; the lab budget is on.' : '.');
      this.userForm.build(state.fields, state.levels);
      this.table.setLevels(state.levels);
      this.table.setUsers(state.users, state.labBudget);
      this.settings.show(state.settings);
    }

    async openUser(name) {
      if (!this.userForm.mayLeave()) return;
      if (await this.userForm.open(name)) byId('user-heading').scrollIntoView({block: 'nearest'});
    }
  }

  // The user named in the address (#NAME), if any: a hand-made address may not decode.
  function userInAddress() {
    try {
      return decodeURIComponent(window.location.hash.slice(1));
    } catch {
      return '';
    }
  }

  const page = new AdminPage();
  page.reload().then(() => {
    const name = userInAddress();
    if (name) page.openUser(name);
  });
})();

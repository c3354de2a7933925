"""The page of "noxadmin serve" in headless Chromium, against a real server on a temp table folder.

Usage: admin_page_test.py NOXADMIN [unittest options]
"""
import glob
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import unittest
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

NOXADMIN = sys.argv.pop(1) if len(sys.argv) > 1 else os.environ.get('NOXADMIN', 'noxadmin')
CHROMIUM = shutil.which('chromium') or '/usr/bin/chromium'
CHROMEDRIVER = shutil.which('chromedriver') or '/usr/bin/chromedriver'
WAIT_SECONDS = 10

# Records when the first user row appears (and when the server's answer of api/state had come),
# from before the page's own scripts run.
FIRST_ROWS_PROBE = """
new MutationObserver((changes, observer) => {
  if (document.querySelector('#user-rows tr')) {
    const [state] = performance.getEntriesByType('resource')
        .filter((entry) => entry.name.endsWith('api/state'));
    window.noxFirstRows = [performance.now(), state.responseEnd];
    observer.disconnect();
  }
}).observe(document, {childList: true, subtree: true});
"""

# Filters for a name and returns the milliseconds until its row is laid out (or -1 if missing).
FILTER_PROBE = """
const input = document.getElementById('filter-name');
const start = performance.now();
input.value = arguments[0];
input.dispatchEvent(new Event('input', {bubbles: true}));
const rows = document.getElementById('user-rows');
rows.offsetHeight;
const found = [...rows.querySelectorAll('button.link')].some((b) => b.textContent === arguments[0]);
return found ? performance.now() - start : -1;
"""

# Inputs without a label or aria-label, and buttons or button-like links without text.
UNNAMED_CONTROLS_PROBE = """
const unlabelled = [...document.querySelectorAll('input, select, textarea')]
    .filter((c) => !c.labels.length && !c.getAttribute('aria-label'))
    .map((c) => c.id || c.outerHTML);
const untitled = [...document.querySelectorAll('button, a.button')]
    .filter((b) => !b.textContent.trim())
    .map((b) => b.id || b.outerHTML);
return unlabelled.concat(untitled);
"""


def noxadmin(folder, *args):
    return subprocess.run([NOXADMIN, '--dir', folder, *args], capture_output=True, text=True,
                          check=True).stdout


class Server:
    """"noxadmin serve" on a free port; stopped (and its exit status checked) by stop()."""

    def __init__(self, folder):
        self.process = subprocess.Popen([NOXADMIN, 'serve', '--dir', folder, '--port', '0'],
                                        stdout=subprocess.PIPE, text=True)
        self.url = self.process.stdout.readline().strip()

    def stop(self):
        self.process.terminate()
        self.process.stdout.close()
        return self.process.wait(timeout=WAIT_SECONDS)


class Page:
    """The admin page as a user sees it: labelled inputs, buttons by their text."""

    def __init__(self, driver, url):
        self.driver = driver
        self.url = url

    def wait(self, condition, message=''):
        return WebDriverWait(self.driver, WAIT_SECONDS).until(lambda _: condition(), message)

    def load(self):
        self.driver.get(self.url)
        self.wait(lambda: self.driver.find_element(By.ID, 'users-caption').text, 'no table')

    def by_id(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def button(self, text, scope=None):
        scope = scope or self.driver
        return scope.find_element(By.XPATH, f'.//button[normalize-space()="{text}"]')

    def names(self):
        return [b.text for b in self.driver.find_elements(By.CSS_SELECTOR, '#user-rows button.link')]

    def field(self, name):
        return self.by_id(f'f-{name}')

    def fill(self, element, value):
        """Replaces the value by typing, so that the page sees every change."""
        element.send_keys(Keys.CONTROL, 'a')
        element.send_keys(Keys.DELETE)
        element.send_keys(value)

    def open_user(self, name):
        self.fill(self.by_id('filter-name'), name)
        self.wait(lambda: name in self.names(), f'{name} not listed')
        self.driver.find_element(By.XPATH, f'//button[@aria-label="Edit {name}"]').click()
        self.wait(lambda: self.by_id('user-heading').text == f'User {name}', f'{name} not opened')

    def save_field(self, name, value):
        self.fill(self.field(name), value)
        self.by_id('user-save').click()

    def click_and_wait_for_status(self, button):
        """Clicks a button whose action clears the status line, and waits for its message."""
        button.click()
        self.wait(self.status, f'{button.text}: no message')

    def error_beside(self, name):
        """The text of the shown error element the input names in its aria-describedby."""
        for element_id in self.field(name).get_attribute('aria-describedby').split():
            element = self.by_id(element_id)
            if 'error' in element.get_attribute('class') and element.is_displayed():
                return element.text
        return ''

    def status(self):
        return self.by_id('status').text

    def severe_console_entries(self, expected_statuses=()):
        """SEVERE console entries, less the network lines of refusals the test asked for."""
        return [entry['message'] for entry in self.driver.get_log('browser')
                if entry['level'] == 'SEVERE' and not (
                    entry.get('source') == 'network' and
                    any(f'status of {status}' in entry['message'] for status in expected_statuses))]


class AdminPageTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.downloads = tempfile.mkdtemp(prefix='nox-page-downloads-')
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ('--headless=new', '--no-sandbox', '--disable-dev-shm-usage',
                         '--window-size=1280,1000'):
            options.add_argument(argument)
        options.add_experimental_option('prefs', {'download.default_directory': cls.downloads,
                                                  'download.prompt_for_download': False})
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        cls.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        cls.driver.set_script_timeout(WAIT_SECONDS)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        shutil.rmtree(cls.downloads)

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix='nox-page-')
        self.addCleanup(shutil.rmtree, self.folder)
        noxadmin(self.folder, 'user', 'add', 'alice', '--password', 'a1', '--level', 'Office Low',
                 '--minutes', '30')
        self.server = Server(self.folder)
        self.addCleanup(lambda: self.assertEqual(self.server.stop(), 0))
        self.assertRegex(self.server.url, r'^http://127\.0\.0\.1:\d+/[^/]+/$')
        self.page = Page(self.driver, self.server.url)
        self.page.load()
        self.expected_statuses = ()

    def tearDown(self):
        # Leaving the page ends its requests before the server stops.
        self.driver.get('about:blank')
        self.assertEqual(self.page.severe_console_entries(self.expected_statuses), [])

    def export(self):
        return noxadmin(self.folder, 'export')

    def show(self, name):
        return noxadmin(self.folder, 'user', 'show', name)

    def wait_for_download(self, name):
        path = os.path.join(self.downloads, name)
        self.page.wait(lambda: os.path.exists(path) and not glob.glob(path + '.crdownload'),
                       f'{name} not downloaded')
        with open(path, 'rb') as file:
            content = file.read()
        os.remove(path)
        return content

    def test_server_guards_token_and_sends_csp(self):
        with urllib.request.urlopen(self.server.url) as answer:
            policy = answer.headers['Content-Security-Policy']
        script_source = next(p for p in policy.split(';') if p.strip().startswith('script-src'))
        self.assertNotIn('unsafe', script_source)
        self.assertIn("default-src 'none'", policy)
        without_token = self.server.url.rsplit('/', 2)[0] + '/api/state'
        with self.assertRaises(urllib.error.HTTPError) as refused:
            urllib.request.urlopen(without_token)
        self.assertTrue(400 <= refused.exception.code < 500)

    def test_every_control_says_what_it_is(self):
        self.page.open_user('alice')
        self.assertEqual(self.driver.execute_script(UNNAMED_CONTROLS_PROBE), [])

    def test_add_user_with_level_then_edit_minutes(self):
        page = self.page
        page.button('Add user').click()
        page.fill(page.field('name'), 'pupil1')
        page.fill(page.field('password'), 'p1')
        Select(page.field('level')).select_by_visible_text('Education High')
        page.click_and_wait_for_status(page.button('Add'))
        self.assertEqual(page.by_id('user-heading').text, 'User pupil1')
        self.assertIn('pupil1', page.names())
        self.assertRegex(self.show('pupil1'), r'level +Education High')
        page.fill(page.field('minutes'), '45')
        page.click_and_wait_for_status(page.button('Save'))
        self.assertRegex(self.show('pupil1'), r'minutes +45 per day')
        self.assertEqual(page.field('minutes').get_attribute('value'), '45')

    def test_custom_level_triple_starts_from_the_named_level(self):
        page = self.page
        page.open_user('alice')
        Select(page.field('level')).select_by_visible_text('Custom triple')
        triple = page.by_id('f-level-triple')
        office_low = re.search(r'\((.*)\)', noxadmin(self.folder, 'levels', 'Office Low'))[1]
        self.assertEqual(triple.get_attribute('value'), office_low)
        page.fill(triple, '1,2,3')
        page.click_and_wait_for_status(page.button('Save'))
        self.assertRegex(self.show('alice'), r'level +Custom \(1,2,3\)')

    def test_refusals_show_beside_their_field_and_write_nothing(self):
        self.expected_statuses = (422,)
        cases = [('minutes', 'abc', 'neither a number of minutes'),
                 ('proxy-http', 'a b:80', 'no blank'),
                 ('drives', 'C=25:00-26:00', 'not HH:MM-HH:MM'),
                 ('password', ' x', 'cannot begin or end with a blank')]
        page = self.page
        page.open_user('alice')
        before = self.export()
        for field, value, refusal in cases:
            with self.subTest(field=field):
                original = page.field(field).get_attribute('value')
                page.save_field(field, value)
                page.wait(lambda: page.error_beside(field), f'no refusal beside {field}')
                self.assertIn(refusal, page.error_beside(field))
                self.assertEqual(page.field(field).get_attribute('aria-invalid'), 'true')
                self.assertEqual(self.export(), before)
                page.fill(page.field(field), original)

    def test_conflicting_change_is_refused_and_the_form_reloads(self):
        self.expected_statuses = (409,)
        page = self.page
        page.open_user('alice')
        noxadmin(self.folder, 'user', 'set', 'alice', '--minutes', '50')
        page.save_field('minutes', '60')
        page.wait(lambda: page.error_beside('minutes'), 'no conflict message')
        self.assertIn('50', page.error_beside('minutes'))
        page.wait(lambda: page.field('minutes').get_attribute('value') == '50', 'form not reloaded')
        self.assertRegex(self.show('alice'), r'minutes +50 per day')

    def test_change_elsewhere_to_another_field_is_kept(self):
        page = self.page
        page.open_user('alice')
        noxadmin(self.folder, 'user', 'set', 'alice', '--password', 'elsewhere')
        page.fill(page.field('minutes'), '60')
        page.click_and_wait_for_status(page.button('Save'))
        shown = self.show('alice')
        self.assertRegex(shown, r'password +set\n')
        self.assertRegex(shown, r'minutes +60 per day')
        self.assertEqual(page.field('password').get_attribute('value'), '')
        self.assertEqual(page.by_id('f-password-state').text, 'Password: set')

    def test_unsaved_changes_are_not_dropped_unasked(self):
        noxadmin(self.folder, 'user', 'add', 'bob')
        page = self.page
        page.load()
        page.open_user('alice')
        page.fill(page.field('minutes'), '99')
        page.fill(page.by_id('filter-name'), 'bob')
        page.wait(lambda: page.names() == ['bob'], 'bob not listed')
        page.driver.find_element(By.XPATH, '//button[@aria-label="Edit bob"]').click()
        question = page.driver.switch_to.alert
        self.assertIn('alice', question.text)
        question.dismiss()
        self.assertEqual(page.by_id('user-heading').text, 'User alice')
        self.assertEqual(page.field('minutes').get_attribute('value'), '99')

    def test_import_with_a_bad_row_names_its_line_and_imports_nothing(self):
        self.expected_statuses = (422,)
        csv_path = os.path.join(self.folder, 'class.csv')
        with open(csv_path, 'w', encoding='utf-8') as file:
            file.write('name,minutes\nbob,20\ncarl,abc\ndora,10\n')
        before = self.export()
        page = self.page
        page.by_id('import-file').send_keys(csv_path)
        page.button('Import').click()
        page.wait(lambda: page.by_id('import-rows').text, 'no refused rows shown')
        self.assertIn('Line 3', page.by_id('import-rows').text)
        self.assertNotIn('Line 2', page.by_id('import-rows').text)
        self.assertEqual(self.export(), before)
        self.assertEqual(page.names(), ['alice'])

    def test_export_downloads_what_the_command_line_exports(self):
        noxadmin(self.folder, 'user', 'add', 'bob', '--programs', 'calc.exe;notepad.exe')
        self.page.driver.find_element(By.LINK_TEXT, 'Export').click()
        exported = os.path.join(self.folder, 'export.csv')
        noxadmin(self.folder, 'export', '--output', exported)
        with open(exported, 'rb') as file:
            self.assertEqual(self.wait_for_download('users.csv'), file.read())

    def test_preview_of_a_login(self):
        page = self.page
        page.open_user('alice')
        page.fill(page.by_id('plan-at'), '10:15')
        page.button('Preview login').click()
        page.wait(lambda: page.by_id('plan-text').is_displayed(), 'no plan shown')
        expected = noxadmin(self.folder, 'plan', 'alice', '--at', '10:15')
        self.assertEqual(page.by_id('plan-text').text.split(), expected.split())
        page.driver.find_element(By.LINK_TEXT, 'Download .reg').click()
        # A .reg file for Windows: its lines end in CR LF.
        expected_reg = noxadmin(self.folder, 'plan', 'alice', '--at', '10:15', '--format', 'reg')
        self.assertEqual(self.wait_for_download('alice.reg'),
                         expected_reg.replace('\n', '\r\n').encode())

    def test_a_reload_opens_the_same_user_again(self):
        page = self.page
        page.open_user('alice')
        page.driver.refresh()
        page.wait(lambda: page.by_id('user-heading').text == 'User alice', 'not reopened')
        self.assertEqual(page.field('minutes').get_attribute('value'), '30')

    def test_markup_in_names_shows_as_text(self):
        names = ['<b>x</b>', '<img src=x onerror=alert(1)>']
        for name in names:
            noxadmin(self.folder, 'user', 'add', name)
        page = self.page
        page.load()
        self.assertEqual(page.names(), ['alice', *names])
        self.assertEqual(page.driver.find_elements(By.CSS_SELECTOR, '#user-rows b, #user-rows img'),
                         [])
        page.driver.find_elements(By.CSS_SELECTOR, '#user-rows button.link')[1].click()
        page.wait(lambda: page.by_id('user-heading').text == f'User {names[0]}', 'not opened')
        self.assertEqual(page.field('name').get_attribute('value'), names[0])

    def test_table_filters_by_name_and_level_and_sorts(self):
        noxadmin(self.folder, 'user', 'add', 'bob', '--level', 'Education High', '--minutes', '10')
        noxadmin(self.folder, 'user', 'add', 'Carol', '--level', 'Education High')
        page = self.page
        page.load()
        level = Select(page.by_id('filter-level'))
        header = lambda text: page.button(text, page.driver.find_element(By.TAG_NAME, 'thead'))
        cases = [(lambda: level.select_by_visible_text('Education High'), ['bob', 'Carol']),
                 (lambda: page.fill(page.by_id('filter-name'), 'AR'), ['Carol']),
                 (lambda: level.select_by_visible_text('Office Low'), []),
                 (lambda: page.fill(page.by_id('filter-name'), ''), ['alice']),
                 (lambda: level.select_by_index(0), ['alice', 'bob', 'Carol']),
                 (lambda: header('Name').click(), ['alice', 'bob', 'Carol']),
                 (lambda: header('Name').click(), ['Carol', 'bob', 'alice']),
                 (lambda: header('Minutes per day').click(), ['Carol', 'bob', 'alice'])]
        for step, (action, names) in enumerate(cases):
            with self.subTest(step=step):
                action()
                self.assertEqual(page.names(), names)

    def test_settings_are_saved_or_refused_beside_their_field(self):
        self.expected_statuses = (422,)
        page = self.page
        page.fill(page.by_id('s-master-folder'), '\\\\server\\nox')
        Select(page.by_id('s-copy-from-master')).select_by_visible_text('yes')
        page.click_and_wait_for_status(page.button('Save settings'))
        shown = noxadmin(self.folder, 'settings', 'show')
        self.assertRegex(shown, r'master-folder +\\\\server\\nox\\\n')
        self.assertRegex(shown, r'copy-from-master +yes')
        lab_column = page.driver.find_element(By.CSS_SELECTOR, 'th[data-key="lab"]')
        self.assertFalse(lab_column.is_displayed())
        Select(page.by_id('s-lab-budget')).select_by_visible_text('on')
        page.click_and_wait_for_status(page.button('Save settings'))
        self.assertTrue(os.path.isdir(os.path.join(self.folder, 'usage')))
        self.assertTrue(lab_column.is_displayed())
        before = noxadmin(self.folder, 'settings', 'show')
        page.fill(page.by_id('s-master-folder'), 'x' * 201)
        page.button('Save settings').click()
        page.wait(lambda: page.by_id('s-master-folder-error').is_displayed(), 'no refusal')
        self.assertIn('at most 200', page.by_id('s-master-folder-error').text)
        self.assertEqual(noxadmin(self.folder, 'settings', 'show'), before)

    def test_rename_move_grant_and_remove(self):
        noxadmin(self.folder, 'user', 'add', 'bob')
        page = self.page
        page.open_user('alice')
        steps = [('rename-new', 'alicia', 'Rename', True, r'name +alicia'),
                 ('move-position', '2', 'Move', True, r'record +2 of 2'),
                 ('grant-minutes', '15', 'Grant minutes for today', False, r'45 left today')]
        for input_id, value, button, asks, on_disk in steps:
            with self.subTest(button=button):
                page.fill(page.by_id(input_id), value)
                page.button(button).click()
                if asks:
                    page.driver.switch_to.alert.accept()
                page.wait(page.status, f'{button}: no message')
                self.assertRegex(self.show('alicia'), on_disk)
        page.button('Remove').click()
        page.driver.switch_to.alert.accept()
        page.wait(lambda: not page.by_id('user-section').is_displayed() and page.status(),
                  'not removed')
        self.assertNotIn('alicia', self.export())

    def test_check_reports_on_the_tables(self):
        page = self.page
        page.button('Check').click()
        page.wait(lambda: page.by_id('check-text').is_displayed(), 'no report')
        self.assertEqual(page.by_id('check-text').text.split(),
                         noxadmin(self.folder, 'check').split())

    def test_ten_thousand_users_load_and_filter(self):
        count = 10000
        csv_path = os.path.join(self.folder, 'many.csv')
        with open(csv_path, 'w', encoding='utf-8') as file:
            file.write('name,minutes\n')
            file.writelines(f'user{n:05},{n % 120}\n' for n in range(1, count + 1))
        noxadmin(self.folder, 'import', csv_path)
        page = self.page
        probe = page.driver.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument',
                                            {'source': FIRST_ROWS_PROBE})
        self.addCleanup(page.driver.execute_cdp_cmd, 'Page.removeScriptToEvaluateOnNewDocument',
                        probe)
        loads, answered = [], []
        for _ in range(5):
            page.driver.get(page.url)
            rows_ms, state_ms = page.wait(
                lambda: page.driver.execute_script('return window.noxFirstRows'), 'no rows')
            loads.append(rows_ms)
            answered.append(state_ms)
        self.assertIn(f'of {count + 1}', page.by_id('users-caption').text)
        last = f'user{count:05}'
        filter_ms = page.driver.execute_script(FILTER_PROBE, last)
        self.assertEqual(page.names(), [last])
        print(f'\n10,000 users: median load to first rows {statistics.median(loads):.0f} ms '
              f'(loads {", ".join(f"{ms:.0f}" for ms in loads)}; api/state answered after '
              f'a median {statistics.median(answered):.0f} ms); filter to {last} '
              f'{filter_ms:.1f} ms', flush=True)


if __name__ == '__main__':
    unittest.main()

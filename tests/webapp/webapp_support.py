"""Builds the web application model through quorvin-cli, starts the result as a real process and
opens a headless Chromium on it. Shared by the browser tests and the screenshot script.

Environment: QUORVIN_APP_DIR (the application folder with quorvin-cli and models/), optional
QUORVIN_PG_ENV_FILE and QUORVIN_MARIADB_ENV_FILE (the PostgreSQL and MariaDB test servers' settings)."""

import contextlib
import html.parser
import json
import os
import re
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

APP_DIR = os.environ.get("QUORVIN_APP_DIR", "")
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


class Workspace:
    """A temporary folder with private settings, so quorvin-cli never touches the user's own."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="quorvin-webapp-")

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def cli(self, *args):
        # A neutral locale: the models speak English unless a test names a language (--language).
        env = dict(os.environ, XDG_CONFIG_HOME=self.path("config"), XDG_DATA_HOME=self.path("data"),
                   QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
        done = subprocess.run([os.path.join(APP_DIR, "quorvin-cli"), *args], env=env, capture_output=True,
                              text=True, timeout=300)
        if done.returncode != 0:
            raise AssertionError("quorvin-cli %s failed (%d):\n%s%s" % (" ".join(args), done.returncode,
                                                                       done.stdout, done.stderr))
        return done.stdout

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def sample_project(ws, annotate=None):
    """A copy of the annotated sample project over a copy of the sample database; `annotate(conn)`
    may change the annotations (the project file is SQLite) first. Returns (project, database)."""
    db = ws.path("sample.db")
    shutil.copy(os.path.join(APP_DIR, "sample", "sample.db"), db)
    project = ws.path("sample.qvn")
    shutil.copy(os.path.join(APP_DIR, "sample", "sample.qvnm"), project)
    with sqlite3.connect(project) as conn:
        conn.execute("DELETE FROM tb_Project")
        conn.execute("INSERT INTO tb_Project VALUES ('SAMPLE', 'Sample orders', ?, '', '', '')",
                     ("DRIVER={SQLite3};Database=%s;NoCreat=1;" % db,))
        if annotate:
            annotate(conn)
    return project, db


def new_project(ws, connection):
    project = ws.path("project.qvn")
    ws.cli("project", "new", project, "--connection", connection, "--force")
    return project


def project_tables(ws, project, kinds=("TABLE", "VIEW")):
    """Every table and view the project lists (those of the kinds given)."""
    data = json.loads(ws.cli("tables", project, "--json"))
    names = []
    for row in data.get("rows", []):
        cols = row["cols"]
        cols = cols.get("cols", []) if isinstance(cols, dict) else cols
        cols = {c["key"]: c["value"] for c in cols}
        if cols.get("TABLE_TYPE", "").upper() in kinds:
            names.append(row["key"])
    return names


def generate(ws, project, tables, out_name="out", package="webapp", language=None):
    """Builds the model over the tables; in the language number given, else in the one quorvin-cli
    takes from its settings and the locale."""
    out = ws.path(out_name)
    args = ["generate", "--project", project, "--model", os.path.join(APP_DIR, "models", "webapp.qvnm"),
            "--out", out, "--var", "MV_PACKAGE=" + package]
    if language:
        args += ["--language", language]
    if tables:
        args += ["--tables", ",".join(tables)]
    ws.cli(*args)
    return out


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    """The generated application running as its own process."""

    def __init__(self, out, connection, package="webapp"):
        self.port = free_port()
        self.base = "http://127.0.0.1:%d" % self.port
        self.log = open(os.path.join(out, "server.log"), "w+")
        env = dict(os.environ)
        env.pop("DATABASE_URL", None)
        database = ["--db", connection] if connection else []
        self.process = subprocess.Popen([PYTHON, "-m", package, *database, "--port", str(self.port)],
                                        cwd=out, stdout=self.log, stderr=subprocess.STDOUT, env=env)
        deadline = time.time() + 30
        while True:
            try:
                urllib.request.urlopen(self.base + "/", timeout=2).read()
                break
            except (urllib.error.URLError, ConnectionError, OSError):
                if self.process.poll() is not None or time.time() > deadline:
                    self.log.seek(0)
                    raise AssertionError("the application did not start:\n" + self.log.read())
                time.sleep(0.2)

    def output(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()


def browser():
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    profile = tempfile.mkdtemp(prefix="quorvin-chromium-")
    for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--window-size=1280,900", "--user-data-dir=" + profile, "--lang=en-US"):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                              options=options)
    driver.implicitly_wait(0)
    driver._quorvin_profile = profile
    return driver


def close_browser(driver):
    profile = getattr(driver, "_quorvin_profile", None)
    with contextlib.suppress(Exception):
        driver.quit()
    if profile:
        shutil.rmtree(profile, ignore_errors=True)


class _Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []

    def handle_starttag(self, tag, attrs):
        if tag == "a":
            href = dict(attrs).get("href")
            if href:
                self.links.append(href)


def html_problems(text):
    """What the shipped models' HTML check finds wrong in a page: unclosed or misnested elements,
    stray "&", bad or repeated ids, links to missing ids."""
    import importlib.util

    found = importlib.util.spec_from_file_location(
        "check_html", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "model", "check_html.py"))
    check = importlib.util.module_from_spec(found)
    found.loader.exec_module(check)
    checker = check.Checker()
    checker.feed(text)
    checker.close()
    problems = checker.problems + ["<%s> at line %d never closed" % (tag, pos[0]) for tag, pos in checker.stack]
    if not text.lstrip().lower().startswith("<!doctype html"):
        problems.append("no <!DOCTYPE html>")
    problems += ["a bare & at line %d" % n for n, line in enumerate(text.splitlines(), 1)
                 for m in re.finditer("&", line) if not check.REFERENCE.match(line, m.start())]
    return problems


def crawl(base, limit=5000):
    """Follows every link of the application from its home page (GET only); the pages that
    answered with a server error or showed a database error, and the number of pages visited."""
    seen, queue, failures = set(), ["/"], []
    while queue and len(seen) < limit:
        path = queue.pop(0)
        if path in seen:
            continue
        seen.add(path)
        try:
            with urllib.request.urlopen(base + path, timeout=30) as r:
                body = r.read().decode("utf-8")
                status = r.status
        except urllib.error.HTTPError as e:
            body, status = e.read().decode("utf-8", "replace"), e.code
        if status >= 500 or (status < 300 and 'class="message error"' in body):
            failures.append((path, status, body[:2000]))
            continue
        if status >= 400:
            failures.append((path, status, "a link of the application leads nowhere"))
            continue
        problems = html_problems(body)
        if problems:
            failures.append((path, status, "; ".join(problems[:5])))
        parser = _Links()
        parser.feed(body)
        for href in parser.links:
            target = urllib.parse.urljoin(path, href)
            parts = urllib.parse.urlsplit(target)
            if parts.scheme or parts.netloc or parts.path.startswith("/static/"):
                continue
            if target not in seen:
                queue.append(target)
    return failures, len(seen)


def _env_file(variable):
    path = os.environ.get(variable, "")
    settings = {}
    if path and os.path.exists(path):
        with open(path) as f:
            for line in f:
                if "=" in line:
                    k, v = line.strip().split("=", 1)
                    settings[k] = v
    return settings


def pg_settings():
    settings = _env_file("QUORVIN_PG_ENV_FILE")
    return settings if settings.get("PG_SOCKET_DIR") else None


def maria_settings():
    settings = _env_file("QUORVIN_MARIADB_ENV_FILE")
    return settings if settings.get("MARIADB_SOCKET") else None


def mariadb(settings, db, sql):
    """Runs SQL through the mariadb client (names in double quotes); its tab-separated rows."""
    args = ["mariadb", "--no-defaults", "--socket=" + settings["MARIADB_SOCKET"], "--user=" + settings["MARIADB_USER"],
            "--default-character-set=utf8mb4", "--batch", "--skip-column-names"]
    if db:
        args.append("--database=" + db)
    done = subprocess.run(args, input="SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), "
                          "'ANSI_QUOTES');\n" + sql, capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        raise AssertionError(done.stdout + done.stderr)
    return done.stdout.strip()


def mariadb_url(settings, db):
    return "mysql://%s@localhost/%s?unix_socket=%s" % (settings["MARIADB_USER"], db,
                                                        urllib.parse.quote(settings["MARIADB_SOCKET"]))


def psql(settings, db, sql):
    done = subprocess.run(["psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", settings["PG_SOCKET_DIR"],
                           "-p", settings["PG_PORT"], "-U", settings["PG_USER"], "-d", db, *sql],
                          capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        raise AssertionError(done.stdout + done.stderr)
    return done.stdout.strip()


def pg_url(settings, db):
    return "postgresql://%s@/%s?host=%s&port=%s" % (settings["PG_USER"], db,
                                                    urllib.parse.quote(settings["PG_SOCKET_DIR"]),
                                                    settings["PG_PORT"])


def click_and_wait(driver, element, timeout=30):
    """Clicks a link or button and waits until the next page has replaced this one (the old
    document carries a mark the new one lacks)."""
    from selenium.webdriver.support.ui import WebDriverWait

    driver.execute_script("window.quorvinOldPage = true")
    element.click()
    WebDriverWait(driver, timeout).until(lambda d: d.execute_script(
        "return window.quorvinOldPage !== true && document.readyState === 'complete'"))


HOSTILE = ("'\"><script>alert(1)</script>", "1' OR '1'='1", "%_\\", "1; DROP TABLE x --")


def probe(base):
    """Sends hostile text to every search field, the sorting and paging parameters and the row keys
    of every table, as an injection scanner would; the requests that failed with a server error or
    gave a payload back unescaped."""
    failures = []

    def get(path):
        try:
            with urllib.request.urlopen(base + path, timeout=30) as r:
                return r.status, r.read().decode("utf-8")
        except urllib.error.HTTPError as e:
            return e.code, e.read().decode("utf-8", "replace")

    _, home = get("/")
    tables = sorted(set(re.findall(r'href="(/t/[^/"]+/)"', home)))
    for table in tables:
        _, page = get(table)
        fields = sorted(set(re.findall(r'name="(s\d+(?:_from|_to)?)"', page)))
        for payload in HOSTILE:
            quoted = urllib.parse.quote(payload)
            paths = [table + "?" + "&".join("%s=%s" % (f, quoted) for f in fields),
                     table + "?sort=%s&dir=%s&page=%s" % (quoted, quoted, quoted)]
            paths += [table + "%s?k=%s" % (action, quoted) for action in ("row", "edit", "delete")]
            paths.append(table + "at?n=%s" % quoted)
            for path in paths:
                status, body = get(path)
                if status >= 500 or "<script>alert(1)" in body:
                    failures.append((path, status))
    return failures, len(tables)

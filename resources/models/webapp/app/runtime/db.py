"""Database access for SQLite (sqlite3), PostgreSQL (psycopg2) and MariaDB or MySQL (pymysql):
connections, identifier quoting, parameterised statements and transactions. Every name goes through quote() and every value is a
parameter; nothing a user types ever becomes part of a statement's text."""

import contextlib
import os
import re
import sqlite3
import threading
import urllib.parse

from .texts import tr


class DatabaseError(Exception):
    """A statement the database refused; the text is the database's own message."""


class Statement:
    """An SQL text built from fixed words, quoted names and parameters."""

    def __init__(self, db):
        self.db = db
        self.parts = []
        self.params = []

    def sql(self, text):
        # psycopg2 and pymysql read "%" in the text as a placeholder marker whenever parameters are passed.
        self.parts.append(text.replace("%", "%%") if self.db.dialect != "sqlite" else text)
        return self

    def name(self, name):
        return self.sql(quote(name))

    def table(self, table):
        return self.sql(self.db.table_name(table))

    def value(self, value):
        self.parts.append(self.db.placeholder)
        self.params.append(value)
        return self

    def values(self, values, sep=", "):
        for i, v in enumerate(values):
            if i:
                self.sql(sep)
            self.value(v)
        return self

    def extend(self, other):
        self.parts.extend(other.parts)
        self.params.extend(other.params)
        return self

    @property
    def text(self):
        return "".join(self.parts)


def quote(name):
    """A name as a quoted SQL identifier: the same rule for SQLite, PostgreSQL and MariaDB (whose
    connections read double quotes as names, ANSI_QUOTES)."""
    return '"' + str(name).replace('"', '""') + '"'


def sqlite_path(connection):
    """The database file of an ODBC connection string, a sqlite: address or a plain path."""
    text = connection.strip()
    if text.lower().startswith("sqlite:"):
        path = urllib.parse.urlparse(text).path
        return urllib.parse.unquote(path[1:] if text.lower().startswith("sqlite:///") and path.startswith("//")
                                    else path)
    if "=" in text and ";" in text:
        fields = odbc_fields(text)
        return fields.get("database") or fields.get("dbq") or ""
    return text


def odbc_fields(text):
    fields = {}
    for m in re.finditer(r"\s*([^=;]+?)\s*=\s*(\{(?:[^}]|\}\})*\}|[^;]*)\s*(;|$)", text):
        value = m.group(2)
        if value.startswith("{") and value.endswith("}"):
            value = value[1:-1].replace("}}", "}")
        fields[m.group(1).strip().lower()] = value
    return fields


def postgres_dsn_from_odbc(text, user=""):
    """A libpq connection string from a PostgreSQL ODBC connection string (no password: libpq takes
    it from PGPASSWORD or ~/.pgpass)."""
    f = odbc_fields(text)
    pairs = {
        "host": f.get("servername") or f.get("server") or f.get("host"),
        "port": f.get("port"),
        "dbname": f.get("database") or f.get("db"),
        "user": user or f.get("username") or f.get("uid") or f.get("user"),
    }
    words = []
    for k, v in pairs.items():
        if v:
            words.append("%s='%s'" % (k, v.replace("\\", "\\\\").replace("'", "\\'")))
    return " ".join(words)


def is_mariadb(connection):
    text = connection.strip().lower()
    return (text.startswith("mysql://") or text.startswith("mariadb://")
            or ("driver=" in text and ("mariadb" in text or "mysql" in text)))


def mariadb_arguments(text, user=""):
    """pymysql's connection arguments from a mysql:// or mariadb:// address or a MariaDB ODBC
    connection string (no password there: it comes from the address or MYSQL_PWD)."""
    if "://" in text:
        url = urllib.parse.urlparse(text)
        query = urllib.parse.parse_qs(url.query)
        args = {"host": url.hostname or "localhost", "port": url.port or 3306,
                "user": user or urllib.parse.unquote(url.username or ""),
                "password": urllib.parse.unquote(url.password or "") or os.environ.get("MYSQL_PWD", ""),
                "database": urllib.parse.unquote(url.path.lstrip("/")),
                "unix_socket": (query.get("unix_socket") or query.get("socket") or [None])[0]}
    else:
        f = odbc_fields(text)
        args = {"host": f.get("server") or f.get("servername") or "localhost", "port": int(f.get("port") or 3306),
                "user": user or f.get("uid") or f.get("user") or f.get("username") or "",
                "password": os.environ.get("MYSQL_PWD", ""),
                "database": f.get("database") or f.get("db") or "", "unix_socket": f.get("socket") or None}
    return args


def is_postgres(connection):
    text = connection.strip().lower()
    return (text.startswith("postgresql://") or text.startswith("postgres://")
            or ("driver=" in text and "postgres" in text) or text.startswith("host=") or " dbname=" in text
            or text.startswith("dbname="))


class Database:
    def __init__(self, connection, user=""):
        self.connection = connection.strip()
        self.dialect = ("postgresql" if is_postgres(self.connection) else
                        "mariadb" if is_mariadb(self.connection) else "sqlite")
        self.placeholder = "?" if self.dialect == "sqlite" else "%s"
        # The type a value is cast to for a text comparison.
        self.text_type = "CHAR" if self.dialect == "mariadb" else "TEXT"
        self._pool = []
        self._lock = threading.Lock()
        if self.dialect == "postgresql":
            import psycopg2  # Debian's python3-psycopg2

            self._driver = psycopg2
            if "driver=" in self.connection.lower():
                self._dsn = postgres_dsn_from_odbc(self.connection, user)
            else:
                self._dsn = self.connection
            self.errors = (psycopg2.Error,)
        elif self.dialect == "mariadb":
            import pymysql  # Debian's python3-pymysql

            self._driver = pymysql
            self._args = mariadb_arguments(self.connection, user)
            self.errors = (pymysql.Error,)
            self.returning = None  # known once connected: MariaDB from 10.5 on
        else:
            self._driver = sqlite3
            self.path = sqlite_path(self.connection)
            if not self.path or not os.path.isfile(self.path):
                raise DatabaseError(tr("no_sqlite_file", path=repr(self.path)))
            self.errors = (sqlite3.Error,)
            self.returning = sqlite3.sqlite_version_info >= (3, 35, 0)
        self.check()

    def check(self):
        with self.connect() as conn:
            self.fetch(conn, Statement(self).sql("SELECT 1"))

    def table_name(self, table):
        if self.dialect == "postgresql" and table.schema:
            return quote(table.schema) + "." + quote(table.name)
        if self.dialect == "mariadb":
            return quote(table.key)  # one database, tables named by their key as the SQL script makes them
        return quote(table.name)

    def statement(self):
        return Statement(self)

    @contextlib.contextmanager
    def connect(self):
        """A connection in autocommit mode; writes open their own transaction (transaction())."""
        if self.dialect == "sqlite":
            uri = "file:" + urllib.parse.quote(os.path.abspath(self.path)) + "?mode=rw"
            conn = sqlite3.connect(uri, uri=True, isolation_level=None, timeout=10, check_same_thread=False)
            try:
                conn.execute("PRAGMA foreign_keys = ON")
                yield conn
            finally:
                conn.close()
            return
        if self.dialect == "mariadb":
            try:
                conn = self._driver.connect(charset="utf8mb4", autocommit=True, **self._args)
                with conn.cursor() as cur:
                    cur.execute("SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), "
                                "'ANSI_QUOTES')")
            except self._driver.Error as e:
                raise DatabaseError(_message(e)) from None
            if self.returning is None:
                info = conn.get_server_info()
                try:
                    version = tuple(int(p) for p in info.split("-")[0].split(".")[:2])
                except ValueError:
                    version = (0, 0)
                self.returning = "mariadb" in info.lower() and version >= (10, 5)
            try:
                yield conn
            finally:
                conn.close()
            return
        with self._lock:
            conn = self._pool.pop() if self._pool else None
        if conn is None or conn.closed:
            try:
                conn = self._driver.connect(self._dsn)
            except self._driver.Error as e:
                raise DatabaseError(str(e).strip()) from None
            conn.autocommit = True
        healthy = True
        try:
            yield conn
        except self._driver.OperationalError:
            healthy = False
            raise
        finally:
            if healthy and not conn.closed and conn.status == self._driver.extensions.STATUS_READY:
                with self._lock:
                    if len(self._pool) < 8:
                        self._pool.append(conn)
                        conn = None
            if conn is not None and not conn.closed:
                conn.close()

    @contextlib.contextmanager
    def transaction(self, conn):
        cur = conn.cursor()
        cur.execute("BEGIN IMMEDIATE" if self.dialect == "sqlite" else "BEGIN")
        try:
            yield
        except BaseException:
            cur.execute("ROLLBACK")
            raise
        else:
            cur.execute("COMMIT")

    def execute(self, conn, stmt):
        """Runs a statement; its cursor. A refusal becomes DatabaseError with the database's text."""
        cur = conn.cursor()
        try:
            cur.execute(stmt.text, stmt.params)
        except self.errors as e:
            raise DatabaseError(_message(e)) from None
        return cur

    def fetch(self, conn, stmt):
        cur = self.execute(conn, stmt)
        try:
            return cur.fetchall()
        except self.errors as e:
            raise DatabaseError(_message(e)) from None

    def is_unique_violation(self, error):
        text = str(error).lower()
        return "unique" in text or "duplicate key" in text or "duplicate entry" in text


def _message(error):
    text = str(error).strip()
    if len(error.args) == 2 and isinstance(error.args[0], int):  # pymysql: (code, text)
        text = str(error.args[1]).strip()
    diag = getattr(error, "diag", None)
    if diag is not None and getattr(diag, "message_primary", None):
        text = diag.message_primary
        if getattr(diag, "message_detail", None):
            text += " " + diag.message_detail
    return text or error.__class__.__name__

"""The web application built from projects over awkward schemas (names with spaces, quotes,
reserved words and mixed case, two schemas with a table of the same name, composite and cyclic
foreign keys, identity and generated columns, views, every type the import knows), on SQLite,
PostgreSQL and MariaDB (the SQLite project's application on the database its MariaDB script makes): every page of every table answers, and writes through names that need quoting reach
the database."""

import os
import sqlite3
import unittest

from selenium.webdriver.common.by import By

import webapp_support as ws

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "model")


class AwkwardBase:
    """One generated application per class, started once, with one browser."""

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "browser", None):
            ws.close_browser(cls.browser)
        if getattr(cls, "server", None):
            cls.server.stop()
        cls.ws.close()

    @classmethod
    def build(cls, connection, app_db):
        project = ws.new_project(cls.ws, connection)
        cls.out = ws.generate(cls.ws, project, ws.project_tables(cls.ws, project))
        for root, _, files in os.walk(cls.out):
            for f in files:
                with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
                    assert "<ORVE" not in text.read(), f
        cls.server = ws.Server(cls.out, app_db)
        cls.browser = ws.browser()

    def open(self, path):
        self.browser.get(self.server.base + path)

    def go(self, by, what):
        ws.click_and_wait(self.browser, self.browser.find_element(by, what))

    def field(self, label):
        for lab in self.browser.find_elements(By.CSS_SELECTOR, "form label"):
            if lab.text.rstrip(" *") == label:
                return self.browser.find_element(By.ID, lab.get_attribute("for"))
        raise AssertionError("no field labelled %r in %s" % (label, self.browser.page_source[:3000]))

    def save(self):
        self.go(By.ID, "save")
        errors = self.browser.find_elements(By.CSS_SELECTOR, ".message.error, .field .error")
        self.assertEqual([e.text for e in errors], [])

    def test_every_page_of_every_table_answers(self):
        failures, visited = ws.crawl(self.server.base)
        self.assertEqual(failures, [], self.server.output()[-3000:])
        self.assertGreater(visited, 20)
        # Hostile parameters are refused or searched for as text, never run or echoed as markup.
        failures, tables = ws.probe(self.server.base)
        self.assertEqual(failures, [], self.server.output()[-3000:])
        self.assertGreater(tables, 4)


class AwkwardSqlite(AwkwardBase, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.ws = ws.Workspace()
        cls.db = cls.ws.path("awkward.db")
        with sqlite3.connect(cls.db) as conn, open(os.path.join(DATA, "awkward_sqlite.sql")) as script:
            conn.executescript(script.read())
            conn.execute("INSERT INTO \"group\" (\"zip code\", \"class\") VALUES ('<script>x</script>', 'c')")
            conn.execute("INSERT INTO \"Line Item\" VALUES (1, 1, NULL, NULL), (1, 2, 1, 1)")
        cls.build("DRIVER={SQLite3};Database=%s;NoCreat=1;" % cls.db, cls.db)

    def sql(self, query):
        with sqlite3.connect(self.db) as conn:
            return conn.execute(query).fetchall()

    def test_writes_through_quoted_names(self):
        self.open("/t/group/new")
        # A literal default is offered; generated and binary columns are not editable.
        self.assertEqual(self.field("Order").get_attribute("value"), "R&D <main>")
        labels = [x.text.rstrip(" *") for x in self.browser.find_elements(By.CSS_SELECTOR, "form label")]
        self.assertNotIn("total", labels)
        self.field("zip code").send_keys("12 345")
        self.field('x"y').send_keys('it\'s "x"')
        self.field("select").send_keys("7")
        self.save()
        row = self.sql("SELECT id, \"zip code\", \"x\"\"y\", \"select\", \"Order\" FROM \"group\" "
                       "WHERE \"zip code\" = '12 345'")
        self.assertEqual(row[0][1:], ("12 345", 'it\'s "x"', 7, "R&D <main>"))
        self.assertIn("row?k=%d" % row[0][0], self.browser.current_url)
        # The text that looks like markup stays text.
        self.open("/t/group/")
        self.assertIn("<script>x</script>", self.browser.find_element(By.CSS_SELECTOR, "table.rows").text)
        # A composite key with a self-referencing composite foreign key.
        self.open("/t/line-item/edit?k=1&k=2")
        self.assertEqual(self.field("parent_group / parent_line").tag_name, "select")
        self.go(By.ID, "save")
        self.open("/t/line-item/delete?k=1&k=1")
        self.go(By.ID, "confirm-delete")
        self.assertIn("FOREIGN KEY", self.browser.find_element(By.ID, "form-message").text)
        self.assertEqual(self.sql("SELECT count(*) FROM \"Line Item\""), [(2,)])


class AwkwardMariaDb(AwkwardBase, unittest.TestCase):
    """The SQLite project's application, run on the MariaDB database the SQL model's MariaDB script
    of the same project makes."""

    @classmethod
    def setUpClass(cls):
        cls.ws = ws.Workspace()
        cls.maria = ws.maria_settings()
        if not cls.maria:
            raise AssertionError("no MariaDB test server (QUORVIN_MARIADB_ENV_FILE; ctest starts it)")
        source = cls.ws.path("awkward.db")
        with sqlite3.connect(source) as conn, open(os.path.join(DATA, "awkward_sqlite.sql")) as script:
            conn.executescript(script.read())
        project = ws.new_project(cls.ws, "DRIVER={SQLite3};Database=%s;NoCreat=1;" % source)
        # Views and SQLite's own tables (sqlite_sequence) are not part of the script.
        tables = [t for t in ws.project_tables(cls.ws, project, ("TABLE",)) if not t.lower().startswith("sqlite_")]
        sql = cls.ws.path("sql")
        cls.ws.cli("generate", "--project", project, "--model", os.path.join(ws.APP_DIR, "models", "sqlddl.qvnm"),
                   "--out", sql, "--var", "MV_TARGET=MariaDB", "--tables", ",".join(tables))
        cls.dbname = "quorvin_webapp_awkward_%d" % os.getpid()
        ws.mariadb(cls.maria, "", "DROP DATABASE IF EXISTS %s; CREATE DATABASE %s;" % (cls.dbname, cls.dbname))
        with open(os.path.join(sql, "create_tables.sql"), encoding="utf-8") as script:
            ws.mariadb(cls.maria, cls.dbname, script.read())
        ws.mariadb(cls.maria, cls.dbname, """
            INSERT INTO "group" ("zip code", "class") VALUES ('<script>x</script>', 'c');
            INSERT INTO "Line Item" VALUES (1, 1, NULL, NULL), (1, 2, 1, 1);""")
        cls.out = ws.generate(cls.ws, project, tables)
        cls.server = ws.Server(cls.out, ws.mariadb_url(cls.maria, cls.dbname))
        cls.browser = ws.browser()

    def sql(self, query):
        return ws.mariadb(self.maria, self.dbname, query)

    def test_writes_through_quoted_names(self):
        self.open("/t/group/new")
        self.assertEqual(self.field("Order").get_attribute("value"), "R&D <main>")
        self.field("zip code").send_keys("12 345")
        self.field('x"y').send_keys('it\'s "x" \\ 100%')
        self.field("select").send_keys("7")
        self.save()
        row = self.sql("SELECT id, \"zip code\", \"x\"\"y\", \"select\", \"Order\" FROM \"group\" "
                       "WHERE \"zip code\" = '12 345'").split("\t")
        # (the client writes a backslash twice)
        self.assertEqual(row[1:], ["12 345", 'it\'s "x" \\\\ 100%', "7", "R&D <main>"])
        self.assertIn("row?k=%s" % row[0], self.browser.current_url)
        # The text that looks like markup stays text.
        self.open("/t/group/")
        self.assertIn("<script>x</script>", self.browser.find_element(By.CSS_SELECTOR, "table.rows").text)
        # A composite key with a self-referencing composite foreign key; a refused delete is a message.
        self.open("/t/line-item/edit?k=1&k=2")
        self.assertEqual(self.field("parent_group / parent_line").tag_name, "select")
        self.go(By.ID, "save")
        self.open("/t/line-item/delete?k=1&k=1")
        self.go(By.ID, "confirm-delete")
        self.assertIn("foreign key", self.browser.find_element(By.ID, "form-message").text.lower())
        self.assertEqual(self.sql("SELECT count(*) FROM \"Line Item\""), "2")


@unittest.skipUnless(ws.pg_settings(), "no PostgreSQL test server (QUORVIN_PG_ENV_FILE)")
class AwkwardPostgres(AwkwardBase, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.ws = ws.Workspace()
        cls.pg = ws.pg_settings()
        cls.dbname = "quorvin_webapp_awkward"
        ws.psql(cls.pg, "postgres", ["-c", "DROP DATABASE IF EXISTS %s" % cls.dbname])
        ws.psql(cls.pg, "postgres", ["-c", "CREATE DATABASE %s" % cls.dbname])
        ws.psql(cls.pg, cls.dbname, ["-f", os.path.join(DATA, "awkward_pg.sql")])
        ws.psql(cls.pg, cls.dbname, ["-c", """
            INSERT INTO sales.orders (tags, data, code, "Quote""d", span, at, t, cash, "pct %")
                VALUES ('{a,b}', '{"k": [1, "<b>"]}', 'x', 'q''d', '1 day', '2024-01-02 03:04:05+00', '10:11',
                        12.5, 0.25);
            INSERT INTO public.orders (sales_id, note, price) VALUES (1, '<i>note</i>', 3.5);
            INSERT INTO order_items VALUES (1, 1, 2), (1, 2, 3);
            INSERT INTO "shipment lines" (order_id, line_no, "select") VALUES (1, 2, 'sel');
            INSERT INTO dept (name) VALUES ('R&D');
            INSERT INTO person (dept_id, born, rating, "order") VALUES (1, 1980, 'PG', 'first');
            INSERT INTO measurements (taken, value) VALUES ('2024-05-01', 1.5);
            REFRESH MATERIALIZED VIEW mv_totals;"""])
        connection = ("DRIVER={PostgreSQL Unicode};Servername=%s;Port=%s;Database=%s;Username=%s;CommLog=0;"
                      % (cls.pg["PG_SOCKET_DIR"], cls.pg["PG_PORT"], cls.dbname, cls.pg["PG_USER"]))
        cls.build(connection, ws.pg_url(cls.pg, cls.dbname))

    def sql(self, query):
        return ws.psql(self.pg, self.dbname, ["-c", query])

    def test_writes_through_quoted_names(self):
        # The table of the same name in the other schema, with a percent sign and a quote in names.
        self.open("/t/sales-orders/new")
        self.field("pct %").send_keys("0.5")
        self.field('Quote"d').send_keys("it's")
        self.field("data").send_keys('{"a": 1}')
        self.save()
        self.assertEqual(self.sql("SELECT \"Quote\"\"d\", \"pct %\", data::text FROM sales.orders WHERE \"pct %\" = 0.5"),
                         "it's|0.5|{\"a\": 1}")
        self.open("/t/public-orders/new")
        self.field("price").send_keys("2.5")
        self.save()
        self.assertEqual(self.sql("SELECT count(*) FROM public.orders WHERE price = 2.5 AND total = 5"), "1")
        # Edit a row of a table whose name has a space; its composite foreign key is one choice.
        self.open("/t/shipment-lines/")
        self.go(By.CSS_SELECTOR, "a.open-row")
        self.go(By.ID, "edit-row")
        self.field("select").clear()
        self.field("select").send_keys("changed")
        self.save()
        self.assertEqual(self.sql("SELECT \"select\" FROM \"shipment lines\""), "changed")
        # A refused delete is a message.
        self.open("/t/order-items/delete?k=1&k=2")
        self.go(By.ID, "confirm-delete")
        self.assertIn("foreign key", self.browser.find_element(By.ID, "form-message").text)


if __name__ == "__main__":
    unittest.main()

"""The web application's fixed runtime without a browser: the rules that decide which rows can be
written and how form texts become values."""

import datetime
import decimal
import os
import re
import string
import sqlite3
import sys
import tempfile
import unittest
import uuid

MODEL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "models", "webapp")
sys.path.insert(0, MODEL)
from app.runtime import db, model, texts, values, web  # noqa: E402


def column(name, flags="0||1|VarWChar|string|50|50|1|1|4|1|0|0|", dbtype="varchar(50)", default="", converts=()):
    return (name, "", "", default, dbtype, dbtype, flags, converts)


def table(columns, kind="TABLE", chosen="", key_kind="1", name="t"):
    names = tuple(c[0] for c in columns)
    return model.load([(name, "", name, kind, "", "", "", chosen, key_kind, tuple(columns), names, names, names,
                        names, ())])[0]


class Runtime(unittest.TestCase):
    def test_which_key_a_table_is_written_through(self):
        pk = "1|1|0|long|numeric|10|10|4|4|4|1|0|0|"
        cases = [
            # columns, kind, chosen key, key kind -> key columns
            ([column("id", pk), column("b")], "TABLE", "id", "1", ["id"]),
            ([column("a", pk), column("b", pk)], "TABLE", "a", "1", ["a", "b"]),
            # No key in the database: the import's fall-back (the first column) is no choice.
            ([column("a"), column("b")], "TABLE", "a", "1", []),
            ([column("a"), column("b")], "TABLE", "b", "1", ["b"]),
            ([column("a"), column("b")], "TABLE", "a", "3", ["a"]),
            ([column("a"), column("b")], "VIEW", "a", "1", []),
        ]
        for columns, kind, chosen, key_kind, expected in cases:
            with self.subTest(kind=kind, chosen=chosen, key_kind=key_kind):
                t = table(columns, kind, chosen, key_kind)
                self.assertEqual([c.name for c in t.key_columns], expected)
                self.assertEqual(t.writable, bool(expected))
                if not expected:
                    self.assertEqual(t.update_columns, [])

    def test_form_texts_become_checked_values(self):
        t = table([column("n", "0||1|long|numeric|10|10|4|4|4|1|0|0|", "integer"),
                   column("d", "0||1|Numeric|numeric|10|10,2|4|4|4|1|0|0|", "numeric(10,2)"),
                   column("day", "0||1|DBDate|date|||3|3|4|1|0|0|", "date"),
                   column("s", "0||1|VarWChar|string|5|5|1|1|4|1|0|0|", "varchar(5)"),
                   column("j", "0||1|LongVarWChar|string|||2|1|4|1|0|0|", "jsonb"),
                   column("at", "0||1|DBTime|date|||3|3|4|1|0|0|", "time with time zone")])
        n, d, day, s, j, at = t.columns
        cases = [
            (n, " 42 ", 42), (n, "4.2", values.Invalid), (n, "", None),
            (d, "1,234.50", decimal.Decimal("1234.50")), (d, "12,5", values.Invalid), (d, "0.125", values.Invalid),
            (d, "NaN", values.Invalid), (d, "123456789", values.Invalid),
            (day, "2024-02-29", datetime.date(2024, 2, 29)), (day, "2023-02-29", values.Invalid),
            (s, "abcde", "abcde"), (s, "abcdef", values.Invalid), (s, "a\x00", values.Invalid),
            (j, '{"a": 1}', '{"a": 1}'), (j, "{a: 1}", values.Invalid),
        ]
        for c, text, expected in cases:
            with self.subTest(column=c.name, text=text):
                if expected is values.Invalid:
                    self.assertRaises(values.Invalid, values.parse, c, text)
                else:
                    self.assertEqual(values.parse(c, text), expected)
        self.assertEqual(at.kind, "timetz")
        # SQLite gets texts and numbers it stores as the sample does.
        self.assertEqual(values.for_database(day, datetime.date(2024, 1, 2), "sqlite"), "2024-01-02")
        self.assertEqual(values.for_database(d, decimal.Decimal("1.50"), "sqlite"), "1.50")
        self.assertEqual(values.display(d, 1025.8), "1025.80")
        quoted = table([column("x", default="'R&D <main>'::character varying")]).columns[0]
        self.assertEqual(values.default_text(quoted), "R&D <main>")

    def test_keys_the_application_makes(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "k.db")
            with sqlite3.connect(path) as conn:
                conn.execute('CREATE TABLE "text key" (code TEXT PRIMARY KEY, name TEXT)')
                conn.execute('CREATE TABLE "number key" (n INTEGER NOT NULL PRIMARY KEY, name TEXT)')
                conn.execute('INSERT INTO "number key" VALUES (41, \'old\')')
            database = db.Database(path)
            texts = table([column("code", "1|1|0|VarWChar|string|||1|1|4|1|0|0|", "TEXT"), column("name")],
                          chosen="code", key_kind="3", name="text key")
            numbers = table([column("n", "1|1|0|long|numeric|10|10|4|4|4|1|0|0|", "INTEGER"), column("name")],
                            chosen="n", key_kind="3", name="number key")
            made = web.insert(database, texts, {texts.columns[1]: "a"})
            uuid.UUID(made[0])
            self.assertEqual(web.insert(database, numbers, {numbers.columns[1]: "b"}), ["42"])
            self.assertEqual(web.insert(database, numbers, {numbers.columns[1]: "c"}), ["43"])
            with sqlite3.connect(path) as conn:
                self.assertEqual(conn.execute('SELECT code, name FROM "text key"').fetchall(), [(made[0], "a")])
                self.assertEqual(conn.execute('SELECT n FROM "number key" ORDER BY n').fetchall(),
                                 [(41,), (42,), (43,)])

    def test_connections_and_names(self):
        self.assertEqual(db.quote('a "b" %'), '"a ""b"" %"')
        self.assertEqual(db.sqlite_path("DRIVER={SQLite3};Database=/tmp/a;b.db;NoCreat=1;"), "/tmp/a")
        self.assertEqual(db.sqlite_path("DRIVER={SQLite3};Database={/tmp/a;b.db};NoCreat=1;"), "/tmp/a;b.db")
        self.assertEqual(db.sqlite_path("/data/x.db"), "/data/x.db")
        self.assertTrue(db.is_postgres("DRIVER={PostgreSQL Unicode};Servername=/tmp;Port=5432;Database=d;"))
        self.assertFalse(db.is_postgres("/data/postgres.db"))
        self.assertEqual(db.postgres_dsn_from_odbc("DRIVER={PostgreSQL Unicode};Servername=h;Port=5;"
                                                   "Database=it's;Username=u;"),
                         "host='h' port='5' dbname='it\\'s' user='u'")

    def test_every_text_is_in_both_languages_and_every_key_used_exists(self):
        def fields(text):
            return sorted(f for _, f, _, _ in string.Formatter().parse(text) if f)

        for name, table in texts.LANGUAGES.items():
            with self.subTest(language=name):
                self.assertEqual(sorted(table), sorted(texts.ENGLISH))
                for key, text in table.items():
                    self.assertTrue(text.strip(), key)
                    self.assertEqual(fields(text), fields(texts.ENGLISH[key]), key)
        # The keys the runtime and the pages ask for, and the ones that stand quoted in their code.
        asked, quoted = set(), set()
        app = os.path.join(MODEL, "app")
        for folder, _, files in os.walk(app):
            for f in files:
                if f.endswith((".py", ".html")) and f != "texts.py":
                    with open(os.path.join(folder, f), encoding="utf-8") as source:
                        code = source.read()
                    asked |= set(re.findall(r"\btr\(\s*[\"']([\w]+)[\"']", code))
                    asked |= {k for pair in re.findall(r"tr\(\s*[\"'](\w+)[\"'] if .+? else [\"'](\w+)[\"']", code)
                              for k in pair}
                    quoted |= set(re.findall(r"[\"'](\w+)[\"']", code))
        self.assertEqual(asked - set(texts.ENGLISH), set())
        self.assertEqual(set(texts.ENGLISH) - quoted, set(), "texts no page or message uses")
        # The read-me's and description file's words: each language file gives every one.
        sections = []
        for language in ("1033", "2052"):
            with open(os.path.join(MODEL, "model_orve.%s.qvns" % language), encoding="utf-8") as f:
                sections.append(re.findall(r"^\[(\w+)\]$", f.read(), re.M))
        self.assertEqual(sections[0], sections[1])
        self.assertIn("TX_INTRO", sections[0])

    def test_the_language_number_decides_the_words(self):
        cases = [("2052", "zh"), (2052, "zh"), (" 4100 ", "zh"), ("1028", "zh"), ("1033", "en"), ("2057", "en"),
                 ("1031", "en"), ("", "en"), (None, "en"), ("zh", "en"), ("2052x", "en"), ("-2052", "en"),
                 ("<ORVE>RVG_LANGUAGE</ORVE>", "en"), ("99999999999", "en")]
        try:
            for number, expected in cases:
                with self.subTest(number=number):
                    self.assertEqual(texts.use(number), expected)
                    t = table([column("n", "0||1|long|numeric|10|10|4|4|4|1|0|0|", "integer")])
                    with self.assertRaises(values.Invalid) as refused:
                        values.parse(t.columns[0], "x")
                    self.assertEqual(str(refused.exception), texts.LANGUAGES[expected]["enter_whole_number"])
                    self.assertEqual(texts.tr("count_many", count=7),
                                     "7 rows" if expected == "en" else "共 7 条记录")
        finally:
            texts.use("1033")


if __name__ == "__main__":
    unittest.main()

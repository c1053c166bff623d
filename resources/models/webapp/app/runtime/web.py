"""The web pages: home, list with search, sorting and paging, detail, new, edit and delete."""

import datetime
import hmac
import re
import json
import os
import secrets
import uuid

from flask import Flask, abort, flash, redirect, render_template, request, session, url_for

from . import texts, values
from .db import DatabaseError, quote
from .model import NUMBER_KINDS, SEARCH_KINDS, UPDATE_CONTROLS, link, load
from .texts import tr

PAGE_SIZE = 50
# What the date, date-and-time and time pickers take as their value.
_PICKER_FORMS = {"date": r"\d{4}-\d\d-\d\d", "datetime": r"\d{4}-\d\d-\d\dT\d\d:\d\d(:\d\d)?",
                 "time": r"\d\d:\d\d(:\d\d(\.\d+)?)?"}
# A foreign key is chosen from a drop-down list while the referenced table is at most this long;
# beyond that its key is typed.
MAX_CHOICES = 500


def create_app(entries, title, db, language=None):
    """The application over the tables of schema.py; its pages speak the language of the build's
    language number (English when there is none)."""
    texts.use(language)
    package = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    app = Flask(__name__, template_folder=os.path.join(package, "templates"),
                static_folder=os.path.join(package, "static"), static_url_path="/static")
    app.secret_key = os.environ.get("WEBAPP_SECRET_KEY") or secrets.token_bytes(32)
    app.config.update(SESSION_COOKIE_SAMESITE="Lax", SESSION_COOKIE_HTTPONLY=True,
                      MAX_CONTENT_LENGTH=16 * 1024 * 1024)
    by_slug = {}
    tables = load(entries)
    link(tables)
    for t in tables:
        by_slug[t.slug] = t
    app.jinja_env.globals.update(app_title=title, csrf_token=_csrf_token, tables=tables, tr=tr)

    def table_of(slug):
        t = by_slug.get(slug)
        if t is None:
            abort(404)
        return t

    def writable_row(slug):
        """The table, the key from the address and the row it names, for the pages that change it."""
        t = table_of(slug)
        if not t.writable:
            abort(404)
        key = key_values(t, request.args.getlist("k"))
        with db.connect() as conn:
            row = fetch_row(db, conn, t, key)
        if row is None:
            abort(404)
        return t, key, row

    @app.before_request
    def check_csrf():
        if request.method == "POST":
            sent = request.form.get("csrf_token", "")
            expected = session.get("csrf_token", "")
            if not expected or not hmac.compare_digest(sent, expected):
                abort(400, tr("form_expired"))

    @app.after_request
    def headers(response):
        response.headers["X-Content-Type-Options"] = "nosniff"
        response.headers["X-Frame-Options"] = "DENY"
        response.headers["Referrer-Policy"] = "same-origin"
        response.headers["Content-Security-Policy"] = (
            "default-src 'none'; style-src 'self'; img-src 'self' data:; form-action 'self'; "
            "frame-ancestors 'none'; base-uri 'none'")
        return response

    @app.errorhandler(400)
    @app.errorhandler(404)
    @app.errorhandler(405)
    @app.errorhandler(413)
    def http_error(error):
        # The framework's own headers stay (the methods a 405 allows), its page does not.
        kept = {k: v for k, v in error.get_headers() if k.lower() != "content-type"}
        return render_template("error.html", error=_Problem.of(error)), error.code, kept

    @app.errorhandler(500)
    def internal_error(error):
        return render_template("error.html", error=_Problem(500)), 500

    @app.errorhandler(DatabaseError)
    def database_error(error):
        return render_template("error.html", error=_Problem(503, tr("unavailable"), str(error))), 503

    @app.route("/")
    def index():
        return render_template("index.html")

    @app.route("/t/<slug>/")
    def list_rows(slug):
        t = table_of(slug)
        search = Search(t, request.args, db)
        order = Order(t, request.args)
        page = _positive_int(request.args.get("page"), 1)
        rows, count, error = [], 0, None
        if not search.errors:
            try:
                with db.connect() as conn:
                    rows, count, page = read_page(db, conn, t, search, order, page)
                    labels = Labels(db, conn, t, rows)
            except DatabaseError as e:
                error = str(e)
                labels = Labels(db, None, t, [])
        else:
            labels = Labels(db, None, t, [])
        pages = max(1, (count + PAGE_SIZE - 1) // PAGE_SIZE)
        cells = [[cell(t, c, r, labels) for c in t.main_columns] for r in rows]
        links = [row_link(t, r, (page - 1) * PAGE_SIZE + i, search, order) for i, r in enumerate(rows)]
        return render_template("list.html", t=t, search=search, order=order, rows=list(zip(cells, links)),
                               count=count, page=page, pages=pages, error=error,
                               page_link=lambda p: url_for("list_rows", slug=t.slug, **search.args(),
                                                           **order.args(), page=p),
                               sort_link=lambda c: url_for("list_rows", slug=t.slug, **search.args(),
                                                           **order.toggled(c)))

    @app.route("/t/<slug>/row")
    def detail(slug):
        t = table_of(slug)
        key = key_values(t, request.args.getlist("k"))
        with db.connect() as conn:
            row = fetch_row(db, conn, t, key)
            if row is None:
                abort(404)
            labels = Labels(db, conn, t, [row])
        return render_template("detail.html", t=t, row=row, fields=[(c, cell(t, c, row, labels))
                                                                    for c in t.show_columns],
                               key_args={"k": [key_text(c, row[c]) for c in t.key_columns]})

    @app.route("/t/<slug>/at")
    def detail_at(slug):
        # A row of a table without a key, by its place in the list as searched and sorted.
        t = table_of(slug)
        search = Search(t, request.args, db)
        order = Order(t, request.args)
        n = _positive_int(request.args.get("n"), 1) - 1
        if search.errors:
            abort(404)
        with db.connect() as conn:
            stmt = select(db, t, t.columns).extend(search.where()).extend(order.clause(db))
            stmt.sql(" LIMIT 1 OFFSET ").value(n)
            found = db.fetch(conn, stmt)
            if not found:
                abort(404)
            row = dict(zip(t.columns, found[0]))
            labels = Labels(db, conn, t, [row])
        return render_template("detail.html", t=t, row=row, key_args=None,
                               fields=[(c, cell(t, c, row, labels)) for c in t.show_columns])

    @app.route("/t/<slug>/new", methods=["GET", "POST"])
    def new(slug):
        t = table_of(slug)
        if not t.writable:
            abort(404)
        form = Form(db, t, None)
        message = None
        if request.method == "POST":
            form.read(request.form)
            if not form.errors:
                try:
                    key = insert(db, t, form.values())
                except DatabaseError as e:
                    message = str(e)
                else:
                    flash(tr("saved"))
                    if key is None:
                        return redirect(url_for("list_rows", slug=t.slug))
                    return redirect(url_for("detail", slug=t.slug, k=key))
        else:
            form.defaults()
        with db.connect() as conn:
            form.load_choices(conn)
        status = 422 if form.errors else 409 if message else 200
        return render_template("form.html", t=t, form=form, message=message, editing=False), status

    @app.route("/t/<slug>/edit", methods=["GET", "POST"])
    def edit(slug):
        t, key, row = writable_row(slug)
        form = Form(db, t, row)
        message = None
        if request.method == "POST":
            form.read(request.form)
            if not form.errors:
                try:
                    update(db, t, key, form.values())
                except DatabaseError as e:
                    message = str(e)
                else:
                    flash(tr("saved"))
                    return redirect(url_for("detail", slug=t.slug, k=[key_text(c, row[c]) for c in t.key_columns]))
        with db.connect() as conn:
            form.load_choices(conn)
        status = 422 if form.errors else 409 if message else 200
        return render_template("form.html", t=t, form=form, message=message, editing=True,
                               key_args={"k": [key_text(c, row[c]) for c in t.key_columns]}), status

    @app.route("/t/<slug>/delete", methods=["GET", "POST"])
    def delete(slug):
        t, key, row = writable_row(slug)
        with db.connect() as conn:
            labels = Labels(db, conn, t, [row])
        message = None
        if request.method == "POST":
            try:
                remove(db, t, key)
            except DatabaseError as e:
                message = str(e)
            else:
                flash(tr("deleted"))
                return redirect(url_for("list_rows", slug=t.slug))
        return render_template("delete.html", t=t, message=message,
                               fields=[(c, cell(t, c, row, labels)) for c in t.show_columns],
                               key_args={"k": [key_text(c, row[c]) for c in t.key_columns]}), 409 if message else 200

    return app


# The heading and the explanation of each error page, in the application's language.
_ERRORS = {400: ("error_400", "error_400_text"), 404: ("error_404", "error_404_text"),
           405: ("error_405", "error_405_text"), 413: ("error_413", "error_413_text"),
           500: ("error_500", "error_500_text")}


class _Problem:
    """What an error page shows: the code, a heading and an explanation."""

    def __init__(self, code, name=None, description=None):
        keys = _ERRORS.get(code)
        self.code = code
        self.name = name or (tr(keys[0]) if keys else tr("error_other", code=code))
        self.description = description or (tr(keys[1]) if keys else "")

    @classmethod
    def of(cls, error):
        # A text given to abort() is the application's own and already in its language; the
        # framework's stock explanations are not.
        given = error.description if error.description != type(error).description else None
        return cls(error.code, description=given)


def _csrf_token():
    token = session.get("csrf_token")
    if not token:
        token = session["csrf_token"] = secrets.token_urlsafe(32)
    return token


def _positive_int(text, default):
    try:
        n = int(str(text))
    except (TypeError, ValueError):
        return default
    return n if 0 < n < 10 ** 9 else default


def _unique(columns):
    seen, result = set(), []
    for c in columns:
        if id(c) not in seen:
            seen.add(id(c))
            result.append(c)
    return result


def select(db, t, columns, extra=""):
    stmt = db.statement().sql("SELECT ")
    for i, c in enumerate(columns):
        stmt.sql(", " if i else "").name(c.name)
    if not columns:
        stmt.sql("1")
    return stmt.sql(extra).sql(" FROM ").table(t)


def read_page(db, conn, t, search, order, page):
    """One page of rows as searched and sorted, the number of rows found, and the page shown (the
    last one when the page asked for is beyond it)."""
    where = search.where()
    wanted = _unique(t.main_columns + t.key_columns)

    def rows_of(page, counted):
        # A search scans the table anyway: the count comes with the page from the same scan.
        stmt = select(db, t, wanted, ", count(*) OVER ()" if counted else "")
        stmt.extend(where).extend(order.clause(db))
        stmt.sql(" LIMIT ").value(PAGE_SIZE).sql(" OFFSET ").value((page - 1) * PAGE_SIZE)
        return db.fetch(conn, stmt)

    counted = bool(search.conditions)
    found = rows_of(page, counted) if counted else []
    if found:
        count = found[0][-1]
        found = [r[:-1] for r in found]
    else:
        count = db.fetch(conn, db.statement().sql("SELECT count(*) FROM ").table(t).extend(where))[0][0]
        page = min(page, max(1, (count + PAGE_SIZE - 1) // PAGE_SIZE))
        found = rows_of(page, False) if count else []
    return [dict(zip(wanted, r)) for r in found], count, page


def key_text(column, value):
    """A key value as the text that finds its row again."""
    return values.form_text(column, value, None) if value is not None else ""


def key_values(t, texts):
    if not t.key_columns or len(texts) != len(t.key_columns):
        abort(404)
    result = []
    for c, text in zip(t.key_columns, texts):
        if c.kind in NUMBER_KINDS or c.kind == "bool":
            try:
                result.append(values.for_database(c, values.parse(c, text), "x"))
            except values.Invalid:
                abort(404)
        else:
            result.append(text)
    return result


def key_condition(db, t, key):
    stmt = db.statement().sql(" WHERE ")
    for i, (c, v) in enumerate(zip(t.key_columns, key)):
        stmt.sql(" AND " if i else "").name(c.name).sql(" = ").value(v)
    return stmt


def fetch_row(db, conn, t, key):
    try:
        rows = db.fetch(conn, select(db, t, t.columns).extend(key_condition(db, t, key)).sql(" LIMIT 2"))
    except DatabaseError:
        return None  # a key text the column's type does not take names no row
    return dict(zip(t.columns, rows[0])) if len(rows) == 1 else None


def row_link(t, row, position, search, order):
    if t.key_columns:
        return url_for("detail", slug=t.slug, k=[key_text(c, row[c]) for c in t.key_columns])
    return url_for("detail_at", slug=t.slug, n=position + 1, **search.args(), **order.args())


def cell(t, column, row, labels):
    """What a page shows for one value: its text, a conversion caption, or a link to the row it refers to."""
    value = row.get(column)
    caption = column.caption_of(value)
    text = caption if caption is not None else values.display(column, value)
    href = None
    fk = column.reference
    if fk is not None and fk.target is not None and value is not None:
        found = labels.get(fk, (value,))
        if found is not None:
            label, key = found
            if label is not None and caption is None:
                text = "%s (%s)" % (label, text) if label != text else text
            href = url_for("detail", slug=fk.target.slug, k=key)
    return {"text": text, "href": href, "align": column.alignment, "empty": value is None}


def readable_column(t):
    """The column that names a row of a table for people: a text column that is not a key."""
    texts = [c for c in t.columns if c.kind in ("text", "longtext") and not c.in_key and c.reference is None]
    for c in texts:
        if any(w in c.name.lower() for w in ("name", "title", "caption", "label")):
            return c
    return texts[0] if texts else None


def _label(column, value):
    caption = column.caption_of(value)
    return caption if caption is not None else values.display(column, value)


class Labels:
    """The readable names of the rows a page's foreign-key values refer to, read one query per key."""

    def __init__(self, db, conn, t, rows):
        self.found = {}
        if conn is None:
            return
        for fk in t.foreign_keys:
            if fk.target is None or len(fk.columns) != 1 or fk.columns[0].reference is not fk:
                continue
            wanted = []
            for r in rows:
                v = r.get(fk.columns[0])
                if v is not None and (v,) not in wanted:
                    wanted.append((v,))
            if not wanted:
                continue
            target = fk.target
            refs = [target.by_name[b] for _, b in fk.pairs]
            shown = readable_column(target)
            cols = refs + ([shown] if shown is not None else [])
            stmt = select(db, target, cols).sql(" WHERE ").name(refs[0].name).sql(" IN (").values(
                [w[0] for w in wanted]).sql(")")
            try:
                found = db.fetch(conn, stmt)
            except DatabaseError:
                continue
            table_key = target.key_columns
            for r in found:
                label = _label(shown, r[-1]) if shown is not None else None
                row = dict(zip(cols, r))
                if table_key and all(c in row for c in table_key):
                    key = [key_text(c, row[c]) for c in table_key]
                elif table_key:
                    key = None
                else:
                    continue
                self.found[(fk.index, _norm(r[0]))] = (label, key)

    def get(self, fk, value):
        found = self.found.get((fk.index, _norm(value[0])))
        if found is None or found[1] is None:
            return None
        return found


def _norm(value):
    if isinstance(value, bool):
        return str(int(value))
    if isinstance(value, float) and value == int(value):
        return str(int(value))
    return str(value)


class Order:
    def __init__(self, t, args):
        self.t = t
        self.column = None
        self.descending = args.get("dir") == "desc"
        sort = args.get("sort")
        for c in t.main_columns:
            if sort is not None and str(c.index) == sort and c.sortable:
                self.column = c

    def clause(self, db):
        order = [self.column] if self.column is not None else []
        order += [c for c in self.t.default_order() if c is not self.column]
        stmt = db.statement()
        for i, c in enumerate(order):
            stmt.sql(", " if i else " ORDER BY ").name(c.name)
            if c is self.column and self.descending:
                stmt.sql(" DESC")
        return stmt

    def args(self):
        if self.column is None:
            return {}
        return {"sort": self.column.index, "dir": "desc" if self.descending else "asc"}

    def toggled(self, c):
        descending = self.column is c and not self.descending
        return {"sort": c.index, "dir": "desc" if descending else "asc"}

    def state(self, c):
        if self.column is not c:
            return ""
        return "descending" if self.descending else "ascending"


class Search:
    """The search form above a list: one field (or a range) per search column, each turned into a
    condition with its value as a parameter."""

    def __init__(self, t, args, db):
        self.t = t
        self.db = db
        self.fields = []
        self.errors = {}
        self.conditions = []
        for c in t.search_columns:
            if c.kind == "binary":
                continue
            kind = SEARCH_KINDS.get(c.search_code, "contains")
            f = {"column": c, "kind": kind, "name": c.search_field, "value": args.get(c.search_field, ""),
                 "from": args.get(c.search_field + "_from", ""), "to": args.get(c.search_field + "_to", ""),
                 "options": None}
            if kind in ("contains", "exact") and c.converts:
                f["options"] = list(c.converts)
                kind = f["kind"] = "choice"
            self.fields.append(f)
            try:
                self._condition(c, kind, f)
            except values.Invalid as e:
                self.errors[c.search_field] = str(e)

    def _condition(self, c, kind, f):
        db = self.db
        pg = db.dialect == "postgresql"
        text = f["value"]
        if kind in ("contains", "exact", "choice"):
            text = text.strip()
            if not text:
                return
            column = db.statement().name(c.name)
            textual = c.kind in ("text", "longtext")
            if kind == "contains":
                pattern = "%" + text.replace("\\", "\\\\").replace("%", "\\%").replace("_", "\\_") + "%"
                stmt = db.statement() if textual else db.statement().sql("CAST(")
                stmt.name(c.name)
                if not textual:
                    stmt.sql(" AS " + db.text_type + ")")
                # MariaDB reads a backslash in a literal as an escape, so its own is written twice.
                stmt.sql(" ILIKE " if pg else " LIKE ").value(pattern).sql(
                    " ESCAPE '\\\\'" if db.dialect == "mariadb" else " ESCAPE '\\'")
                self.conditions.append(stmt)
                return
            if textual or c.kind in ("other", "json", "array"):
                stmt = column if textual else db.statement().sql("CAST(").name(c.name).sql(" AS " + db.text_type + ")")
                self.conditions.append(stmt.sql(" = ").value(text))
                return
            value = values.parse(c, text)
            self.conditions.append(column.sql(" = ").value(values.for_database(c, value, db.dialect)))
            return
        if kind == "yes_no":
            if text not in ("1", "0"):
                return
            truth = text == "1"
            value = truth if (pg and c.kind == "bool") else (1 if truth else 0)
            self.conditions.append(db.statement().name(c.name).sql(" = ").value(value))
            return
        low, high = f["from"].strip(), f["to"].strip()
        if kind == "date_range":
            for bound, text in (("from", low), ("to", high)):
                if not text:
                    continue
                try:
                    day = datetime.date.fromisoformat(text)
                except ValueError:
                    raise values.Invalid(tr("enter_dates")) from None
                if bound == "to":
                    day = day + datetime.timedelta(days=1)
                param = day if (pg and c.kind in ("date", "datetime", "datetimetz")) else day.isoformat()
                op = " >= " if bound == "from" else " < "
                self.conditions.append(db.statement().name(c.name).sql(op).value(param))
            return
        if kind == "number_range":
            for bound, text in (("from", low), ("to", high)):
                if not text:
                    continue
                probe = c if c.kind in NUMBER_KINDS else _DecimalProbe
                try:
                    value = values.parse(probe, text)
                except values.Invalid:
                    raise values.Invalid(tr("enter_numbers")) from None
                op = " >= " if bound == "from" else " <= "
                self.conditions.append(
                    db.statement().name(c.name).sql(op).value(values.for_database(c, value, db.dialect)))

    def where(self):
        stmt = self.db.statement()
        for i, cond in enumerate(self.conditions):
            stmt.sql(" AND " if i else " WHERE ").extend(cond)
        return stmt

    def args(self):
        result = {}
        for f in self.fields:
            for suffix, key in (("", "value"), ("_from", "from"), ("_to", "to")):
                if f[key]:
                    result[f["name"] + suffix] = f[key]
        return result

    @property
    def active(self):
        return bool(self.args())


class _DecimalProbe:
    kind = "decimal"
    scale = None
    precision = None
    max_chars = None


class Form:
    """The new or edit form of a table: one field per update column with the control of its code."""

    def __init__(self, db, t, row):
        self.db = db
        self.t = t
        self.row = row
        self.editing = row is not None
        self.fields = []
        self.errors = {}
        composite = {}
        for fk in t.foreign_keys:
            if fk.target is not None and len(fk.columns) > 1 and all(
                    c in t.update_columns and c.writable and not (self.editing and c.in_key) for c in fk.columns):
                for c in fk.columns:
                    composite.setdefault(c, fk)
        done = set()
        for c in t.update_columns:
            if c in (t.generated_key, t.automatic_key) and not self.editing:
                continue
            fk = composite.get(c)
            if fk is not None:
                if fk.index not in done:
                    done.add(fk.index)
                    self.fields.append(self._field(c, fk=fk))
                continue
            self.fields.append(self._field(c))

    def _field(self, c, fk=None):
        control = UPDATE_CONTROLS.get(c.update_code, "text")
        readonly = not c.writable or (self.editing and (c.in_key or c is self.t.generated_key
                                                        or c is self.t.automatic_key))
        if fk is None and c.reference is not None and c.reference.target is not None and control != "checkbox":
            fk = c.reference
        if control == "checkbox" and c.kind != "bool" and c.converts:
            control = "select"
        if control == "select" and not c.converts and fk is None:
            control = "number" if c.kind in NUMBER_KINDS else "text"
        if control == "date":
            # A time with its zone has no picker that keeps the zone: it stays text.
            control = {"datetime": "datetime", "datetimetz": "datetime", "time": "time",
                       "timetz": "text"}.get(c.kind, "date")
        if c.kind == "bool" and control not in ("checkbox", "select"):
            control = "yesno"
        f = {"column": c, "columns": fk.columns if fk is not None and len(fk.columns) > 1 else [c],
             "control": "readonly" if readonly else control, "fk": fk, "options": None, "error": None,
             "name": fk.field if fk is not None and len(fk.columns) > 1 else c.field, "value": "",
             "label": " / ".join(x.caption for x in fk.columns) if fk is not None and len(fk.columns) > 1
             else c.caption, "required": False}
        f["required"] = not readonly and control != "checkbox" and any(self._required(x) for x in f["columns"])
        if self.row is not None:
            f["value"] = self._text_of(f, self.row)
            # A picker cannot show a stored text it does not understand (and would send it back
            # empty): such a value is edited as text.
            if not readonly and f["value"] and control in _PICKER_FORMS and not re.fullmatch(
                    _PICKER_FORMS[control], f["value"]):
                f["control"] = "text"
            f["initial"] = f["value"]
            if readonly:
                f["display"] = values.display(c, self.row.get(c))
                caption = c.caption_of(self.row.get(c))
                if caption is not None:
                    f["display"] = caption
        return f

    def _required(self, c):
        if c.nullable:
            return False
        if self.editing:
            return True
        return not (c.default or c.identity or c.generated or c is self.t.generated_key
                    or c is self.t.automatic_key)

    def _text_of(self, f, row):
        c = f["column"]
        if len(f["columns"]) > 1:
            keys = [row.get(x) for x in f["columns"]]
            return "" if any(k is None for k in keys) else json.dumps([key_text(x, row.get(x)) for x in f["columns"]])
        control = f["control"]
        return values.form_text(c, row.get(c), "date" if control in ("date", "datetime", "time") else control)

    def defaults(self):
        for f in self.fields:
            if len(f["columns"]) == 1 and f["control"] != "readonly":
                f["value"] = values.default_text(f["column"])

    def read(self, form):
        self._values = {}
        for f in self.fields:
            if f["control"] == "readonly":
                continue
            if f["control"] == "checkbox":
                # The box sends "1" after the hidden field's "" when it is ticked.
                raw = "1" if "1" in form.getlist(f["name"]) else ""
            else:
                raw = form.get(f["name"], "")
            f["value"] = raw if f["control"] != "checkbox" else ("1" if raw else "0")
            if self.editing and f["value"] == f.get("initial"):
                # Untouched: the stored value is not rewritten (no rounding, no lost precision).
                continue
            try:
                if len(f["columns"]) > 1:
                    texts = json.loads(raw) if raw else [None] * len(f["columns"])
                    if not isinstance(texts, list) or len(texts) != len(f["columns"]):
                        raise values.Invalid(tr("choose_offered"))
                    for c, text in zip(f["columns"], texts):
                        self._set(c, values.parse(c, text))
                else:
                    c = f["column"]
                    control = f["control"]
                    self._set(c, values.parse(c, raw, "checkbox" if control == "checkbox" else None))
            except (values.Invalid, ValueError) as e:
                f["error"] = str(e) if isinstance(e, values.Invalid) else tr("choose_offered")
                self.errors[f["name"]] = f["error"]
                continue
            if f["required"] and any(self._values.get(c) is None for c in f["columns"]):
                f["error"] = tr("required_field")
                self.errors[f["name"]] = f["error"]

    def _set(self, c, value):
        self._values[c] = values.for_database(c, value, self.db.dialect)

    def values(self):
        return dict(self._values)

    def load_choices(self, conn):
        for f in self.fields:
            c = f["column"]
            fk = f["fk"]
            if f["control"] == "readonly":
                continue
            if f["control"] == "select" and c.converts and len(f["columns"]) == 1:
                f["options"] = [(v, cap) for v, cap in c.converts]
            elif fk is not None and fk.target is not None:
                options = fk_choices(self.db, conn, fk)
                if options is None:
                    if f["control"] == "select":
                        f["control"] = "number" if c.kind in NUMBER_KINDS else "text"
                    continue
                f["control"] = "select"
                f["options"] = options
            else:
                continue
            if f["value"] != "" and f["value"] not in [v for v, _ in f["options"]]:
                known = False
                for v, _ in f["options"]:
                    if _same(c, v, f["value"]):
                        f["value"] = v
                        known = True
                        break
                if not known:
                    f["options"] = [(f["value"], f["value"])] + f["options"]


def _same(c, a, b):
    try:
        return values.parse(c, a) == values.parse(c, b)
    except (values.Invalid, TypeError):
        return False


def fk_choices(db, conn, fk):
    """(value text, label) of every row of the referenced table, or None when it has too many rows."""
    target = fk.target
    refs = [target.by_name[b] for _, b in fk.pairs]
    shown = readable_column(target)
    cols = refs + ([shown] if shown is not None else [])
    stmt = select(db, target, cols).sql(" ORDER BY ")
    order = ([shown] if shown is not None else []) + refs
    for i, c in enumerate(order):
        stmt.sql(", " if i else "").name(c.name)
    stmt.sql(" LIMIT ").value(MAX_CHOICES + 1)
    try:
        rows = db.fetch(conn, stmt)
    except DatabaseError:
        return None
    if len(rows) > MAX_CHOICES:
        return None
    options = []
    for r in rows:
        keys = [key_text(c, v) for c, v in zip(refs, r)]
        value = keys[0] if len(refs) == 1 else json.dumps(keys)
        label = " / ".join(keys)
        if shown is not None and r[-1] is not None:
            label = "%s (%s)" % (_label(shown, r[-1]), label)
        options.append((value, label))
    return options


def insert(db, t, given):
    """Inserts a row; the new row's key texts, or None when they cannot be known."""
    generated = t.generated_key
    for attempt in range(5):
        with db.connect() as conn:
            try:
                with db.transaction(conn):
                    row = dict(given)
                    if generated is not None and row.get(generated) is None:
                        row[generated] = next_key(db, conn, t, generated)
                    columns = [c for c, v in row.items() if v is not None]
                    stmt = db.statement().sql("INSERT INTO ").table(t)
                    if columns:
                        stmt.sql(" (")
                        for i, c in enumerate(columns):
                            stmt.sql(", " if i else "").name(c.name)
                        stmt.sql(") VALUES (").values([row[c] for c in columns]).sql(")")
                    else:
                        stmt.sql(" () VALUES ()" if db.dialect == "mariadb" else " DEFAULT VALUES")
                    returning = db.dialect == "postgresql" or db.returning
                    if returning:
                        stmt.sql(" RETURNING ")
                        for i, c in enumerate(t.key_columns):
                            stmt.sql(", " if i else "").name(c.name)
                        found = db.fetch(conn, stmt)
                        key = found[0] if found else None
                    else:
                        cur = db.execute(conn, stmt)
                        # SQLite's row id, or MySQL's generated key (MariaDB has RETURNING)
                        where = " WHERE rowid = " if db.dialect == "sqlite" else (
                            " WHERE " + quote(t.key_columns[0].name) + " = ")
                        key = db.fetch(conn, select(db, t, t.key_columns).sql(where).value(cur.lastrowid))
                        key = key[0] if key else None
            except DatabaseError as e:
                if generated is not None and given.get(generated) is None and db.is_unique_violation(e) \
                        and attempt < 4:
                    continue  # another writer took the same number; take the next one
                raise
            if key is None:
                return None
            return [key_text(c, v) for c, v in zip(t.key_columns, key)]
    return None


def next_key(db, conn, t, c):
    """A key the application makes: a UUID for a text key, the next number for a numeric one."""
    if c.kind in NUMBER_KINDS:
        stmt = db.statement().sql("SELECT max(").name(c.name).sql(") FROM ").table(t)
        top = db.fetch(conn, stmt)[0][0]
        return values.for_database(c, int(top or 0) + 1, db.dialect)
    text = str(uuid.uuid4())
    if c.max_chars is not None and c.max_chars < len(text):
        text = uuid.uuid4().hex[:c.max_chars]
    return text


def update(db, t, key, given):
    columns = [c for c in given if c not in t.key_columns]
    if not columns:
        return
    with db.connect() as conn:
        with db.transaction(conn):
            stmt = db.statement().sql("UPDATE ").table(t).sql(" SET ")
            for i, c in enumerate(columns):
                stmt.sql(", " if i else "").name(c.name).sql(" = ").value(given[c])
            cur = db.execute(conn, stmt.extend(key_condition(db, t, key)))
            _one_row(cur.rowcount)


def remove(db, t, key):
    with db.connect() as conn:
        with db.transaction(conn):
            stmt = db.statement().sql("DELETE FROM ").table(t).extend(key_condition(db, t, key))
            _one_row(db.execute(conn, stmt).rowcount)


def _one_row(count):
    if count == 0:
        raise DatabaseError(tr("row_gone"))
    if count > 1:
        raise DatabaseError(tr("key_matches_many", count=count))


__all__ = ["create_app", "quote"]

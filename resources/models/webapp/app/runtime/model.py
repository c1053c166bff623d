"""Descriptions of the tables, their columns and keys, read from schema.py and linked together."""

import re

# Screen codes, as the column annotations store them.
UPDATE_CONTROLS = {"1": "text", "2": "textarea", "3": "date", "4": "number", "5": "select", "6": "checkbox"}
SEARCH_KINDS = {"1": "contains", "2": "exact", "3": "date_range", "4": "number_range", "5": "yes_no"}
ALIGNMENTS = {"1": "left", "2": "center", "3": "right", "4": ""}

# Kinds of value; each decides parsing, display and which controls make sense.
NUMBER_KINDS = {"int", "decimal", "float"}
DATE_KINDS = {"date", "datetime", "datetimetz", "time", "timetz"}
# Values the application cannot write back safely; shown as text only.
READ_ONLY_KINDS = {"binary", "array"}
# Values a database may not be able to order (json has no ordering in PostgreSQL).
UNSORTABLE_KINDS = {"binary", "json", "other"}


def _flag(text):
    return str(text).strip() == "1"


def _code(text):
    text = str(text).strip()
    return "" if text in ("", "0") else text


def _int(text):
    m = re.match(r"\s*(\d+)", str(text))
    return int(m.group(1)) if m else None


class Column:
    def __init__(self, name, caption="", description="", pk="0", pkmark="", null="1", type="", type2="",
                 length="", length2="", codes=("", "", "", ""), default="", dbtype="", dbbase="", dbkind="",
                 identity="0", generated="0", converts=()):
        self.name = name
        self.caption = caption or name
        self.description = description
        self.in_key = _flag(pk)
        self.marked = _flag(pkmark)
        self.nullable = str(null).strip() != "0"
        self.type = type.strip()
        self.type2 = type2.strip().lower()
        self.length = _int(length)
        self.precision, self.scale = self._precision(length2)
        self.update_code, self.search_code, self.main_code, self.show_code = (_code(c) for c in codes)
        self.default = default.strip()
        self.dbtype = dbtype.strip()
        self.dbbase = (dbbase or dbtype).strip()
        self.dbkind = dbkind.strip().lower()
        self.identity = _flag(identity)
        self.generated = _flag(generated)
        self.converts = tuple((str(v), str(c)) for v, c in converts if str(v) != "" and str(c) != "")
        self.kind = self._kind()
        self.index = 0  # position in the table, set by Table
        self.table = None
        self.reference = None  # the single-column foreign key this column takes part in

    @staticmethod
    def _precision(length2):
        parts = [p.strip() for p in str(length2).split(",")]
        if len(parts) == 2 and parts[0].isdigit() and parts[1].isdigit():
            return int(parts[0]), int(parts[1])
        if parts and parts[0].isdigit():
            return int(parts[0]), None
        return None, None

    def _kind(self):
        base = self.dbbase.lower()
        declared = self.dbtype.lower()
        t = self.type.lower()
        if self.dbkind == "array" or base.endswith("[]") or declared.endswith("[]"):
            return "array"
        if base in ("json", "jsonb") or declared in ("json", "jsonb"):
            return "json"
        if "binary" in t or base in ("bytea", "blob") or declared == "blob":
            return "binary"
        if base == "uuid" or t == "guid":
            return "uuid"
        if self.type2 == "boolean" or t == "boolean":
            return "bool"
        zoned = "with time zone" in base or base in ("timestamptz", "timetz")
        if t == "dbdate":
            return "date"
        if t == "dbtime":
            return "timetz" if zoned else "time"
        if self.type2 == "date" or t == "dbtimestamp":
            return "datetimetz" if zoned else "datetime"
        if base.startswith("interval") or base == "money":
            # Written as the database prints them ("1 day", "$12.50"): edited as text.
            return "other"
        if self.type2 == "numeric" or t in ("numeric", "decimal", "currency", "single", "double"):
            if t in ("single", "double", "float", "real"):
                return "float"
            if t in ("numeric", "decimal", "currency") or base == "money":
                return "decimal"
            return "int"
        if self.dbkind in ("enum", "domain") or base in ("tsvector", "xml", "money"):
            return "other" if base not in ("text", "character varying", "varchar") else "text"
        if self.length is None or self.length > 255:
            return "longtext"
        return "text"

    @property
    def field(self):
        return "f%d" % self.index

    @property
    def search_field(self):
        return "s%d" % self.index

    @property
    def writable(self):
        return not (self.generated or self.kind in READ_ONLY_KINDS)

    @property
    def sortable(self):
        return self.kind not in UNSORTABLE_KINDS

    @property
    def max_chars(self):
        # A limit only where the declared type is a bounded text.
        return self.length if self.kind == "text" and self.length else None

    @property
    def alignment(self):
        align = ALIGNMENTS.get(self.main_code, "")
        if align:
            return align
        if self.converts or self.reference is not None:
            return "left"
        if self.kind in NUMBER_KINDS:
            return "right"
        if self.kind == "bool":
            return "center"
        return "left"

    def caption_of(self, value):
        """The conversion caption of a stored value, or None."""
        if not self.converts or value is None:
            return None
        keys = _value_keys(value)
        for v, c in self.converts:
            if v in keys or v.lower() in keys:
                return c
        return None


def _value_keys(value):
    if isinstance(value, bool):
        return {"1", "true", "t", "yes", "y"} if value else {"0", "false", "f", "no", "n"}
    text = str(value)
    keys = {text, text.lower()}
    if text.lower() in ("true", "t"):
        keys |= {"1", "true", "t"}
    elif text.lower() in ("false", "f"):
        keys |= {"0", "false", "f"}
    return keys


class ForeignKey:
    def __init__(self, name, ref_table, ref_schema, ref_object, pairs):
        self.name = name
        self.ref_key = ref_table
        self.ref_schema = ref_schema
        self.ref_object = ref_object
        self.pairs = tuple((str(a), str(b)) for a, b in pairs)
        self.table = None
        self.target = None  # the referenced Table when it is part of this application
        self.columns = []  # the referencing Columns, in key order
        self.index = 0

    @property
    def field(self):
        return "k%d" % self.index


class Table:
    def __init__(self, key, schema="", name="", kind="TABLE", caption="", description="", comment="", chosen_key="",
                 key_kind="1", columns=(), update=(), search=(), main=(), show=(), foreign_keys=()):
        self.key = key
        self.schema = schema
        self.name = name or key
        self.kind = kind.strip().upper() or "TABLE"
        self.caption = caption or key
        self.description = description or comment
        self.columns = list(columns)
        self.by_name = {}
        for i, c in enumerate(self.columns):
            c.index = i
            c.table = self
            self.by_name.setdefault(c.name, c)
        self.key_kind = key_kind.strip() or "1"
        pick = lambda names: [self.by_name[n] for n in names if n in self.by_name]
        self.update_columns = [c for c in pick(update)]
        self.search_columns = pick(search)
        self.main_columns = pick(main)
        self.show_columns = pick(show)
        self.foreign_keys = list(foreign_keys)
        self.slug = ""
        self.key_columns, self.key_reason = self._key(chosen_key.strip())
        self.marked = self.by_name.get(chosen_key.strip())
        if self.marked is not None and self.marked not in self.key_columns:
            self.marked = None
        if not self.key_columns:
            self.update_columns = []

    def _key(self, chosen):
        declared = [c for c in self.columns if c.in_key]
        if declared:
            return declared, "declared"
        # Without a declared key the project's choice is used only when the user clearly made
        # one: the import puts the first column there by itself.
        column = self.by_name.get(chosen)
        if column is not None and (column is not self.columns[0] or self.key_kind != "1"):
            return [column], "chosen"
        return [], "none"

    @property
    def is_view(self):
        return self.kind != "TABLE" and "TABLE" not in self.kind.split()

    @property
    def writable(self):
        return bool(self.key_columns)

    @property
    def generated_key(self):
        """The key column the application makes (key kind 3), or None."""
        return self.marked if self.key_kind == "3" and self.marked is not None else None

    @property
    def automatic_key(self):
        """The key column the database numbers (key kind 2), or None."""
        return self.marked if self.key_kind == "2" and self.marked is not None else None

    def default_order(self):
        if self.key_columns:
            return list(self.key_columns)
        for c in self.columns:
            if c.sortable:
                return [c]
        return []


def load(entries):
    """The tables of schema.py's TABLES as Table objects."""
    tables = []
    for (key, schema, name, kind, caption, description, comment, chosen_key, key_kind, columns, update, search,
         main, show, foreign_keys) in entries:
        cols = []
        for (cname, ccaption, cdescription, default, dbtype, dbbase, flags, converts) in columns:
            f = (flags.split("|") + [""] * 14)[:14]
            cols.append(Column(cname, caption=ccaption, description=cdescription, pk=f[0], pkmark=f[1], null=f[2],
                               type=f[3], type2=f[4], length=f[5], length2=f[6], codes=f[7:11], default=default,
                               dbtype=dbtype, dbbase=dbbase, dbkind=f[13], identity=f[11], generated=f[12],
                               converts=converts))
        fks = [ForeignKey(*fk) for fk in foreign_keys]
        tables.append(Table(key, schema=schema, name=name, kind=kind, caption=caption, description=description,
                            comment=comment, chosen_key=chosen_key, key_kind=key_kind, columns=cols, update=update,
                            search=search, main=main, show=show, foreign_keys=fks))
    return tables


def _slug(text):
    slug = re.sub(r"[^A-Za-z0-9]+", "-", text).strip("-").lower()
    return slug or "table"


def link(tables):
    """Gives every table its address and connects the foreign keys to the tables they reference."""
    by_key = {}
    used = set()
    for t in tables:
        slug = base = _slug(t.key)
        n = 2
        while slug in used:
            slug = "%s-%d" % (base, n)
            n += 1
        used.add(slug)
        t.slug = slug
        by_key.setdefault(t.key, t)
    by_object = {}
    for t in tables:
        by_object.setdefault((t.schema, t.name), t)
    for t in tables:
        for i, fk in enumerate(t.foreign_keys):
            fk.index = i
            fk.table = t
            fk.target = by_key.get(fk.ref_key) or by_object.get((fk.ref_schema, fk.ref_object))
            fk.columns = [t.by_name.get(a) for a, _ in fk.pairs]
            if None in fk.columns:
                fk.target = None
                fk.columns = []
                continue
            if fk.target is not None:
                refs = [fk.target.by_name.get(b) for _, b in fk.pairs]
                if None in refs:
                    fk.target = None
        for fk in t.foreign_keys:
            if fk.target is not None and len(fk.columns) == 1 and fk.columns[0].reference is None:
                fk.columns[0].reference = fk
    return by_key

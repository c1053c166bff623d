#!/usr/bin/env python3
"""Writes the table set of an awkward schema in the JSON data format, shaped as the schema import
and the build collection deliver it, for generating the shipped models over real-world shapes.

Usage: awkward_tables.py pg|sqlite|mariadb OUTPUT.json

Both sets hold reserved words, spaces, quotes and mixed case in names, composite, self-referencing
and cyclic foreign keys, identity and generated columns, defaults the target may not take, views,
and text that must be escaped (a default 'R&D <main>', a caption with a line break). The "pg" set
is read from PostgreSQL (two schemas with a table of the same name, enums, domains, arrays, json,
tsvector, uuid, bytea, interval, numeric without precision, timestamptz); the "sqlite" set from
SQLite (declared types as written, an INTEGER PRIMARY KEY, a column without a declared type).
"""
import json
import sys

# CL_TYPE (the program's type name) -> CL_TYPE2 (its class)
TYPE2 = {
    "SmallInt": "numeric", "TinyInt": "numeric", "long": "numeric", "BigInt": "numeric", "Single": "numeric", "Double": "numeric",
    "Numeric": "numeric", "Decimal": "numeric", "Boolean": "boolean", "DBDate": "date", "DBTime": "date",
    "DBTimeStamp": "date", "VarWChar": "string", "WChar": "string", "LongVarWChar": "string", "GUID": "string",
    "LongVarBinary": "binary", "VarBinary": "binary", "VarChar": "string", "Char": "string",
    "UnsignedTinyInt": "numeric", "UnsignedSmallInt": "numeric", "UnsignedInt": "numeric", "UnsignedBigInt": "numeric",
}


def kv(key, value):
    return {"key": key, "value": value}


def col(name, cl_type, dbtype, *, length="", length2=None, null=True, pk=False, fk="", default="",
        dbbase=None, dbkind="", identity=False, generated=False, genexpr="", cname=None, desc="", converts=(),
        enums=(), extension=""):
    auto = identity or generated
    cols = [
        kv("CL_NAME", name), kv("CL_PKMARK", ""), kv("CL_CNAME", cname or ""), kv("CL_CNAME2", cname or name),
        kv("CL_DESC", desc), kv("CL_PK", "1" if pk else "0"), kv("CL_FK", fk), kv("CL_NULL", "1" if null else "0"),
        kv("CL_TYPE", cl_type), kv("CL_TYPE2", "other" if dbkind == "other" else TYPE2.get(cl_type, "string")), kv("CL_LENGTH", length),
        kv("CL_LENGTH2", length if length2 is None else length2), kv("CL_UPDATE_TYPE", "0" if auto else "1"),
        kv("CL_SEARCH_TYPE", "1"), kv("CL_MAIN_TYPE", "4"), kv("CL_SHOW_TYPE", "1"), kv("CL_DEFAULT", default),
        kv("CL_CONVERT_CAPTION", "\t".join(c for _, c in converts)),
        kv("CL_CONVERT_VALUE", "\t".join(v for v, _ in converts)),
        kv("CL_CONVERTS", {"tag": "COLUMN_CONVERTS", "rows": [
            {"key": v, "cols": [kv("CC_VALUE", v), kv("CC_CAPTION", c)]} for v, c in converts]}),
        kv("CL_DBTYPE", dbtype), kv("CL_DBBASE", dbtype if dbbase is None else dbbase), kv("CL_DBKIND", dbkind),
        kv("CL_IDENTITY", "1" if identity else "0"), kv("CL_GENERATED", "1" if generated else "0"),
        kv("CL_GENEXPR", genexpr),
        kv("CL_ENUMS", {"tag": "CL_ENUMS", "rows": [{"key": "", "cols": [kv("EV_VALUE", e)]} for e in enums]}),
        kv("CL_EXTENSION", extension),
    ]
    return {"key": name, "cols": cols}


def fk(name, ref_key, ref_schema, ref_object, pairs, on_delete="", on_update=""):
    return {"key": name, "cols": [
        kv("FK_NAME", name), kv("FK_REF_TABLE", ref_key), kv("FK_REF_SCHEMA", ref_schema),
        kv("FK_REF_OBJECT", ref_object), kv("FK_COLUMNS", ", ".join(a for a, _ in pairs)),
        kv("FK_REF_COLUMNS", ", ".join(b for _, b in pairs)),
        kv("FK_ON_UPDATE", on_update), kv("FK_ON_DELETE", on_delete),
        kv("FK_PAIRS", {"tag": "FK_PAIRS", "rows": [
            {"key": "", "cols": [kv("FP_COLUMN", a), kv("FP_REF_COLUMN", b)]} for a, b in pairs]}),
    ]}


def index(name, parts, *, unique=False, kind="index", method="btree", where=""):
    """parts: column names, or (text, is_expression, descending)."""
    parts = [p if isinstance(p, tuple) else (p, False, False) for p in parts]
    return {"key": name, "cols": [
        kv("IX_NAME", name), kv("IX_UNIQUE", "1" if unique or kind == "unique" else "0"), kv("IX_KIND", kind),
        kv("IX_METHOD", method), kv("IX_WHERE", where),
        kv("IX_EXPRESSION", "1" if any(e for _, e, _ in parts) else "0"),
        kv("IX_COLUMNS", ", ".join(t for t, _, _ in parts)),
        kv("IX_PARTS", {"tag": "IX_PARTS", "rows": [
            {"key": "", "cols": [kv("IP_COLUMN", t), kv("IP_EXPRESSION", "1" if e else "0"),
                                 kv("IP_DESC", "1" if d else "0"), kv("IP_OPCLASS", "")]}
                for t, e, d in parts]}),
    ]}


def check(name, expression):
    return {"key": name, "cols": [kv("CK_NAME", name), kv("CK_EXPRESSION", expression)]}


def table(key, schema, obj, columns, fks=(), kind="TABLE", cname="", desc="", key_order=None, chosen_key="",
          indexes=(), checks=(), extension=""):
    """key_order: the declared key's columns in key order (default: the key columns in column
    order); chosen_key: the key the user chose in the project for a table without one."""
    by_name = {c["key"]: c for c in columns}
    declared_names = key_order or [c["key"] for c in columns
                                   if {x["key"]: x["value"] for x in c["cols"]}["CL_PK"] == "1"]
    declared = [by_name[n] for n in declared_names]
    pk = declared_names[0] if declared_names else chosen_key
    used = declared or ([by_name[chosen_key]] if chosen_key else [])
    for c in columns:
        if c["key"] == pk:
            c["cols"][1]["value"] = "1"

    def listed(code_key):
        return [c for c in columns if {x["key"]: x["value"] for x in c["cols"]}[code_key] not in ("", "0")]

    return {"key": key, "cols": [
        kv("TABLE_CATALOG", ""), kv("TABLE_SCHEMA", schema), kv("TABLE_NAME", obj), kv("TABLE_TYPE", kind),
        kv("DESCRIPTION", desc), kv("TL_NAME", key), kv("TL_CNAME", cname), kv("TL_CNAME2", cname or key),
        kv("TL_USER", ""), kv("TL_DATE", "2026-01-01"), kv("TL_DESC", desc), kv("TL_PK", pk), kv("TL_PKTYPE", "1"),
        kv("COLUMNS", {"tag": "COLUMNS", "rows": columns}), kv("TL_SCHEMA", schema), kv("TL_OBJECT", obj),
        kv("TL_EXTENSION", extension),
        kv("UPDATE_COLUMNS", {"tag": "UPDATE_COLUMNS", "rows": listed("CL_UPDATE_TYPE")}),
        kv("SEARCH_COLUMNS", {"tag": "SEARCH_COLUMNS", "rows": listed("CL_SEARCH_TYPE")}),
        kv("MAIN_COLUMNS", {"tag": "MAIN_COLUMNS", "rows": listed("CL_MAIN_TYPE")}),
        kv("SHOW_COLUMNS", {"tag": "SHOW_COLUMNS", "rows": listed("CL_SHOW_TYPE")}),
        kv("FOREIGN_KEYS", {"tag": "FOREIGN_KEYS", "rows": list(fks)}),
        kv("PK_COLUMNS", {"tag": "PK_COLUMNS", "rows": declared}),
        kv("KEY_COLUMNS", {"tag": "KEY_COLUMNS", "rows": used}),
        kv("TL_KEYSOURCE", "database" if declared else "project" if used else ""),
        kv("INDEXES", {"tag": "INDEXES", "rows": list(indexes)}),
        kv("CHECKS", {"tag": "CHECKS", "rows": list(checks)}),
    ]}


def pg_tables():
    p = "public"
    return [
        table("Mixed Case", p, "Mixed Case", [
            col("Id", "long", "integer", length="10", null=False, pk=True, identity=True),
            col("zip code", "VarWChar", "character varying(10)", length="10", default="'00000'::character varying"),
            col("Value", "Numeric", "numeric", length2=""),
        ], desc="A table whose <name> needs \"quotes\" & care"),
        table("dept", p, "dept", [
            col("id", "long", "integer", length="10", null=False, pk=True,
                default="nextval('dept_id_seq'::regclass)", identity=True),
            col("name", "VarWChar", "text", null=False),
            col("head_id", "long", "integer", length="10", fk="person.id"),
        ], [fk("dept_head_fk", "person", p, "person", [("head_id", "id")])]),
        table("person", p, "person", [
            col("id", "BigInt", "bigint", length="19", null=False, pk=True, identity=True),
            col("dept_id", "long", "integer", length="10", fk="dept.id"),
            col("manager_id", "BigInt", "bigint", length="19", fk="person.id"),
            col("born", "long", "year", length="10", dbbase="integer", dbkind="domain"),
            col("rating", "VarWChar", "mpaa_rating", dbbase="text", dbkind="enum", default="'G'::mpaa_rating",
                enums=("G", "PG", "PG-13", "R")),
            col("order", "VarWChar", "text", cname="Order\n-- DROP TABLE person;"),
        ], [fk("person_dept_fk", "dept", p, "dept", [("dept_id", "id")]),
            fk("person_manager_fk", "person", p, "person", [("manager_id", "id")])]),
        table("public.orders", p, "orders", [
            col("id", "long", "integer", length="10", null=False, pk=True,
                default="nextval('orders_id_seq'::regclass)", identity=True),
            col("sales_id", "long", "integer", length="10", fk="sales.orders.id"),
            col("created", "DBTimeStamp", "timestamp with time zone", null=False, default="now()"),
            col("day", "DBDate", "date", default="CURRENT_DATE"),
            col("note", "LongVarWChar", "text", default="'R&D <main>'::text", desc="Say \"hi\" & <b>"),
            col("amount", "Numeric", "numeric", length2=""),
            col("price", "Numeric", "numeric(10,2)", length="10", length2="10,2", default="0"),
            col("flag", "Boolean", "boolean", default="true"),
            col("weird", "long", "integer", length="10", default="length(upper('x'::text))"),
            col("memo", "LongVarWChar", "text", default="'two\nlines'::text"),
            col("memo2", "LongVarWChar", "text", default="upper('two\n-- lines'::text)"),
            # as the PostgreSQL driver hands literal defaults over: without quotes and cast
            col("label", "VarWChar", "character varying(20)", length="20", default="R&D <main>"),
            col("since", "DBDate", "date", default="2024-01-01"),
            col("total", "Numeric", "numeric", length2="", generated=True, genexpr="(price * (2)::numeric)"),
        ], [fk("orders_sales_fk", "sales.orders", "sales", "orders", [("sales_id", "id")])]),
        table("sales.orders", "sales", "orders", [
            col("id", "long", "integer", length="10", null=False, pk=True, identity=True),
            col("tags", "VarWChar", "text[]", dbkind="array"),
            col("ratings", "VarWChar", "mpaa_rating[]", dbkind="array", enums=("G", "PG", "PG-13", "R")),
            col("data", "LongVarWChar", "jsonb", default="'{}'::jsonb"),
            col("doc", "LongVarWChar", "tsvector"),
            col("uid", "GUID", "uuid", default="gen_random_uuid()"),
            col("payload", "LongVarBinary", "bytea"),
            col("span", "VarWChar", "interval"),
            col("at", "DBTimeStamp", "timestamp(3) with time zone"),
            col("at_local", "DBTimeStamp", "timestamp without time zone", default="LOCALTIMESTAMP"),
            col("t", "DBTime", "time without time zone"),
            col("small", "SmallInt", "smallint", length="5", default="'-1'::integer"),
            col("real", "Single", "real", length="24"),
            col("dbl", "Double", "double precision", length="53"),
            col("code", "WChar", "character(3)", length="3", default="'a''b'::bpchar",
                converts=[("a'b", "A & B"), ("x", "<x>")]),
            col("Quote\"d", "VarWChar", "character varying", length=""),
            col("cash", "Currency", "money", length="19"),
            col("pct %", "Double", "double precision", length="53"),
        ], indexes=[index("orders_doc_search", ["doc"], method="gin")]),
        table("order_items", p, "order_items", [
            col("order_id", "long", "integer", length="10", null=False, pk=True, fk="public.orders.id"),
            col("line_no", "long", "integer", length="10", null=False, pk=True),
            col("qty", "long", "integer", length="10", null=False, default="1"),
        ], [fk("order_items_order_fk", "public.orders", p, "orders", [("order_id", "id")], on_delete="CASCADE")]),
        table("shipment lines", p, "shipment lines", [
            col("id", "long", "integer", length="10", null=False, pk=True, identity=True),
            col("order_id", "long", "integer", length="10", null=False, fk="order_items.order_id"),
            col("line_no", "long", "integer", length="10", null=False, fk="order_items.line_no"),
            col("2nd class", "Boolean", "boolean", null=False, default="false"),
            col("select", "VarWChar", "character varying(20)", length="20"),
        ], [fk("shipment_item_fk", "order_items", p, "order_items", [("order_id", "order_id"),
                                                                      ("line_no", "line_no")])]),
        table("account", p, "account", [
            col("id", "long", "integer", length="10", null=False, pk=True, identity=True),
            col("email", "LongVarWChar", "text", null=False),
            col("tenant", "long", "integer", length="10", null=False, default="1"),
            col("nick", "VarWChar", "character varying(30)", length="30", null=False, default="''"),
            col("active", "Boolean", "boolean", null=False, default="true"),
        ], indexes=[index("account_active_tenant", [("tenant", False, True)], where="active"),
                    index("account_email_uq", ["email"], kind="unique"),
                    index("account_tenant_lower_email", ["tenant", ("lower(email)", True, False)], unique=True)],
            checks=[check("account_nick_check", "nick::text <> 'root'::text"),
                    check("account_tenant_check", "tenant > 0")]),
        table("membership", p, "membership", [
            col("role", "LongVarWChar", "text", null=False, default="''"),
            col("account_email", "LongVarWChar", "text", null=False, pk=True, fk="account.email"),
            col("grp", "long", "integer", length="10", null=False, pk=True),
        ], [fk("membership_account_email_fkey", "account", p, "account", [("account_email", "email")])],
            key_order=["grp", "account_email"]),
        table("event_log", p, "event_log", [
            col("at", "DBTimeStamp", "timestamp with time zone", null=False, default="now()"),
            col("message", "LongVarWChar", "text", null=False, default="''"),
            col("level", "VarWChar", "character varying(10)", length="10"),
        ]),
        table("tagged", p, "tagged", [
            col("label", "VarWChar", "character varying(20)", length="20"),
            col("code", "VarWChar", "character varying(10)", length="10", null=False),
        ], chosen_key="code"),
        table("places", p, "places", [
            col("id", "long", "integer", length="10", null=False, pk=True),
            col("area", "LongVarWChar", "geometry(Polygon,4326)", dbkind="other", extension="postgis"),
        ]),
        table("spatial_ref_sys", p, "spatial_ref_sys", [
            col("srid", "long", "integer", length="10", null=False, pk=True),
            col("srtext", "VarWChar", "character varying(2048)", length="2048"),
        ], extension="postgis"),
        table("order summary", p, "order summary", [
            col("order_id", "long", "integer", length="10"),
            col("total", "Numeric", "numeric", length2=""),
        ], kind="VIEW"),
        table("mv_totals", p, "mv_totals", [
            col("n", "BigInt", "bigint", length="19"),
        ], kind="VIEW"),
    ]


def sqlite_tables():
    return [
        table("group", "", "group", [
            col("id", "long", "INTEGER", length="10", pk=True, identity=True),
            col("zip code", "VarWChar", "TEXT", length=""),
            col("Order", "VarWChar", "VARCHAR(50)", length="50", null=False, default="'R&D <main>'"),
            col("select", "long", "INT", length="10", default="0"),
            col("created", "DBTimeStamp", "DATETIME", default="CURRENT_TIMESTAMP"),
            col("stamp", "DBTimeStamp", "TIMESTAMP", default="(datetime('now'))"),
            col("amount", "Numeric", "NUMERIC", length2=""),
            col("price", "Numeric", "DECIMAL(10,2)", length="10", length2="10,2", default="0"),
            col("flag", "Boolean", "BOOLEAN", default="1"),
            col("blobby", "LongVarBinary", "BLOB"),
            col("untyped", "LongVarWChar", ""),
            col("ratio", "Double", "DOUBLE", length="15"),
            col("legacy", "long", "INT(11)", length="10"),
            col("tiny", "TinyInt", "TINYINT(1)", length="3"),
            col("total", "Numeric", "", length2="", generated=True, genexpr="price * 2"),
            col("x\"y", "VarWChar", "TEXT", length="", cname="x \"quoted\"\nnext line"),
            col("__dunder", "VarWChar", "TEXT", length=""),
            col("class", "VarWChar", "TEXT", length=""),
        ], desc="Reserved <group> & friends"),
        table("Line Item", "", "Line Item", [
            col("group_id", "long", "INTEGER", length="10", null=False, pk=True, fk="group.id"),
            col("line", "long", "INTEGER", length="10", null=False, pk=True),
            col("parent_group", "long", "INTEGER", length="10", fk="Line Item.group_id"),
            col("parent_line", "long", "INTEGER", length="10", fk="Line Item.line"),
        ], [fk("fk_Line Item_0", "group", "", "group", [("group_id", "id")], on_delete="CASCADE", on_update="SET NULL"),
            fk("fk_Line Item_1", "Line Item", "", "Line Item", [("parent_group", "group_id"),
                                                                  ("parent_line", "line")])]),
        table("a", "", "a", [
            col("id", "long", "INTEGER", length="10", pk=True, identity=True),
            col("b_id", "long", "INTEGER", length="10", fk="b.id"),
        ], [fk("", "b", "", "b", [("b_id", "id")])]),
        table("b", "", "b", [
            col("id", "long", "INTEGER", length="10", pk=True, identity=True),
            col("a_id", "long", "INTEGER", length="10", fk="a.id"),
        ], [fk("", "a", "", "a", [("a_id", "id")])]),
        table("account", "", "account", [
            col("id", "long", "INTEGER", length="10", pk=True, identity=True),
            col("email", "VarWChar", "TEXT", length="", null=False),
            col("tenant", "long", "INTEGER", length="10", null=False, default="1"),
            col("nick", "VarWChar", "VARCHAR(30)", length="30", null=False, default="''"),
        ], indexes=[index("account_active_tenant", [("tenant", False, True)], where="tenant > 1"),
                    index("sqlite_autoindex_account_1", ["email"], kind="unique", unique=True),
                    index("account_tenant_lower_email", ["tenant", ("lower(email)", True, False)], unique=True)]),
        table("membership", "", "membership", [
            col("role", "VarWChar", "TEXT", length="", null=False, default="''"),
            col("account_email", "VarWChar", "TEXT", length="", null=False, pk=True, fk="account.email"),
            col("grp", "long", "INTEGER", length="10", null=False, pk=True),
        ], [fk("", "account", "", "account", [("account_email", "email")])], key_order=["grp", "account_email"]),
        table("event_log", "", "event_log", [
            col("message", "VarWChar", "TEXT", length="", null=False, default="''"),
            col("level", "VarWChar", "VARCHAR(10)", length="10"),
        ]),
        table("v group", "", "v group", [
            col("id", "long", "INTEGER", length="10"),
            col("zip code", "VarWChar", "TEXT", length=""),
        ], kind="VIEW"),
    ]


def mariadb_tables():
    """Shaped as MariaDB's catalog states them: column types with display widths and unsigned, enum
    and set with their labels in the type, defaults quoted and current_timestamp() as the server
    writes them."""
    return [
        table("film", "shop", "film", [
            col("film_id", "UnsignedSmallInt", "smallint(5) unsigned", length="5", null=False, pk=True, identity=True),
            col("title", "VarWChar", "varchar(128)", length="128", null=False),
            col("rating", "VarWChar", "enum('G','PG','PG-13')", dbkind="enum", default="'G'",
                enums=("G", "PG", "PG-13")),
            col("features", "VarWChar", "set('Trailers','Commentaries')", length="21"),
            col("release_year", "SmallInt", "year(4)", length="4"),
            col("rate", "Decimal", "decimal(4,2)", length="4", length2="4,2", default="4.99"),
            col("active", "Boolean", "tinyint(1)", length="1", null=False, default="1"),
            col("length", "UnsignedSmallInt", "smallint(5) unsigned", length="5"),
            col("last_update", "DBTimeStamp", "timestamp", null=False, default="current_timestamp()"),
            col("notes", "LongVarWChar", "mediumtext"),
            col("poster", "LongVarBinary", "mediumblob"),
        ], indexes=[index("idx_title", ["title"], unique=True)]),
        table("rental", "shop", "rental", [
            col("rental_id", "long", "int(11)", length="10", null=False, pk=True, identity=True),
            col("film_id", "UnsignedSmallInt", "smallint(5) unsigned", length="5", null=False, fk="film.film_id"),
            col("film_title", "VarWChar", "varchar(128)", length="128", fk="film.title"),
            col("rented", "DBTimeStamp", "datetime", null=False, default="current_timestamp()"),
            col("lines", "UnsignedInt", "int(10) unsigned", length="10", default="0"),
        ], [fk("fk_rental_film", "film", "shop", "film", [("film_id", "film_id")]),
            fk("fk_rental_title", "film", "shop", "film", [("film_title", "title")])]),
    ]


def add_first_uses(rows):
    """EXTENSIONS and ENUM_TYPES as the build collection adds them: what a table needs that no
    table before it needs."""
    def cols_of(row):
        return {x["key"]: x["value"] for x in row["cols"]}

    columns = lambda t: [cols_of(c) for c in t["COLUMNS"]["rows"]]
    typed = {c["CL_EXTENSION"] for r in rows for c in columns(cols_of(r)) if c["CL_EXTENSION"]}
    seen_ext, seen_enum = set(), set()
    for r in rows:
        t = cols_of(r)
        exts, enums = [], []
        for name in [t["TL_EXTENSION"]] + [c["CL_EXTENSION"] for c in columns(t)]:
            if name and name not in seen_ext:
                seen_ext.add(name)
                exts.append({"key": name, "cols": [kv("EX_NAME", name), kv("EX_TYPES", "1" if name in typed else "0")]})
        for c in columns(t):
            name = c["CL_DBTYPE"].removesuffix("[]")
            # MariaDB's enum('a','b') is a column type, not a named type.
            if c["CL_DBKIND"] in ("enum", "array") and c["CL_ENUMS"]["rows"] and "(" not in name and name not in seen_enum:
                seen_enum.add(name)
                enums.append({"key": name, "cols": [kv("ET_NAME", name), kv("CL_ENUMS", c["CL_ENUMS"])]})
        r["cols"].append(kv("EXTENSIONS", {"tag": "EXTENSIONS", "rows": exts}))
        r["cols"].append(kv("ENUM_TYPES", {"tag": "ENUM_TYPES", "rows": enums}))
    return rows


def add_nullable_keys(rows):
    """FK_NULLABLE as the build collection adds it: 1 when every column of the key accepts nulls."""
    def cols_of(row):
        return {x["key"]: x["value"] for x in row["cols"]}

    for r in rows:
        t = cols_of(r)
        nulls = {cols_of(c)["CL_NAME"]: cols_of(c)["CL_NULL"] for c in t["COLUMNS"]["rows"]}
        for f in t["FOREIGN_KEYS"]["rows"]:
            pairs = cols_of(f)["FK_PAIRS"]["rows"]
            ok = all(nulls.get(cols_of(p)["FP_COLUMN"]) == "1" for p in pairs)
            f["cols"].append(kv("FK_NULLABLE", "1" if ok else "0"))
    return rows


def main(kind, out):
    rows = add_nullable_keys(add_first_uses(pg_tables() if kind == "pg" else mariadb_tables() if kind == "mariadb" else sqlite_tables()))
    with open(out, "w", encoding="utf-8") as f:
        json.dump({"tag": "TABLES", "rows": rows}, f, ensure_ascii=False, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))

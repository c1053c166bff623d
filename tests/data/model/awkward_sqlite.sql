-- An awkward SQLite schema for the end-to-end tests of the shipped models.
CREATE TABLE "group" (
    id INTEGER PRIMARY KEY,
    "zip code" TEXT,
    "Order" VARCHAR(50) NOT NULL DEFAULT 'R&D <main>',
    "select" INT DEFAULT 0,
    created DATETIME DEFAULT CURRENT_TIMESTAMP,
    stamp TIMESTAMP DEFAULT (datetime('now')),
    amount NUMERIC,
    price DECIMAL(10,2) DEFAULT 0,
    flag BOOLEAN DEFAULT 1,
    blobby BLOB,
    untyped,
    ratio DOUBLE,
    legacy INT(11),
    tiny TINYINT(1),
    total GENERATED ALWAYS AS (price * 2) STORED,
    "x""y" TEXT,
    __dunder TEXT,
    "class" TEXT
);
CREATE TABLE "Line Item" (
    group_id INTEGER NOT NULL REFERENCES "group" (id),
    line INTEGER NOT NULL,
    parent_group INTEGER,
    parent_line INTEGER,
    PRIMARY KEY (group_id, line),
    FOREIGN KEY (parent_group, parent_line) REFERENCES "Line Item" (group_id, line)
);
CREATE TABLE a (id INTEGER PRIMARY KEY AUTOINCREMENT, b_id INTEGER REFERENCES b (id));
CREATE TABLE b (id INTEGER PRIMARY KEY, a_id INTEGER REFERENCES a (id));
CREATE VIEW "v group" AS SELECT id, "zip code" FROM "group";
CREATE TABLE account (
    id INTEGER PRIMARY KEY,
    email TEXT NOT NULL UNIQUE,
    tenant INTEGER NOT NULL DEFAULT 1,
    nick VARCHAR(30) NOT NULL DEFAULT '',
    active BOOLEAN NOT NULL DEFAULT 1,
    CHECK (tenant > 0)
);
CREATE UNIQUE INDEX account_tenant_lower_email ON account (tenant, lower(email));
CREATE INDEX account_active_tenant ON account (tenant DESC) WHERE active = 1;
CREATE TABLE membership (
    role TEXT NOT NULL DEFAULT '',
    account_email TEXT NOT NULL REFERENCES account (email),
    grp INTEGER NOT NULL,
    PRIMARY KEY (grp, account_email)
);
CREATE TABLE event_log (
    at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP,
    message TEXT NOT NULL DEFAULT '',
    level VARCHAR(10)
);

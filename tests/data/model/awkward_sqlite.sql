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

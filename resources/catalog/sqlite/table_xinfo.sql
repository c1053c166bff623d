-- The columns of one table in their order, generated ones included: name, declared type,
-- NOT NULL ('1'), default as written, place in the primary key (0 = none), hidden (2 and 3 =
-- generated).
-- Parameters: table.
select name, type, "notnull", dflt_value, pk, hidden from pragma_table_xinfo(?)

-- The primary-key columns of one table in the key's own order: column, place in the key.
-- Parameters: table.
select name, pk from pragma_table_info(?) where pk > 0 order by pk

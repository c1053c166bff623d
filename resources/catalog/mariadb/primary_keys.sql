-- The primary-key columns in key order: schema (empty), table, column, place in the key, name.
-- Parameters: table, table (empty = every table).
select '', k.table_name, k.column_name, k.ordinal_position, k.constraint_name
from information_schema.key_column_usage k
where k.table_schema = database() and k.constraint_name = 'PRIMARY' and (? = '' or k.table_name = ?)
order by k.table_name, k.ordinal_position

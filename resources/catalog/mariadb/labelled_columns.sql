-- The columns whose type carries labels (enum, set): schema (empty), table, column, full type.
-- Parameters: table, table (empty = every table).
select '', c.table_name, c.column_name, c.column_type
from information_schema.columns c
where c.table_schema = database() and c.data_type in ('enum', 'set') and (? = '' or c.table_name = ?)
order by c.table_name, c.ordinal_position

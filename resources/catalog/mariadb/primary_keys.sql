-- The primary-key columns in key order: schema (empty), table, column, place in the key, name.
-- (The index statistics give them at a fraction of the cost of the key usage view.)
-- Parameters: table, table (empty = every table).
select '', s.table_name, s.column_name, s.seq_in_index, s.index_name
from information_schema.statistics s
where s.table_schema = database() and s.index_name = 'PRIMARY' and (? = '' or s.table_name = ?)
order by s.table_name, s.seq_in_index

-- The CHECK constraints: schema (empty), table, name, condition, level (Table or Column; a
-- column's json_valid check is how the server keeps the json type).
-- Parameters: table, table (empty = every table).
select '', k.table_name, k.constraint_name, k.check_clause, k.level
from information_schema.check_constraints k
where k.constraint_schema = database() and (? = '' or k.table_name = ?)
order by k.table_name, k.constraint_name

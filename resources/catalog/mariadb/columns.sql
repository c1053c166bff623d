-- The columns of the connected database's tables in table and column order: schema (empty),
-- table, column, place, default as the server states it (null when none), nullable (YES/NO),
-- type, full column type (with unsigned, labels, sizes), character length, numeric precision,
-- numeric scale, extra (auto_increment, ... GENERATED), generation expression, comment, database.
-- Parameters: table, table (empty = every table).
select '', c.table_name, c.column_name, c.ordinal_position, c.column_default,
       case when c.column_default is null then '0' else '1' end, c.is_nullable, c.data_type,
       c.column_type, coalesce(c.character_maximum_length, ''), coalesce(c.numeric_precision, ''),
       coalesce(c.numeric_scale, ''), c.extra, coalesce(c.generation_expression, ''),
       coalesce(c.column_comment, ''), database()
from information_schema.columns c
where c.table_schema = database() and (? = '' or c.table_name = ?)
order by c.table_name, c.ordinal_position

-- The indexes other than the primary key, one row per part in key order: schema (empty), table,
-- index, unique, owner constraint kind (u for a unique key), condition (none), part number,
-- column (empty for an expression), expression, descending, method, operator class (none),
-- carried only (never).
-- Parameters: table, table (empty = every table).
select '', s.table_name, s.index_name, case when s.non_unique = 0 then '1' else '0' end,
       case when s.non_unique = 0 then 'u' else '' end, '', s.seq_in_index, coalesce(s.column_name, ''),
       case when s.column_name is null then '1' else '0' end, case when s.collation = 'D' then '1' else '0' end,
       lower(s.index_type), '', '0'
from information_schema.statistics s
where s.table_schema = database() and s.index_name <> 'PRIMARY' and (? = '' or s.table_name = ?)
order by s.table_name, s.index_name, s.seq_in_index

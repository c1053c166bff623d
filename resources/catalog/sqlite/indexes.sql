-- The indexes of one table other than its primary key, one row per key part in key order:
-- schema (empty), table, index, unique, owning constraint kind ('u' for a UNIQUE clause of the
-- table), partial-index flag, part number, the part (a column name; empty for an expression),
-- whether the part is an expression, whether it sorts descending, the index's CREATE statement.
-- Parameters: table, table.
select '', ?, l.name, cast(l."unique" as text), case l.origin when 'u' then 'u' else '' end,
       cast(l.partial as text), x.seqno + 1, coalesce(x.name, ''),
       case when x.cid = -2 then '1' else '0' end, cast(x."desc" as text),
       coalesce(m.sql, '')
from pragma_index_list(?) l
join pragma_index_xinfo(l.name) x on x.key = 1
left join sqlite_master m on m.type = 'index' and m.name = l.name
where l.origin <> 'pk'
order by l.name, x.seqno

-- The indexes of the user's tables other than their primary keys, one row per part in key
-- order: schema, table, index, unique, owning constraint kind (u, x or empty), partial-index
-- condition, part number, the part (a column name, or the expression), whether the part is an
-- expression, whether it sorts descending, access method, the part's operator class when it is
-- not the default one of its type (else empty), whether the part is a column the index only
-- carries (INCLUDE) rather than a key part ('1'); carried columns come after the key parts.
-- Parameters: schema, schema, table, table (an empty schema or table means every one).
select n.nspname, c.relname, i.relname,
       case when x.indisunique then '1' else '0' end,
       coalesce(con.contype::text, ''),
       coalesce(pg_catalog.pg_get_expr(x.indpred, x.indrelid, true), ''),
       k.ord,
       case when k.att = 0 then pg_catalog.pg_get_indexdef(x.indexrelid, k.ord::int, true) else a.attname::text end,
       case when k.att = 0 then '1' else '0' end,
       case when (x.indoption::int2[])[k.ord - 1] & 1 = 1 then '1' else '0' end,
       am.amname,
       coalesce(case when oc.opcdefault then '' else oc.opcname::text end, ''),
       case when k.ord > x.indnkeyatts then '1' else '0' end
from pg_catalog.pg_index x
join pg_catalog.pg_class i on i.oid = x.indexrelid
join pg_catalog.pg_class c on c.oid = x.indrelid
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
join pg_catalog.pg_am am on am.oid = i.relam
left join pg_catalog.pg_constraint con on con.conindid = x.indexrelid and con.conrelid = x.indrelid
     and con.contype in ('p', 'u', 'x')
cross join lateral unnest(x.indkey::int2[]) with ordinality as k(att, ord)
left join pg_catalog.pg_attribute a on a.attrelid = c.oid and a.attnum = k.att
left join pg_catalog.pg_opclass oc on oc.oid = x.indclass[k.ord - 1]
where not x.indisprimary
  and c.relkind in ('r', 'p', 'm')
  and n.nspname not in ('pg_catalog', 'information_schema') and n.nspname not like 'pg\_toast%'
  and (? = '' or n.nspname = ?) and (? = '' or c.relname = ?)
order by n.nspname, c.relname, i.relname, k.ord

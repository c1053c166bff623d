-- The foreign-key columns of the tables, each constraint's pairs in key order: schema, table,
-- column, place in the key, constraint name, the referenced schema, table and column, and the
-- actions on update and on delete as SQL writes them.
-- Parameters: schemas, schemas, table, table. The schemas are one text, separated by the character
-- 31; empty means every schema of the user's, an empty table every table of those schemas.
select n.nspname, c.relname, a.attname, k.ord, con.conname, rn.nspname, rc.relname, ra.attname,
       case con.confupdtype when 'c' then 'CASCADE' when 'r' then 'RESTRICT' when 'n' then 'SET NULL'
                            when 'd' then 'SET DEFAULT' else 'NO ACTION' end,
       case con.confdeltype when 'c' then 'CASCADE' when 'r' then 'RESTRICT' when 'n' then 'SET NULL'
                            when 'd' then 'SET DEFAULT' else 'NO ACTION' end
from pg_catalog.pg_constraint con
join pg_catalog.pg_class c on c.oid = con.conrelid
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
join pg_catalog.pg_class rc on rc.oid = con.confrelid
join pg_catalog.pg_namespace rn on rn.oid = rc.relnamespace
cross join lateral unnest(con.conkey, con.confkey) with ordinality as k(att, ref, ord)
join pg_catalog.pg_attribute a on a.attrelid = con.conrelid and a.attnum = k.att
join pg_catalog.pg_attribute ra on ra.attrelid = con.confrelid and ra.attnum = k.ref
where con.contype = 'f' and con.conparentid = 0
  and case when ? = '' then n.nspname not in ('pg_catalog', 'information_schema') and n.nspname not like 'pg\_toast%'
           else n.nspname = any(pg_catalog.string_to_array(?, chr(31))) end
  and (? = '' or c.relname = ?)
order by n.nspname, c.relname, rn.nspname, rc.relname, con.conname, k.ord

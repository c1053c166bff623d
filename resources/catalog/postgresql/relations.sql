-- Every relation the table list may name: schema, name, kind (r, v, m, p, f), whether it is a
-- partition ('1'), its comment (empty when none).
select n.nspname, c.relname, c.relkind, case when c.relispartition then '1' else '0' end,
       coalesce(pg_catalog.obj_description(c.oid, 'pg_class'), '')
from pg_catalog.pg_class c
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
where c.relkind in ('r', 'v', 'm', 'p', 'f')

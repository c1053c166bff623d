-- The schema of the table the search path finds under a bare name.
-- Parameters: name.
select n.nspname
from pg_catalog.pg_class c
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
where c.relname = ? and pg_catalog.pg_table_is_visible(c.oid)
